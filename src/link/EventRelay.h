#pragma once

#include "TransferEvents.h"

#include <functional>

// Passes every event of Upload and Clear on to the next receiver, in order.
// A relay that does something on the way overrides the events it cares about
// and calls the relay's own for the rest of the way; one that changes how
// events travel (to another thread) overrides Relay and RelayAndWait.
class CEventRelay : public ITransferEvents {
public:
    explicit CEventRelay(ITransferEvents& next) : m_next(next) {}

    void ShowMessage(const std::string& text) override;
    void OnCountKnown(unsigned recordCount) override;
    void OnRowsInserted(unsigned rowCount) override;
    void OnRecordRead(int row, const MeterRecord& record) override;
    void OnRowTexts(int row, const RowTexts& texts) override;
    void OnProgress(unsigned position, unsigned received) override;
    void OnStatusPane0(const std::string& text) override;
    void OnTimerStart() override;
    void OnTimerStop() override;
    void OnFinished(const TransferSummary& summary) override;
    void ShowClearDone() override;
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) override;

protected:
    using Event = std::function<void(ITransferEvents& next)>;

    // An event that informs: by default it reaches the next receiver at once.
    virtual void Relay(Event event) { event(m_next); }
    // An event the operator acknowledges (a message): the caller is held
    // until it has been; by default the next receiver holds it.
    virtual void RelayAndWait(Event event) { event(m_next); }

private:
    ITransferEvents& m_next;
};
