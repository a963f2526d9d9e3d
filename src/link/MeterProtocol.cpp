#include "MeterProtocol.h"

#include <algorithm>

Frame BuildFrame(MeterCommand command, unsigned blockIndex) {
    Frame frame{};
    frame[0] = kFrameStart;
    frame[1] = static_cast<std::uint8_t>(command);
    if (command == MeterCommand::READ_DATA_FILE) {
        // Records start at 0x1000, eight bytes per block; the high byte wraps
        // beyond 0xFFFF, which is past the last of the 3840 records.
        const unsigned offset = 8u * blockIndex;
        frame[2] = static_cast<std::uint8_t>(offset % 256u);
        frame[3] = static_cast<std::uint8_t>(offset / 256u + 0x10u);
        frame[4] = kDataBlockLength;
    }
    return frame;
}

bool IsCountReply(const Frame& reply) {
    return reply[0] == kFrameStart && reply[1] == static_cast<std::uint8_t>(MeterCommand::READ_COUNT);
}

unsigned ParseCountReply(const Frame& reply) {
    return IsCountReply(reply) ? reply[6] * 256u + reply[5] : 0;
}

bool IsDataReply(const Frame& reply) {
    return reply[0] == kFrameStart && reply[1] == static_cast<std::uint8_t>(MeterCommand::READ_DATA_FILE);
}

bool IsClearCheckReply(const Frame& reply) {
    return reply[0] == kFrameStart && reply[1] == static_cast<std::uint8_t>(MeterCommand::CLEAR_CHECK);
}

bool EchoesFrame(const Frame& reply, const Frame& frame) {
    return std::equal(reply.begin() + 2, reply.begin() + 5, frame.begin() + 2);
}
