#pragma once
// The line the meter link talks over: a serial port, or anything else that
// moves bytes both ways (an in-memory simulated meter, a scripted line in
// tests). The link's exchange logic sees nothing but this.

#include "PortFailure.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class IByteStream {
public:
    enum class WaitResult {
        Ready,      // at least one byte can be received now
        TimedOut,   // nothing arrived in time
        Gone,       // the device went away; it will not come back
    };

    virtual ~IByteStream() = default;

    // Writes up to count bytes, waiting (bounded) for room; returns how many
    // went out. Discards nothing: a frame continued after a short write must
    // follow its beginning on the line.
    virtual std::size_t Send(const std::uint8_t* bytes, std::size_t count) = 0;
    // Takes up to count bytes that have arrived; never waits (0 when none).
    virtual std::size_t Receive(std::uint8_t* bytes, std::size_t count) = 0;
    // Waits at most timeoutMs for a byte to receive. Ready only when a byte
    // can really be received: a wake-up with nothing queued is no arrival.
    virtual WaitResult WaitForInput(int timeoutMs) = 0;
    // Discards what is queued either way: bytes not yet sent, bytes not yet taken.
    virtual void Purge() = 0;
    // Whether the device has gone away (unplugged); looks at the line now.
    virtual bool HasHungUp() = 0;
};

// Opens the named port for the link. Returns null when it cannot, with the
// reason in `why` (its failure and detail; the port name is filled in by the
// caller). The stream is closed by destroying it.
using ByteStreamFactory = std::function<std::unique_ptr<IByteStream>(const std::string& portName, PortAttempt& why)>;
