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

    void ShowMessage(const std::string& text) override {
        RelayAndWait([text](ITransferEvents& next) { next.ShowMessage(text); });
    }
    void OnCountKnown(unsigned recordCount) override {
        Relay([recordCount](ITransferEvents& next) { next.OnCountKnown(recordCount); });
    }
    void OnRowsInserted(unsigned rowCount) override {
        Relay([rowCount](ITransferEvents& next) { next.OnRowsInserted(rowCount); });
    }
    void OnRecordRead(int row, const MeterRecord& record) override {
        Relay([row, record](ITransferEvents& next) { next.OnRecordRead(row, record); });
    }
    void OnRowTexts(int row, const RowTexts& texts) override {
        Relay([row, texts](ITransferEvents& next) { next.OnRowTexts(row, texts); });
    }
    void OnProgress(unsigned position, unsigned received) override {
        Relay([position, received](ITransferEvents& next) { next.OnProgress(position, received); });
    }
    void OnStatusPane0(const std::string& text) override {
        Relay([text](ITransferEvents& next) { next.OnStatusPane0(text); });
    }
    void OnTimerStart() override {
        Relay([](ITransferEvents& next) { next.OnTimerStart(); });
    }
    void OnTimerStop() override {
        Relay([](ITransferEvents& next) { next.OnTimerStop(); });
    }
    void OnFinished(const TransferSummary& summary) override {
        Relay([summary](ITransferEvents& next) { next.OnFinished(summary); });
    }
    void ShowClearDone() override {
        RelayAndWait([](ITransferEvents& next) { next.ShowClearDone(); });
    }
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) override {
        RelayAndWait([text, attempts](ITransferEvents& next) { next.ShowScanFailure(text, attempts); });
    }

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
