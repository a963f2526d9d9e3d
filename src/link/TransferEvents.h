#pragma once

#include "MessageSink.h"
#include "MeterRecord.h"
#include "PortFailure.h"
#include "RowTexts.h"

#include <string>
#include <vector>

// How an Upload ended.
enum class UploadOutcome {
    Completed,       // every record read
    Incomplete,      // transfer ended, some rows left empty
    MeterSilent,     // transfer stopped: meter gone or silent
    Stopped,         // stopped by the owner (Stop button, program closing)
    NoPorts,         // no serial port at all
    NoMeter,         // no port answered
};

struct TransferSummary {
    UploadOutcome outcome = UploadOutcome::NoMeter;
    unsigned recordCount = 0;    // records the meter reported
    unsigned readCount = 0;      // rows filled from the meter
    unsigned unreadCount = 0;    // rows left empty
    unsigned outOfStep = 0;      // times replies and frames were seen out of step
    std::string portName;        // the port the meter answered on
};

enum class ClearOutcome {
    Cleared,        // erase command written whole and the port still up after its pause
    NotConfirmed,   // the port failed between the handshake and the end of the erase pause
    NoPorts,
    NoMeter,
    Refused,        // busy
    Stopped,        // stopped by the owner before the erase command
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
    // The record read for a row, just before that row's OnRowTexts. A record
    // that had to be read again (its first read was put in doubt) comes again
    // for the same row and replaces the first; a row that could not be read
    // for sure is emptied by OnRowTexts alone. The rows counted as read in the
    // summary are exactly those whose latest event was this one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"   // named for the reader; front ends may ignore them
    virtual void OnRecordRead(int row, const MeterRecord& record) {}
    virtual void OnRowTexts(int row, const RowTexts& texts) = 0;
    // Progress bar position (records dealt with) and received counter (records read).
    virtual void OnProgress(unsigned position, unsigned received) = 0;
    // "Running...", "Over": for a front end with a status bar.
    virtual void OnStatusPane0(const std::string& text) {}
#pragma GCC diagnostic pop
    virtual void OnTimerStart() = 0;                              // timer 1 starts, use seconds = 0
    virtual void OnTimerStop() = 0;                               // once, when the transfer has ended
    virtual void OnFinished(const TransferSummary& summary) = 0;  // exactly once per Upload
    virtual void ShowClearDone() = 0;                             // "Clear data successful!" notice
    // "No data?or All serial ports fail,please check!" or the Clear failure,
    // with why each port tried failed (for a details view).
    virtual void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) = 0;
};
