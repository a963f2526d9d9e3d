#include "MeterLink.h"

#include "LinkMessages.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace {

// Records that fail one after the other before the meter is taken as gone.
constexpr unsigned kSilentRecordLimit = 3;
// Tries of one half-record exchange: the first and two repeats.
constexpr int kExchangeTries = 3;

std::string FormatCounts(const char* format, unsigned first, unsigned second) {
    char text[160];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

}  // namespace

CMeterLink::CMeterLink(ITransferEvents& events, Pauses pauses)
    : m_events(events), m_pauses(pauses), m_serialPort(&events) {
    m_serialPort.SetAbortFlag(&m_stopRequested);
}

CMeterLink::~CMeterLink() {
    Stop();
}

void CMeterLink::RequestStop() {
    {
        std::lock_guard lock(m_pauseMutex);
        m_stopRequested = true;
    }
    m_pauseWake.notify_all();
}

void CMeterLink::Stop() {
    RequestStop();
    JoinWorker();
}

void CMeterLink::WaitUntilIdle() {
    JoinWorker();
}

void CMeterLink::JoinWorker() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

bool CMeterLink::Pause(int ms) {
    std::unique_lock lock(m_pauseMutex);
    return !m_pauseWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopRequested.load(); });
}

std::vector<PortAttempt> CMeterLink::PortAttempts() const {
    std::lock_guard lock(m_attemptsMutex);
    return m_portAttempts;
}

void CMeterLink::NoteAttempt(const std::string& portName, PortFailure failure, const std::string& detail) {
    std::lock_guard lock(m_attemptsMutex);
    m_portAttempts.push_back({portName, failure, detail});
}

