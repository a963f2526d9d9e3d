#include "MeterLink.h"

#include "LinkMessages.h"
#include "MeterErase.h"
#include "PortSearch.h"
#include "SerialPort.h"
#include "Transfer.h"

#include <optional>

CMeterLink::CMeterLink(ITransferEvents& events, Pauses pauses, ByteStreamFactory openPort)
    : m_events(events),
      m_pauses(pauses),
      m_openPort(openPort ? std::move(openPort) : SerialPortFactory(&events, m_clock.StopFlag())),
      m_openRoutedFirst([this](const std::string& portName, PortAttempt& why) {
          const auto routed = m_routedPorts.find(portName);
          return routed != m_routedPorts.end() ? routed->second(why) : m_openPort(portName, why);
      }) {}

void CMeterLink::RoutePort(const std::string& portName, PortOpener open) {
    m_routedPorts[portName] = std::move(open);
}

CMeterLink::~CMeterLink() {
    Stop();
}

void CMeterLink::Stop() {
    RequestStop();
    WaitUntilIdle();
}

void CMeterLink::WaitUntilIdle() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

std::vector<PortAttempt> CMeterLink::PortAttempts() const {
    std::lock_guard lock(m_attemptsMutex);
    return m_portAttempts;
}

void CMeterLink::KeepAttempts(const std::vector<PortAttempt>& attempts) {
    std::lock_guard lock(m_attemptsMutex);
    m_portAttempts = attempts;
}

bool CMeterLink::ClearAllowed() const {
    return !m_busy && m_everyRecordRead;
}

bool CMeterLink::BeginOperation(const std::vector<std::string>& portNames) {
    bool idle = false;
    if (!m_busy.compare_exchange_strong(idle, true))
        return false;
    WaitUntilIdle();
    m_clock.ClearStop();
    KeepAttempts({});
    // With no port the operator keeps the window and its table: report and go on.
    if (portNames.empty())
        m_events.ShowMessage(kNoSerialPortMessage);
    return true;
}

bool CMeterLink::OnButtonUpload(const std::vector<std::string>& portNames) {
    if (!BeginOperation(portNames))
        return false;
    m_recordCount = 0;
    m_everyRecordRead = false;

    CPortSearch search(m_openRoutedFirst, m_clock, m_pauses, m_trace);
    std::optional<MeterLine> found =
        search.Search(portNames, [this](CMeterExchange& exchange, std::string& detail) {
            unsigned count = 0;
            const ReplyStatus status = exchange.ReadCount(count);
            if (status == ReplyStatus::Accepted)
                m_recordCount = count;
            m_clock.Pause(m_pauses.afterCountMs);
            m_events.OnCountKnown(m_recordCount);
            if (status == ReplyStatus::Accepted)
                return PortFailure::None;
            return CountFailure(status, exchange.LastReply(), exchange.Stream().HasHungUp(), detail);
        });
    KeepAttempts(search.Attempts());

    if (found) {
        m_worker = std::thread([this, line = std::make_shared<MeterLine>(std::move(*found))]() mutable {
            CTransfer transfer(*line->exchange, m_events, m_clock);
            TransferSummary summary = transfer.Run(m_recordCount);
            summary.portName = line->portName;
            line.reset();   // closes the port before the operator is told anything
            if (const std::string message = CTransfer::EndMessage(summary); !message.empty())
                m_events.ShowMessage(message);
            m_everyRecordRead = summary.outcome == UploadOutcome::Completed;
            Finish(summary);
        });
        return true;
    }

    TransferSummary summary;
    summary.outcome = m_clock.StopRequested() ? UploadOutcome::Stopped
                      : portNames.empty()     ? UploadOutcome::NoPorts
                                              : UploadOutcome::NoMeter;
    if (!m_clock.StopRequested())
        m_events.ShowScanFailure(kNoMeterMessage, search.Attempts());
    Finish(summary);
    return false;
}

void CMeterLink::Finish(const TransferSummary& summary) {
    m_busy = false;
    m_events.OnFinished(summary);
}

ClearOutcome CMeterLink::OnButtonClear(const std::vector<std::string>& portNames) {
    if (!BeginOperation(portNames))
        return ClearOutcome::Refused;

    CPortSearch search(m_openRoutedFirst, m_clock, m_pauses, m_trace);
    std::optional<MeterLine> found =
        search.Search(portNames, [this](CMeterExchange& exchange, std::string& detail) {
            if (CMeterErase(exchange, m_clock, m_pauses).Handshake())
                return PortFailure::None;
            detail = "no answer to the clear handshake within 500 ms";
            return PortFailure::NoAnswer;
        });
    KeepAttempts(search.Attempts());
    std::optional<ClearOutcome> erased;
    if (found) {
        erased = CMeterErase(*found->exchange, m_clock, m_pauses).Erase();
        found.reset();
        // Whatever the meter holds from here on, nobody has read it.
        m_everyRecordRead = false;
    }

    m_busy = false;
    if (erased == ClearOutcome::Cleared)
        m_events.ShowClearDone();
    else if (erased == ClearOutcome::NotConfirmed)
        m_events.ShowMessage(kClearNotConfirmedMessage);
    if (erased)
        return *erased;
    if (m_clock.StopRequested())
        return ClearOutcome::Stopped;
    m_events.ShowScanFailure(kClearFailedMessage, search.Attempts());
    return portNames.empty() ? ClearOutcome::NoPorts : ClearOutcome::NoMeter;
}
