#include "MeterSim.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

float MilliwattsFromDbm(double dbm) {
    return static_cast<float>(std::pow(10.0, dbm / 10.0));
}

constexpr std::uint8_t kLinear = 0, kDbm = 1, kRelative = 2;
constexpr std::uint8_t k850 = 0, k1300 = 1, k1310 = 2, k1490 = 3, k1550 = 4, k1625 = 5, k1650 = 6;
constexpr std::uint8_t kCw = 0, k270Hz = 1, k1kHz = 2, k2kHz = 3;

struct SessionEntry {
    std::uint8_t mode;
    std::uint8_t wavelength;
    std::uint8_t modulation;
    double powerDbm;
    double refDbm;
};

// A morning on a fibre link: source checks, losses against the -10 dBm
// reference, a PON and a monitoring band, and some readings kept in watts,
// down to the dark reading of a broken fibre.
constexpr SessionEntry kSession[] = {
    {kDbm, k1310, kCw, -10.02, -10.00},
    {kDbm, k1550, kCw, -10.21, -10.15},
    {kRelative, k1310, kCw, -13.47, -10.00},
    {kRelative, k1550, kCw, -12.96, -10.15},
    {kRelative, k1310, k270Hz, -14.82, -10.00},
    {kRelative, k1550, k270Hz, -13.90, -10.15},
    {kDbm, k850, k1kHz, -5.31, -9.87},
    {kDbm, k1300, k1kHz, -6.02, -9.92},
    {kRelative, k850, k2kHz, -16.44, -9.87},
    {kRelative, k1300, k2kHz, -17.05, -9.92},
    {kDbm, k1490, k2kHz, -18.64, -10.05},
    {kDbm, k1625, kCw, -27.35, -10.30},
    {kDbm, k1650, kCw, -31.08, -10.30},
    {kRelative, k1490, kCw, -24.57, -10.05},
    {kRelative, k1625, k1kHz, -33.12, -10.30},
    {kRelative, k1650, k2kHz, -39.76, -10.30},
    {kLinear, k1550, kCw, -3.00, -10.15},     // 0.5012 mW
    {kLinear, k1310, kCw, -19.10, -10.00},    // 12.3 uW
    {kLinear, k1300, k270Hz, -53.40, -9.92},  // 4.57 nW
    {kLinear, k850, k1kHz, -74.95, -9.87},    // 32 pW
    {kLinear, k1550, k2kHz, -10.56, -10.15},  // 87.9 uW
    {kLinear, k1625, k270Hz, -34.00, -10.30}, // 0.398 uW
    {kDbm, k1550, k270Hz, -3.05, -10.15},
    {kRelative, k1550, kCw, -39.90, -10.15},
    {kDbm, k1310, k2kHz, -22.73, -10.00},
};

}  // namespace

std::vector<MeterRecord> RealisticSession() {
    std::vector<MeterRecord> records;
    for (const SessionEntry& entry : kSession)
        records.push_back(MeterRecord::Make(MilliwattsFromDbm(entry.powerDbm), MilliwattsFromDbm(entry.refDbm),
                                            entry.mode, entry.wavelength, entry.modulation));
    return records;
}

std::vector<MeterRecord> GeneratedRecords(int count) {
    count = std::clamp(count, 0, kMaxSimRecords);
    std::vector<MeterRecord> records;
    records.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        // Periods 3, 7 and 4 share no factor: every combination of mode,
        // wavelength and modulation turns up within 84 records.
        const auto mode = static_cast<std::uint8_t>(k % 3);
        const auto wavelength = static_cast<std::uint8_t>(k % 7);
        const auto modulation = static_cast<std::uint8_t>(k % 4);
        // Readings in watts reach down to picowatts; dBm readings stay in a
        // fibre's range of -3 to -40 dBm.
        const int spread = mode == kLinear ? 7200 : 3700;
        const double powerDbm = -3.0 - ((k * 7919) % spread) / 100.0;
        const double refDbm = -10.0 + ((k * 37) % 61 - 30) / 100.0;
        records.push_back(MeterRecord::Make(MilliwattsFromDbm(powerDbm), MilliwattsFromDbm(refDbm), mode,
                                            wavelength, modulation));
    }
    return records;
}

bool LoadRecordImage(const std::string& path, std::vector<MeterRecord>& records, std::string& error) {
    const auto systemError = [&path](const std::string& what, std::error_code code) {
        return what + " '" + path + "': " + code.message();
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = systemError("cannot open the record image", std::error_code(errno, std::generic_category()));
        return false;
    }
    std::error_code status;
    const bool regular = std::filesystem::is_regular_file(path, status);
    const std::uintmax_t fileSize = regular ? std::filesystem::file_size(path, status) : 0;
    if (status) {
        error = systemError("cannot examine the record image", status);
        return false;
    }
    if (!regular) {
        error = "record image '" + path + "' is not a regular file";
        return false;
    }
    const auto size = static_cast<std::size_t>(fileSize);
    if (size % kRecordSize != 0) {
        error = "record image '" + path + "' is " + std::to_string(size) +
                " bytes, not a whole number of 16-byte records";
        return false;
    }
    const std::size_t recordCount = size / kRecordSize;
    if (recordCount > static_cast<std::size_t>(kMaxSimRecords)) {
        error = "record image '" + path + "' holds " + std::to_string(recordCount) +
                " records; the meter's memory holds at most " + std::to_string(kMaxSimRecords);
        return false;
    }

    std::vector<MeterRecord> loaded(recordCount);
    for (MeterRecord& record : loaded) {
        if (std::fread(record.bytes.data(), 1, kRecordSize, file.get()) == kRecordSize)
            continue;
        if (std::ferror(file.get()))
            error = systemError("cannot read the record image", std::error_code(errno, std::generic_category()));
        else
            error = "record image '" + path + "' ended early; was it changed while being read?";
        return false;
    }
    records = std::move(loaded);
    return true;
}