bool CMeterLink::SendFrame(MeterCommand command) {
    m_serialPort.Purge();
    m_frame = BuildFrame(command, m_blockIndex);
    // The meter erases without answering and needs its pause whatever happens
    // meanwhile: only a pause run to its end tells whether the port stayed up.
    const bool erasing = command == MeterCommand::CLEAR_DATA;
    const auto pause = [this, erasing](int ms) {
        if (!erasing)
            return Pause(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    };
    if (!pause(m_pauses.beforeFrameMs) || m_serialPort.IsGone())
        return false;
    std::size_t sent = m_serialPort.Write(m_frame.data(), kFrameSize);
    for (int retry = 0; sent < kFrameSize && retry < 3; ++retry) {
        if (!pause(m_pauses.writeRetryMs) || m_serialPort.IsGone())
            return false;
        sent += m_serialPort.WriteRest(m_frame.data() + sent, kFrameSize - sent);
    }
    if (sent < kFrameSize && pause(m_pauses.lastWriteMs))
        sent += m_serialPort.WriteRest(m_frame.data() + sent, kFrameSize - sent);
    // Also gives the frame time to leave the line before the next purge could drop it.
    if (erasing)
        pause(m_pauses.afterClearDataMs);
    return sent == kFrameSize;
}

CMeterLink::ReplyStatus CMeterLink::RunExchange(ThreadItem item) {
    m_threadItem = item;
    if (item != ITEM_COUNT && m_lineUnsettled) {
        // A reply that missed its window may still be on its way; it must be
        // gone before the next frame, or it would pass for that frame's reply.
        m_serialPort.SettleLine(m_pauses.quietLineMs, m_pauses.quietLimitMs);
        m_lineUnsettled = false;
    }
    SendFrame(item == ITEM_COUNT ? MeterCommand::READ_COUNT : MeterCommand::READ_DATA_FILE);
    const ReplyStatus status = HandleReply();
    if (item != ITEM_COUNT && status != ReplyStatus::Accepted)
        m_lineUnsettled = true;
    return status;
}

CMeterLink::ReplyStatus CMeterLink::HandleReply() {
    using Clock = std::chrono::steady_clock;
    const auto windowEnd = Clock::now() + std::chrono::milliseconds(m_pauses.replyWaitMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(windowEnd - Clock::now()).count();
        m_serialPort.ReceiveReply(static_cast<int>(std::max<long long>(left, 0)));
        if (m_serialPort.RxComplete() != 1)
            return ReplyStatus::Missing;
        const Frame reply = m_serialPort.RxBuffer();
        switch (m_threadItem) {
        case ITEM_COUNT:
            if (const unsigned count = ParseCountReply(reply); count != 0 && count <= kMeterCapacity) {
                m_searching = 0;
                m_recordCount = count;
                return ReplyStatus::Accepted;
            }
            return ReplyStatus::BadHeader;
        case ITEM_DATA_1:
        case ITEM_DATA_2:
            if (const ReplyStatus status = AcceptDataReply(reply); status != ReplyStatus::Missing)
                return status;
            // A stale reply: the right one may still come within the window.
            if (Clock::now() >= windowEnd)
                return ReplyStatus::Missing;
            break;
        default:
            return ReplyStatus::BadHeader;
        }
    }
}

// Missing here means the reply answered an earlier frame and was discarded.
CMeterLink::ReplyStatus CMeterLink::AcceptDataReply(const Frame& reply) {
    if (!IsDataReply(reply))
        return ReplyStatus::BadHeader;
    const bool echoes = EchoesFrame(reply, m_frame);
    if (m_echoMode == EchoMode::Unknown)
        m_echoMode = echoes ? EchoMode::Echoing : EchoMode::NotEchoing;
    else if (m_echoMode == EchoMode::Echoing && !echoes)
        return ReplyStatus::Missing;
    HalfRecord& half = m_threadItem == ITEM_DATA_1 ? m_dataHalf1 : m_dataHalf2;
    std::copy(reply.begin() + 5, reply.begin() + 13, half.begin());
    return ReplyStatus::Accepted;
}

bool CMeterLink::OpenForScan(const std::string& portName) {
    if (m_serialPort.ProbePort(portName) != 0 || m_serialPort.Open(portName) == -1) {
        NoteAttempt(portName, m_serialPort.LastFailure(), m_serialPort.LastFailureDetail());
        return false;
    }
    return true;
}

bool CMeterLink::BeginOperation(const std::vector<std::string>& portNames) {
    bool idle = false;
    if (!m_busy.compare_exchange_strong(idle, true))
        return false;
    JoinWorker();
    m_stopRequested = false;
    {
        std::lock_guard lock(m_attemptsMutex);
        m_portAttempts.clear();
    }
    m_searching = 1;
    m_echoMode = EchoMode::Unknown;
    m_lineUnsettled = false;
    // With no port the operator keeps the window and its table: report and go on.
    if (portNames.empty())
        m_events.ShowMessage(kNoSerialPortMessage);
    return true;
}

bool CMeterLink::OnButtonUpload(const std::vector<std::string>& portNames) {
    if (!BeginOperation(portNames))
        return false;
    m_recordCount = 0;

    for (const std::string& portName : portNames) {
        if (m_searching != 1 || m_stopRequested)
            break;
        if (!OpenForScan(portName))
            continue;
        const ReplyStatus status = RunExchange(ITEM_COUNT);
        Pause(m_pauses.afterCountMs);
        m_progressPosition = 0;
        m_events.OnCountKnown(m_recordCount);
        if (m_searching == 1) {
            NoteCountFailure(portName, status);
            m_serialPort.Purge();
            m_serialPort.Close();
            continue;
        }
        m_portName = portName;
        m_blockIndex = 0;
        m_worker = std::thread([this] { TransferRecords(); });
        return true;
    }

    TransferSummary summary;
    summary.outcome = m_stopRequested ? UploadOutcome::Stopped
                      : portNames.empty() ? UploadOutcome::NoPorts
                                          : UploadOutcome::NoMeter;
    if (!m_stopRequested)
        m_events.ShowScanFailure(kNoMeterMessage, PortAttempts());
    m_busy = false;
    m_events.OnFinished(summary);
    return false;
}

void CMeterLink::NoteCountFailure(const std::string& portName, ReplyStatus status) {
    const Frame& reply = m_serialPort.RxBuffer();
    const unsigned count = ParseCountReply(reply);
    if (m_serialPort.IsGone())
        NoteAttempt(portName, PortFailure::Gone);
    else if (status == ReplyStatus::Missing)
        NoteAttempt(portName, PortFailure::NoAnswer, "no reply to the record count request");
    else if (IsCountReply(reply) && count == 0)
        NoteAttempt(portName, PortFailure::NoRecords);
    else if (count > kMeterCapacity)
        NoteAttempt(portName, PortFailure::NotAMeter,
                    "reported " + std::to_string(count) + " records, more than the meter can hold");
    else
        NoteAttempt(portName, PortFailure::NotAMeter, "the reply was not a meter's");
}

bool CMeterLink::ReadHalf(ThreadItem item, bool& timerStopped) {
    ReplyStatus status = ReplyStatus::Missing;
    for (int attempt = 0; attempt < kExchangeTries; ++attempt) {
        status = RunExchange(item);
        if (status == ReplyStatus::Accepted)
            return true;
        if (m_stopRequested || m_serialPort.IsGone())
            break;
    }
    if (m_stopRequested)
        return false;
    if (!timerStopped) {
        m_events.OnTimerStop();
        timerStopped = true;
    }
    // Once per record, not per try, and only for a reply that was not the
    // meter's: missing replies are counted in the end message instead of
    // holding the transfer for a click each.
    if (status == ReplyStatus::BadHeader && !m_serialPort.IsGone())
        m_events.ShowMessage(item == ITEM_DATA_1 ? kReadDataFailMessage : kReadData2FailMessage);
    return false;
}

void CMeterLink::TransferRecords() {
    const unsigned recordCount = m_recordCount;
    m_events.OnRowsInserted(recordCount);
    m_dataHalf1 = {};
    m_dataHalf2 = {};
    m_events.OnTimerStart();
    m_blockIndex = 0;
    m_receivedCount = 0;

    unsigned unreadCount = 0;
    unsigned unreadInARow = 0;
    bool meterSilent = false;
    bool timerStopped = false;
    while (m_receivedCount < recordCount && !m_stopRequested) {
        m_events.OnStatusPane0(kStatusRunning);
        bool recordRead = ReadHalf(ITEM_DATA_1, timerStopped);
        ++m_blockIndex;
        // Without its first half the record cannot be shown; spare the meter the second read.
        if (recordRead)
            recordRead = ReadHalf(ITEM_DATA_2, timerStopped);
        ++m_blockIndex;
        if (m_stopRequested)
            break;

        const int row = static_cast<int>(m_receivedCount);
        if (recordRead)
            m_events.OnRecordRead(row, MeterRecord::AssembleRecord(m_dataHalf1, m_dataHalf2));
        m_events.OnRowTexts(row, recordRead ? DecodeRecord(MeterRecord::AssembleRecord(m_dataHalf1, m_dataHalf2), row)
                                            : UnreadRow(row));
        unreadInARow = recordRead ? 0 : unreadInARow + 1;
        unreadCount += recordRead ? 0 : 1;
        m_progressPosition = m_receivedCount + 1;
        // The received counter counts records read, as the end message does.
        m_events.OnProgress(m_receivedCount + 1, m_receivedCount + 1 - unreadCount);
        ++m_receivedCount;

        if (m_serialPort.IsGone() || unreadInARow >= kSilentRecordLimit) {
            meterSilent = true;
            break;
        }
    }

    m_dataHalf1 = {};
    m_dataHalf2 = {};
    m_events.OnStatusPane0(kStatusOver);
    m_serialPort.Purge();
    m_serialPort.Close();
    m_events.OnTimerStop();

    TransferSummary summary;
    summary.recordCount = recordCount;
    summary.readCount = m_receivedCount - unreadCount;
    summary.unreadCount = recordCount - summary.readCount;
    summary.portName = m_portName;
    if (m_stopRequested) {
        summary.outcome = UploadOutcome::Stopped;
    } else if (meterSilent) {
        summary.outcome = UploadOutcome::MeterSilent;
        m_events.ShowMessage(FormatCounts(kMeterSilentFormat, summary.readCount, recordCount));
    } else if (unreadCount > 0) {
        summary.outcome = UploadOutcome::Incomplete;
        m_events.ShowMessage(FormatCounts(kUnreadRecordsFormat, unreadCount, recordCount));
    } else {
        summary.outcome = UploadOutcome::Completed;
    }
    // Records left on the meter unread must not be erased, until an upload reads them all.
    m_recordsLeftUnread = summary.outcome != UploadOutcome::Completed;
    m_busy = false;
    m_events.OnFinished(summary);
}

bool CMeterLink::ClearAllowed() {
    // Erasing a meter whose records were only partly read would lose the rest.
    if (m_busy || m_progressPosition < m_recordCount || m_recordsLeftUnread) {
        m_events.ShowMessage(kClearAfterReadingMessage);
        return false;
    }
    return true;
}

bool CMeterLink::ClearHandshake() {
    SendFrame(MeterCommand::CLEAR_CHECK);
    if (!Pause(m_pauses.beforeHandshakeReadMs))
        return false;
    // Only what arrived within the pause counts: a later answer means no meter.
    Frame& reply = m_serialPort.RxBuffer();
    reply.fill(0);
    m_serialPort.Read(reply.data(), kFrameSize);
    if (!IsClearCheckReply(reply))
        return false;
    reply.fill(0);
    return true;
}

ClearOutcome CMeterLink::OnButtonClear(const std::vector<std::string>& portNames) {
    if (!BeginOperation(portNames))
        return ClearOutcome::Refused;

    std::optional<ClearOutcome> erased;
    for (const std::string& portName : portNames) {
        if (m_stopRequested)
            break;
        if (!OpenForScan(portName))
            continue;
        if (ClearHandshake()) {
            m_searching = 0;
            erased = EraseMeter();
            break;
        }
        NoteAttempt(portName, m_serialPort.IsGone() ? PortFailure::Gone : PortFailure::NoAnswer,
                    "no answer to the clear handshake within 500 ms");
        m_serialPort.Purge();
        m_serialPort.Close();
    }

    m_busy = false;
    if (erased == ClearOutcome::Cleared)
        m_events.ShowClearDone();
    else if (erased == ClearOutcome::NotConfirmed)
        m_events.ShowMessage(kClearNotConfirmedMessage);
    if (erased)
        return *erased;
    if (m_stopRequested)
        return ClearOutcome::Stopped;
    m_events.ShowScanFailure(kClearFailedMessage, PortAttempts());
    return portNames.empty() ? ClearOutcome::NoPorts : ClearOutcome::NoMeter;
}

ClearOutcome CMeterLink::EraseMeter() {
    // Success is claimed only for a frame written whole on a port that was
    // still there when the meter's erase time was over.
    const bool written = SendFrame(MeterCommand::CLEAR_DATA);
    const bool confirmed = written && !m_serialPort.HasHungUp();
    m_serialPort.Purge();
    m_serialPort.Close();
    return confirmed ? ClearOutcome::Cleared : ClearOutcome::NotConfirmed;
}
