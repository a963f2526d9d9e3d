#include "MeterRecord.h"

#include <algorithm>
#include <bit>

namespace {

// The meter stores its floats little-endian; assembling the bit pattern by
// shifts reads them right whatever the byte order of this machine.
float FloatAt(const std::array<std::uint8_t, kRecordSize>& bytes, std::size_t offset)
{
    const std::uint32_t bits = std::uint32_t{bytes[offset]}
        | std::uint32_t{bytes[offset + 1]} << 8
        | std::uint32_t{bytes[offset + 2]} << 16
        | std::uint32_t{bytes[offset + 3]} << 24;
    return std::bit_cast<float>(bits);
}

void PutFloat(std::array<std::uint8_t, kRecordSize>& bytes, std::size_t offset, float value)
{
    const auto bits = std::bit_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

} // namespace

MeterRecord MeterRecord::AssembleRecord(const HalfRecord& half1, const HalfRecord& half2)
{
    MeterRecord record;
    std::copy(half1.begin(), half1.end(), record.bytes.begin());
    std::copy(half2.begin(), half2.end(), record.bytes.begin() + kHalfRecordSize);
    return record;
}

MeterRecord MeterRecord::Make(float power, float ref, std::uint8_t displayMode,
                              std::uint8_t wavelengthIndex, std::uint8_t modulationIndex)
{
    MeterRecord record;
    PutFloat(record.bytes, 0, power);
    PutFloat(record.bytes, 4, ref);
    record.bytes[8] = displayMode;
    record.bytes[9] = wavelengthIndex;
    record.bytes[10] = modulationIndex;
    return record;
}

float MeterRecord::Power() const
{
    return FloatAt(bytes, 0);
}

float MeterRecord::Ref() const
{
    return FloatAt(bytes, 4);
}
