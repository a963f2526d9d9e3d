#include "Transfer.h"

#include "LinkMessages.h"

#include <cstdio>

CTransfer::CTransfer(CMeterExchange& exchange, ITransferEvents& events, ILinkClock& clock)
    : m_exchange(exchange), m_events(events), m_clock(clock) {}

TransferSummary CTransfer::Run(unsigned recordCount) {
    m_events.OnRowsInserted(recordCount);
    m_events.OnTimerStart();
    std::vector<Row> rows(recordCount);
    unsigned dealt = 0;
    unsigned readSoFar = 0;
    unsigned failedInARow = 0;
    bool meterSilent = false;
    while (dealt < recordCount && !m_clock.StopRequested()) {
        m_events.OnStatusPane0(kStatusRunning);
        Row& row = rows[dealt];
        const bool read = ReadRecord(dealt, row, false);
        if (!read && m_clock.StopRequested())
            break;   // the record in flight stays unread
        if (read)
            Show(dealt, row, row.reads.back().record);
        else
            m_events.OnRowTexts(static_cast<int>(dealt), UnreadRow(static_cast<int>(dealt)));
        readSoFar += read ? 1 : 0;
        failedInARow = read ? 0 : failedInARow + 1;
        ++dealt;
        // The received counter counts records read, as the end message does.
        m_events.OnProgress(dealt, readSoFar);
        if (m_exchange.Stream().HasHungUp() || failedInARow >= kSilentRecordLimit) {
            meterSilent = true;
            break;
        }
    }
    if (!meterSilent && !m_exchange.RepeatsAddress()) {
        // A reply still arriving after the last frame shows the line was out of step.
        if (!m_clock.StopRequested())
            m_exchange.QuietLine();
        RereadDoubtful(rows);
    }

    // Only records read for sure stay in their rows.
    unsigned readCount = 0;
    for (unsigned index = 0; index < recordCount; ++index) {
        Row& row = rows[index];
        MeterRecord record;
        if (row.reads.empty())
            continue;
        if (Settled(row, record)) {
            Show(index, row, record);
            ++readCount;
        } else if (row.shown) {
            m_events.OnRowTexts(static_cast<int>(index), UnreadRow(static_cast<int>(index)));
            row.shown = false;
        }
    }
    if (readCount != readSoFar)
        m_events.OnProgress(dealt, readCount);
    m_events.OnStatusPane0(kStatusOver);
    m_exchange.Stream().Purge();
    // The use time runs until here, whatever failed on the way.
    m_events.OnTimerStop();

    TransferSummary summary;
    summary.recordCount = recordCount;
    summary.readCount = readCount;
    summary.unreadCount = recordCount - readCount;
    summary.outOfStep = m_exchange.Evidence();
    summary.outcome = m_clock.StopRequested() ? UploadOutcome::Stopped
                      : meterSilent           ? UploadOutcome::MeterSilent
                      : readCount < recordCount ? UploadOutcome::Incomplete
                                                : UploadOutcome::Completed;
    return summary;
}

std::string CTransfer::EndMessage(const TransferSummary& summary) {
    char text[160] = {};
    if (summary.outcome == UploadOutcome::MeterSilent)
        std::snprintf(text, sizeof text, kMeterSilentFormat, summary.readCount, summary.recordCount);
    else if (summary.outcome == UploadOutcome::Incomplete)
        std::snprintf(text, sizeof text, kUnreadRecordsFormat, summary.unreadCount, summary.recordCount);
    return text;
}

bool CTransfer::ReadRecord(unsigned index, Row& row, bool secondHalfFirst) {
    const unsigned firstBlock = 2 * index + (secondHalfFirst ? 1 : 0);
    const BlockRead first = m_exchange.ReadBlock(firstBlock);
    BlockRead second;
    // Without one half the record cannot be shown; spare the meter the other read.
    if (first.status == ReplyStatus::Accepted)
        second = m_exchange.ReadBlock(firstBlock ^ 1u);
    if (second.status == ReplyStatus::Accepted) {
        const BlockRead& half1 = secondHalfFirst ? second : first;
        const BlockRead& half2 = secondHalfFirst ? first : second;
        row.reads.push_back({MeterRecord::AssembleRecord(half1.bytes, half2.bytes), {half1.serial, half2.serial}});
        return true;
    }
    // Once per record, and only for a reply that was not the meter's: missing
    // replies are counted in the end message instead of holding the transfer
    // for a click each.
    const bool firstFailed = first.status != ReplyStatus::Accepted;
    const ReplyStatus failure = firstFailed ? first.status : second.status;
    const unsigned failedBlock = firstFailed ? firstBlock : firstBlock ^ 1u;
    if (failure == ReplyStatus::BadHeader && !m_exchange.Stream().HasHungUp() && !m_clock.StopRequested())
        m_events.ShowMessage(failedBlock % 2 == 0 ? kReadDataFailMessage : kReadData2FailMessage);
    return false;
}

bool CTransfer::Settled(const Row& row, MeterRecord& record) const {
    const auto confirmed = [this](const Read& read) {
        return m_exchange.Confirmed(read.serials[0]) && m_exchange.Confirmed(read.serials[1]);
    };
    if (row.reads.size() == 1 && confirmed(row.reads.front())) {
        record = row.reads.front().record;
        return true;
    }
    // Two reads that agree, one of them made on a line in step.
    for (std::size_t i = 0; i < row.reads.size(); ++i)
        for (std::size_t j = i + 1; j < row.reads.size(); ++j)
            if (row.reads[i].record.bytes == row.reads[j].record.bytes &&
                (confirmed(row.reads[i]) || confirmed(row.reads[j]))) {
                record = row.reads[i].record;
                return true;
            }
    return false;
}

void CTransfer::Show(unsigned index, Row& row, const MeterRecord& record) {
    if (row.shown && row.shownRecord.bytes == record.bytes)
        return;
    const int rowIndex = static_cast<int>(index);
    m_events.OnRecordRead(rowIndex, record);
    m_events.OnRowTexts(rowIndex, DecodeRecord(record, rowIndex));
    row.shown = true;
    row.shownRecord = record;
}

void CTransfer::RereadDoubtful(std::vector<Row>& rows) {
    for (int round = 0; round < kRereadRounds && !m_clock.StopRequested(); ++round) {
        std::vector<unsigned> doubtful;
        MeterRecord record;
        for (unsigned index = static_cast<unsigned>(rows.size()); index-- > 0;)
            if (!rows[index].reads.empty() && !Settled(rows[index], record))
                doubtful.push_back(index);
        if (doubtful.empty())
            return;
        // After a quiet line with no reply owed, and backwards, second half
        // first: a reply that still comes late cannot hand a record the same
        // wrong bytes as in the first pass.
        m_exchange.QuietLine(true);
        for (const unsigned index : doubtful) {
            if (m_clock.StopRequested())
                return;
            ReadRecord(index, rows[index], true);
        }
        // Replies still coming after the last frame put those reads in doubt too.
        m_exchange.QuietLine();
    }
}
