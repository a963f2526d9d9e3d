#include "MeterLink.h"

#include "LinkMessages.h"

#include <cstdio>

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

void CMeterLink::SendFrame(MeterCommand command) {
    m_serialPort.Purge();
    const Frame frame = BuildFrame(command, m_blockIndex);
    if (!Pause(m_pauses.beforeFrameMs) || m_serialPort.IsGone())
        return;
    std::size_t sent = m_serialPort.Write(frame.data(), kFrameSize);
    for (int retry = 0; sent < kFrameSize && retry < 3; ++retry) {
        if (!Pause(m_pauses.writeRetryMs) || m_serialPort.IsGone())
            return;
        sent += m_serialPort.Write(frame.data() + sent, kFrameSize - sent);
    }
    if (sent < kFrameSize && Pause(m_pauses.lastWriteMs))
        m_serialPort.Write(frame.data() + sent, kFrameSize - sent);
    // The meter erases its memory without answering; give it the time it needs,
    // and the frame time to leave the line before the next purge could drop it.
    if (command == MeterCommand::CLEAR_DATA)
        Pause(m_pauses.afterClearDataMs);
}

CMeterLink::ReplyStatus CMeterLink::RunExchange(ThreadItem item) {
    m_threadItem = item;
    SendFrame(item == ITEM_COUNT ? MeterCommand::READ_COUNT : MeterCommand::READ_DATA_FILE);
    return HandleReply();
}

CMeterLink::ReplyStatus CMeterLink::HandleReply() {
    m_serialPort.ReceiveReply();
    if (m_serialPort.RxComplete() != 1)
        return ReplyStatus::Missing;
    const Frame reply = m_serialPort.RxBuffer();
    switch (m_threadItem) {
    case ITEM_COUNT:
        if (const unsigned count = ParseCountReply(reply); count != 0) {
            m_searching = 0;
            m_recordCount = count;
            return ReplyStatus::Accepted;
        }
        return ReplyStatus::BadHeader;
    case ITEM_DATA_1:
    case ITEM_DATA_2: {
        if (!IsDataReply(reply))
            return ReplyStatus::BadHeader;
        HalfRecord& half = m_threadItem == ITEM_DATA_1 ? m_dataHalf1 : m_dataHalf2;
        std::copy(reply.begin() + 5, reply.begin() + 13, half.begin());
        return ReplyStatus::Accepted;
    }
    default:
        return ReplyStatus::BadHeader;
    }
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
            const char* why = status == ReplyStatus::Missing ? "no reply to the record count request"
                              : m_serialPort.RxBuffer()[0] == kFrameStart && m_serialPort.RxBuffer()[1] == 0x22
                                  ? "the meter answered but holds no records"
                                  : "the reply was not a meter's";
            NoteAttempt(portName, m_serialPort.IsGone() ? PortFailure::Gone : PortFailure::NoAnswer, why);
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
    summary.outcome = portNames.empty() ? UploadOutcome::NoPorts : UploadOutcome::NoMeter;
    if (!m_stopRequested)
        m_events.ShowScanFailure(kNoMeterMessage, PortAttempts());
    m_busy = false;
    m_events.OnFinished(summary);
    return false;
}

bool CMeterLink::ReadHalf(ThreadItem item, bool& timerStopped) {
    for (int attempt = 0; attempt < kExchangeTries; ++attempt) {
        if (RunExchange(item) == ReplyStatus::Accepted)
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
    // Once per record, not per try; an unplugged meter gets the stop message instead.
    if (!m_serialPort.IsGone())
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
        m_events.OnRowTexts(row, recordRead ? DecodeRecord(MeterRecord::AssembleRecord(m_dataHalf1, m_dataHalf2), row)
                                            : UnreadRow(row));
        m_progressPosition = m_receivedCount + 1;
        m_events.OnProgress(m_receivedCount + 1);
        ++m_receivedCount;

        unreadInARow = recordRead ? 0 : unreadInARow + 1;
        unreadCount += recordRead ? 0 : 1;
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
    m_busy = false;
    m_events.OnFinished(summary);
}

bool CMeterLink::ClearAllowed() {
    // Erasing a meter whose records were only partly read would lose the rest.
    if (m_busy || m_progressPosition < m_recordCount) {
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

    bool cleared = false;
    for (const std::string& portName : portNames) {
        if (m_stopRequested)
            break;
        if (!OpenForScan(portName))
            continue;
        if (ClearHandshake()) {
            m_searching = 0;
            SendFrame(MeterCommand::CLEAR_DATA);
            m_serialPort.Purge();
            m_serialPort.Close();
            cleared = true;
            break;
        }
        NoteAttempt(portName, m_serialPort.IsGone() ? PortFailure::Gone : PortFailure::NoAnswer,
                    "no answer to the clear handshake within 500 ms");
        m_serialPort.Purge();
        m_serialPort.Close();
    }

    m_busy = false;
    if (cleared) {
        m_events.ShowClearDone();
        return ClearOutcome::Cleared;
    }
    if (!m_stopRequested)
        m_events.ShowScanFailure(kClearFailedMessage, PortAttempts());
    return portNames.empty() ? ClearOutcome::NoPorts : ClearOutcome::NoMeter;
}
