#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kFrameSize = 13;
using Frame = std::array<std::uint8_t, kFrameSize>;

// The meter's command frames. Each is 13 bytes: 0xAA, the command, the
// address (low, high), the length, then zeros. Replies repeat bytes 0-1.
enum class MeterCommand : std::uint8_t {
    READ_COUNT = 0x22,
    READ_DATA_FILE = 0x20,
    READ_DATA_FILE_2 = 0x20,   // same frame; the reply goes to the second half
    CLEAR_CHECK = 0x30,
    CLEAR_DATA = 0x10,
};

constexpr std::uint8_t kFrameStart = 0xAA;
constexpr std::uint8_t kDataBlockLength = 0x08;

// Pauses and waits of the link in milliseconds. The meter needs them; tests
// that move thousands of records may shorten them.
struct Pauses {
    int beforeFrameMs = 50;
    int writeRetryMs = 80;
    int lastWriteMs = 100;
    int afterClearDataMs = 1000;
    int beforeHandshakeReadMs = 500;
    int afterCountMs = 50;
    int replyWaitMs = 500;        // for the first byte of a reply
    // After a data exchange that failed, the line must stay quiet this long
    // before the next frame, so that a late reply cannot pass for the next one...
    int quietLineMs = 500;
    // ...but a chattering line holds it no longer than this. A missing reply
    // is also given up for lost this long after its frame.
    int quietLimitMs = 3000;
};

// The frame for a command; blockIndex only matters for the two data reads,
// whose address is 0x1000 + 8 * blockIndex (high byte kept to 8 bits).
Frame BuildFrame(MeterCommand command, unsigned blockIndex = 0);

// Record count of a READ_COUNT reply (bytes 5-6, 0 to 65535), or 0 when its
// header is not the count's. Whether the meter can hold it is the caller's check.
unsigned ParseCountReply(const Frame& reply);
bool IsCountReply(const Frame& reply);
bool IsDataReply(const Frame& reply);
bool IsClearCheckReply(const Frame& reply);
// Whether a reply repeats the address and length (bytes 2-4) of its frame.
bool EchoesFrame(const Frame& reply, const Frame& frame);
