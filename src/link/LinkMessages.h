#pragma once

// The messages of Upload and Clear, exactly as the operator knows them.
inline constexpr const char* kNoSerialPortMessage = "No serial port found,please have a check！";
inline constexpr const char* kNoMeterMessage = "No data?or All serial ports fail,please check!";
inline constexpr const char* kClearFailedMessage = "Fail! All serial port clear data fail!";
inline constexpr const char* kClearAfterReadingMessage = "Please clear data after data reading!";
inline constexpr const char* kConfirmClearText = "Are you sure to clear the data?";
inline constexpr const char* kClearDoneText = "Clear data successful!";
inline constexpr const char* kClearNotConfirmedMessage =
    "Clear data not confirmed: the connection to the meter failed during the erase command. "
    "Upload to see whether the data is still there.";
inline constexpr const char* kReadDataFailMessage = "READ_DATA_FILE FAIL";
inline constexpr const char* kReadData2FailMessage = "READ_DATA_FILE_2 FAIL";
inline constexpr const char* kStatusRunning = "Running...";
inline constexpr const char* kStatusOver = "Over";
inline constexpr const char* kStatusReady = "Ready";
// "%d of %d records could not be read; their rows are left empty."
inline constexpr const char* kUnreadRecordsFormat = "%u of %u records could not be read; their rows are left empty.";
// "Transfer stopped: the meter does not answer. %d of %d records were read."
inline constexpr const char* kMeterSilentFormat = "Transfer stopped: the meter does not answer. %u of %u records were read.";
