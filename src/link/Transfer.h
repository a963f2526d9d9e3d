#pragma once

#include "MeterExchange.h"
#include "TransferEvents.h"

#include <string>
#include <vector>

// The transfer worker's body: reads every record in order over one exchange
// and fills its row, then, for a meter that does not repeat addresses, reads
// again each record whose read was put in doubt until two reads agree.
class CTransfer {
public:
    static constexpr unsigned kSilentRecordLimit = 3;   // records failing in a row before the meter counts as gone
    static constexpr int kRereadRounds = 3;              // of reading the doubtful records again

    CTransfer(CMeterExchange& exchange, ITransferEvents& events, ILinkClock& clock);
    // Runs from the empty rows to "Over" and the timer's stop; the summary's
    // port name is left to the caller.
    TransferSummary Run(unsigned recordCount);
    // What the operator is told at the end, or empty.
    static std::string EndMessage(const TransferSummary& summary);

private:
    struct Read {
        MeterRecord record;
        unsigned serials[2];
    };
    struct Row {
        std::vector<Read> reads;
        bool shown = false;       // its texts are on screen
        MeterRecord shownRecord;
    };

    bool ReadRecord(unsigned index, Row& row, bool secondHalfFirst);
    bool Settled(const Row& row, MeterRecord& record) const;
    void Show(unsigned index, Row& row, const MeterRecord& record);
    void RereadDoubtful(std::vector<Row>& rows);

    CMeterExchange& m_exchange;
    ITransferEvents& m_events;
    ILinkClock& m_clock;
};
