#pragma once

#include "ByteStream.h"
#include "LinkClock.h"
#include "MeterExchange.h"
#include "MeterProtocol.h"
#include "PortFailure.h"
#include "TransferEvents.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Upload and Clear against whichever port answers: the front ends' one door
// to the meter. Upload's scan and all of Clear hold the calling thread; the
// record transfer runs on one worker that the owner stops and joins (Stop, or
// the destructor). The work itself is done by CPortSearch (which port
// answers), CMeterExchange (one frame and its reply), CTransfer (the records)
// and CMeterErase (the clear).
class CMeterLink {
public:
    // Each port tried is opened through openPort: a port name in, a byte
    // stream out (see ByteStream.h). Without one, the names are the system's
    // serial ports, opened as CSerialPort, whose messages go to events.
    explicit CMeterLink(ITransferEvents& events, Pauses pauses = {}, ByteStreamFactory openPort = {});
    ~CMeterLink();

    // A port that is no device of the system (a simulated meter inside the
    // program): the link opens `portName` through `open`, every other name
    // as before. Set while no operation runs.
    using PortOpener = std::function<std::unique_ptr<IByteStream>(PortAttempt& why)>;
    void RoutePort(const std::string& portName, PortOpener open);
    CMeterLink(const CMeterLink&) = delete;
    CMeterLink& operator=(const CMeterLink&) = delete;

    // Scans portNames in order. Returns true when a transfer was started on
    // the worker; otherwise the outcome has already been reported (messages,
    // OnFinished). Refused (returns false, reports nothing) while busy.
    bool OnButtonUpload(const std::vector<std::string>& portNames);

    // Whether Clear may erase what the meter holds: only once an upload in
    // this session has read every record, and not while an operation runs.
    // Tells nothing: the caller tells the operator ("Please clear data after
    // data reading!"). OnButtonClear itself does not ask: a deliberate wipe
    // (the command line's clear) goes ahead without an upload.
    bool ClearAllowed() const;
    ClearOutcome OnButtonClear(const std::vector<std::string>& portNames);

    bool IsBusy() const { return m_busy.load(); }
    // Asks a running operation to end: a transfer keeps the rows read so far,
    // leaves the rest empty and ends as Stopped.
    void RequestStop() { m_clock.RequestStop(); }
    void Stop();                            // RequestStop, then joins the transfer worker
    void WaitUntilIdle();                   // joins a finished or running transfer

    unsigned RecordCount() const { return m_recordCount.load(); }
    std::vector<PortAttempt> PortAttempts() const;   // of the latest scan
    // Every byte block written to or taken from the meter's line; set before an operation.
    void SetTraceHook(TraceHook hook) { m_trace = std::move(hook); }

private:
    bool BeginOperation(const std::vector<std::string>& portNames);   // false while busy
    void Finish(const TransferSummary& summary);
    void KeepAttempts(const std::vector<PortAttempt>& attempts);

    ITransferEvents& m_events;
    const Pauses m_pauses;
    CLinkClock m_clock;
    ByteStreamFactory m_openPort;          // routed ports first, then this
    std::map<std::string, PortOpener> m_routedPorts;
    ByteStreamFactory m_openRoutedFirst;   // what the port search opens ports with
    TraceHook m_trace;
    std::thread m_worker;
    std::atomic<bool> m_busy{false};
    std::atomic<unsigned> m_recordCount{0};
    // Set by an upload that read every record, cleared by any other upload
    // and by an erase: Clear never loses a record nobody has read.
    std::atomic<bool> m_everyRecordRead{false};
    mutable std::mutex m_attemptsMutex;
    std::vector<PortAttempt> m_portAttempts;
};
