#pragma once

#include "MessageSink.h"
#include "MeterProtocol.h"
#include "PortFailure.h"
#include "RowTexts.h"
#include "SerialPort.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How an Upload ended.
enum class UploadOutcome {
    Completed,       // every record read
    Incomplete,      // transfer ended, some rows left empty
    MeterSilent,     // transfer stopped: meter gone or silent
    Stopped,         // stopped by the owner (program closing)
    NoPorts,         // no serial port at all
    NoMeter,         // no port answered
};

struct TransferSummary {
    UploadOutcome outcome = UploadOutcome::NoMeter;
    unsigned recordCount = 0;    // records the meter reported
    unsigned readCount = 0;      // rows filled from the meter
    unsigned unreadCount = 0;    // rows left empty
    std::string portName;        // the port the meter answered on
};

// Ordered events of Upload and Clear. Calls come from the thread that runs the
// scan or from the transfer worker, one at a time and in order; a front end
// that owns widgets forwards them to its GUI thread keeping that order.
// ShowMessage (from IMessageSink) and ShowClearDone hold the caller until the
// operator has closed them.
class ITransferEvents : public IMessageSink {
public:
    // A port answered the count exchange (or did not, count 0): progress range
    // 0..count, received counter "0", total counter "%d", position 0, bar shown.
    virtual void OnCountKnown(unsigned recordCount) = 0;
    virtual void OnRowsInserted(unsigned rowCount) = 0;           // empty rows 0..rowCount-1
    virtual void OnRecordRead(int /*row*/, const MeterRecord& /*record*/) {}   // each record read, before its OnRowTexts
    virtual void OnRowTexts(int row, const RowTexts& texts) = 0;
    // Progress bar position (records dealt with) and received counter (records read).
    virtual void OnProgress(unsigned position, unsigned received) = 0;
    virtual void OnStatusPane0(const std::string& text) = 0;      // "Running...", "Over"
    virtual void OnTimerStart() = 0;                              // timer 1 starts, use seconds = 0
    virtual void OnTimerStop() = 0;
    virtual void OnFinished(const TransferSummary& summary) = 0;  // exactly once per Upload
    virtual void ShowClearDone() = 0;                             // "Clear data successful!" notice
    // "No data?or All serial ports fail,please check!" or the Clear failure,
    // with why each port tried failed (for a details view).
    virtual void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) = 0;
};

enum class ClearOutcome {
    Cleared,        // erase command written whole and the port still up after its pause
    NotConfirmed,   // the port failed between the handshake and the end of the erase pause
    NoPorts,
    NoMeter,
    Refused,        // busy
    Stopped,        // stopped by the owner before the erase command
};

// Upload and Clear against whichever port answers. Upload's scan and all of
// Clear hold the calling thread; the record transfer runs on one worker that
// the owner stops and joins (Stop, or the destructor).
class CMeterLink {
public:
    explicit CMeterLink(ITransferEvents& events, Pauses pauses = {});
    ~CMeterLink();
    CMeterLink(const CMeterLink&) = delete;
    CMeterLink& operator=(const CMeterLink&) = delete;

    // Scans portNames in order. Returns true when a transfer was started on
    // the worker; otherwise the outcome has already been reported (messages,
    // OnFinished). Refused (returns false, reports nothing) while busy.
    bool OnButtonUpload(const std::vector<std::string>& portNames);

    // Clear may start only when the latest upload left no record unread;
    // otherwise shows "Please clear data after data reading!" and returns false.
    bool ClearAllowed();
    ClearOutcome OnButtonClear(const std::vector<std::string>& portNames);

    bool IsBusy() const { return m_busy.load(); }
    void RequestStop();                     // asks a running operation to end within one exchange
    void Stop();                            // RequestStop, then joins the transfer worker
    void WaitUntilIdle();                   // joins a finished or running transfer

    unsigned RecordCount() const { return m_recordCount.load(); }
    std::vector<PortAttempt> PortAttempts() const;   // of the latest scan
    CSerialPort& Port() { return m_serialPort; }

private:
    enum class ReplyStatus { Accepted, Missing, BadHeader };
    // Whether the meter repeats a data frame's address in its reply, as its
    // first data reply shows; only then can a stale reply be told apart.
    enum class EchoMode { Unknown, Echoing, NotEchoing };

    bool BeginOperation(const std::vector<std::string>& portNames);   // false while busy
    bool SendFrame(MeterCommand command);   // true when all 13 bytes were written
    ReplyStatus RunExchange(ThreadItem item);
    ReplyStatus HandleReply();
    ReplyStatus AcceptDataReply(const Frame& reply);
    bool ReadHalf(ThreadItem item, bool& timerStopped);
    void TransferRecords();
    bool OpenForScan(const std::string& portName);
    void NoteCountFailure(const std::string& portName, ReplyStatus status);
    bool ClearHandshake();
    ClearOutcome EraseMeter();
    bool Pause(int ms);                     // false when asked to stop
    void JoinWorker();
    void NoteAttempt(const std::string& portName, PortFailure failure, const std::string& detail = {});

    ITransferEvents& m_events;
    Pauses m_pauses;
    CSerialPort m_serialPort;
    std::thread m_worker;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stopRequested{false};
    std::mutex m_pauseMutex;
    std::condition_variable m_pauseWake;
    mutable std::mutex m_attemptsMutex;
    std::vector<PortAttempt> m_portAttempts;

    ThreadItem m_threadItem = ITEM_COUNT;
    int m_searching = 1;
    std::atomic<unsigned> m_recordCount{0};
    std::atomic<unsigned> m_progressPosition{0};
    std::atomic<bool> m_recordsLeftUnread{false};   // by the latest upload that reached a meter
    Frame m_frame{};                 // the frame of the exchange in flight
    EchoMode m_echoMode = EchoMode::Unknown;
    bool m_lineUnsettled = false;    // a data exchange failed: let the line go quiet first
    unsigned m_receivedCount = 0;
    unsigned m_blockIndex = 0;
    HalfRecord m_dataHalf1{};
    HalfRecord m_dataHalf2{};
    std::string m_portName;
};
