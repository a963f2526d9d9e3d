#pragma once
// The line the simulated meter serves, seen from the meter's side: a
// pseudo-terminal (MeterSimPosix.cpp) or a line inside the program
// (MeterSimMemory.cpp). The meter itself (MeterSim.cpp) is the same on both:
// its frames, replies, faults and pace do not depend on the line.

#include "ByteStream.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class ISimWire {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~ISimWire() = default;

    // What the host opens: the pseudo-terminal's device, or the line's name.
    virtual const std::string& PortName() const = 0;

    // Serving thread. Waits until bytes may have arrived, room has come (when
    // writeBlocked), wakeAt has passed (TimePoint::max(): no deadline) or a
    // stop is asked for. Returns false once the meter is to stop serving.
    // Something worth a log line goes into `problem`.
    virtual bool Wait(TimePoint wakeAt, bool writeBlocked, std::string& problem) = 0;
    // Takes what has arrived; never waits (0 when nothing has).
    virtual std::size_t Read(std::uint8_t* bytes, std::size_t count) = 0;
    // Puts out what the line takes now (written may be less than count, or
    // 0 when it is full); false, with the reason, when the line failed.
    virtual bool Write(const std::uint8_t* bytes, std::size_t count, std::size_t& written, std::string& problem) = 0;
    // The meter is unplugged: the host sees the line go, and its name with it.
    virtual void Unplug() = 0;

    // Any thread: makes the serving thread's Wait return false.
    virtual void RequestStop() = 0;
    // Once the serving thread has ended: the host sees the line go.
    virtual void Close() = 0;

    // The host's end of a line inside the program; null, with the reason in
    // why, when there is none to have (a pseudo-terminal's host opens its
    // device instead). Any thread.
    virtual std::unique_ptr<IByteStream> Connect(PortAttempt& why) = 0;
};

// A pseudo-terminal, with a symbolic link to it at linkPath unless that is
// empty; null with the reason where the system has none.
std::unique_ptr<ISimWire> OpenPseudoTerminal(const std::string& linkPath, std::string& error);
// A line inside the program, opened by the link under `name`.
std::unique_ptr<ISimWire> OpenMemoryLine(const std::string& name);
