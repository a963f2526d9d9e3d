#pragma once
// The simulated meter: the meter's side of the serial protocol on a
// pseudo-terminal, or where there is none (Windows) on a line inside the
// program. Test fixture and demo device; used in-process by the command
// line's and the window's --simulate, and by ombrel-sim.

#include "ByteStream.h"
#include "MeterRecord.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

constexpr std::uint16_t kRecordAreaStart = 0x1000;
constexpr int kMaxSimRecords = static_cast<int>(kMeterCapacity);

// A fault hits the n-th command frame the meter takes (or every one).
struct SimFault {
    enum class Kind {
        NoReply,       // the frame is lost: the meter neither acts on it nor answers
        LateReply,     // replies after `delayMs`
        WrongHeader,   // reply's bytes 0-1 are wrong
        ShortReply,    // sends `byteCount` bytes of the reply, then silence
        Garbage,       // `byteCount` stray bytes before the reply
        ZeroCount,     // record count answered as 0
        LateClear,     // clear handshake reply after `delayMs`
        Vanish,        // closes the pty: the meter is unplugged
        Twice,         // sends the reply a second time, `delayMs` after the first
    };
    Kind kind = Kind::NoReply;
    int exchange = 0;      // 1-based index of the exchange it hits; 0 = every exchange
    int delayMs = 0;
    int byteCount = 0;
};

// Parses "kind[@n][:value]", e.g. "noreply@3", "late:800", "short@2:5", "twice@4:0", "vanish@10".
bool ParseSimFault(const std::string& description, SimFault& fault, std::string& error);

// What the meter is served on. On a pseudo-terminal the host opens its device
// as it would a serial adapter's; a line inside the program is opened by
// name through the meter's Connect.
enum class SimLine { PseudoTerminal, InMemory };
#ifdef _WIN32
inline constexpr SimLine kNativeSimLine = SimLine::InMemory;
#else
inline constexpr SimLine kNativeSimLine = SimLine::PseudoTerminal;
#endif
// The port name of a meter served inside the program.
inline constexpr const char* kSimulatedPortName = "Simulated meter";

struct SimOptions {
    SimLine line = kNativeSimLine;
    std::vector<MeterRecord> records;   // the meter's memory
    bool paced = false;                 // model the 9600-baud wire timing
    int latencyMs = 0;                  // meter turnaround before each reply
    std::vector<SimFault> faults;
    // A meter that answers a newer frame while an older reply is still due
    // sends that reply all the same (true drops it, as most meters do).
    bool recallLateReplies = true;
    bool echoAddress = true;             // data replies repeat bytes 2-4 of their frame; false: zeros
    std::optional<unsigned> reportedCount;   // the count reply says this (0 to 65535) whatever is stored
    std::string linkPath;               // optional symlink to the slave device (pseudo-terminal only)
    std::string lineName = kSimulatedPortName;   // the port name of a line inside the program
    // One line per frame taken, reply sent or fault applied; called on the
    // serving thread. Leave empty for silence.
    std::function<void(const std::string&)> log;
};

std::vector<MeterRecord> RealisticSession();               // covers every mode, wavelength, modulation
std::vector<MeterRecord> GeneratedRecords(int count);       // count varied records, at most kMaxSimRecords
bool LoadRecordImage(const std::string& path, std::vector<MeterRecord>& records, std::string& error);

// Serves one line from a thread of its own; the same frames, replies, faults
// and pace on either kind. Frames that do not
// start with 0xAA, carry an unknown command or non-zero filler are skipped a
// byte at a time until a frame start lines up; they get no answer. A reply
// that has not gone out when the next frame is taken is dropped, as the
// meter turns to the newer command (unless recallLateReplies is false).
class CMeterSim {
public:
    explicit CMeterSim(SimOptions options);
    ~CMeterSim();   // stops and cleans up
    CMeterSim(const CMeterSim&) = delete;
    CMeterSim& operator=(const CMeterSim&) = delete;

    bool Start(std::string& error);     // opens the line and starts serving
    void Stop();                        // the host sees the line hang up
    // The port the host opens: the pseudo-terminal's slave device, or the
    // in-memory line's name (lineName). Empty before Start.
    const std::string& SlavePath() const;
    // The host's end of the in-memory line, one host at a time; null with the
    // reason (absent once stopped or unplugged, busy while another host has
    // it) otherwise. The stream may outlive the meter: it then reads as gone.
    std::unique_ptr<IByteStream> Connect(PortAttempt& why);
    // Whether the host reaches the meter through Connect, not by opening a device.
    bool InMemory() const;

    std::vector<MeterRecord> Records() const;    // current memory (empty after an erase)
    int ExchangesServed() const;                 // command frames taken so far
    int EraseCount() const;                      // CLEAR_DATA frames taken

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
