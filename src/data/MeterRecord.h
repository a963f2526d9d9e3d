#pragma once
// Measurement data: pure C++. Files in this folder depend on nothing outside it:
// no widgets, no ports, no clocks.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kRecordSize = 16;
constexpr std::size_t kHalfRecordSize = 8;

using HalfRecord = std::array<std::uint8_t, kHalfRecordSize>;

// The record area runs from 0x1000 to 0xFFFF, 16 bytes a record; beyond it
// the address wraps, so a larger count cannot be the meter's.
constexpr unsigned kMeterCapacity = 3840;

// One stored measurement, byte for byte as the meter keeps it:
// 0-3 power (float LE, mW), 4-7 reference (float LE, mW), 8 display mode,
// 9 wavelength index, 10 modulation index, 11-15 not interpreted.
struct MeterRecord {
    std::array<std::uint8_t, kRecordSize> bytes{};

    // Bytes 0-7 come from the first 8-byte read, 8-15 from the second.
    static MeterRecord AssembleRecord(const HalfRecord& half1, const HalfRecord& half2);
    static MeterRecord Make(float power, float ref, std::uint8_t displayMode,
                            std::uint8_t wavelengthIndex, std::uint8_t modulationIndex);

    float Power() const;
    float Ref() const;
    std::uint8_t DisplayMode() const { return bytes[8]; }
    std::uint8_t WavelengthIndex() const { return bytes[9]; }
    std::uint8_t ModulationIndex() const { return bytes[10]; }
};
