#include "RowTexts.h"

#include <cfloat>
#include <cmath>
#include <charconv>
#include <string>

namespace {

constexpr std::array<const char*, 7> kWavelengthTexts{
    "850 (nm)", "1300 (nm)", "1310 (nm)", "1490 (nm)", "1550 (nm)", "1625 (nm)", "1650 (nm)"};

constexpr std::array<const char*, 4> kModulationTexts{"CW", "270Hz", "1kHz", "2kHz"};

enum DisplayMode : std::uint8_t { MODE_LINEAR = 0, MODE_DBM = 1, MODE_DB = 2 };

// Each range covers 0.01 to 99.99 of its unit. They overlap, so the order
// decides: uW is tried before nW, and a power in both is shown in uW.
struct LinearRange {
    double low;     // exclusive
    double high;    // exclusive
    double scale;   // mW to the range's unit
    const char* unit;
};

constexpr std::array<LinearRange, 4> kLinearRanges{{
    {1e-11, 9.999e-8, 1e9, "pW"},
    {1e-5, 0.09999, 1000.0, "uW"},
    {1e-8, 9.999e-5, 1e6, "nW"},
    {0.01, 99.99, 1.0, "mW"},
}};

// Rounds to single precision even where the compiler keeps floats in wider
// registers, so every platform shows the same last digit.
inline float Single(float value)
{
#if FLT_EVAL_METHOD == 0
    return value;
#else
    volatile float stored = value;
    return stored;
#endif
}

// The logarithm is rounded to single precision before it is scaled, and the
// product is single precision too: the dB texts depend on both roundings.
float DecibelsOf(float milliwatts)
{
    const float logarithm = Single(static_cast<float>(std::log10(static_cast<double>(milliwatts))));
    return Single(10.0f * logarithm);
}

// "%.Nf" with a decimal point whatever locale the process runs under (the
// window adopts the operator's, which may use a decimal comma). A value
// without a finite logarithm reads "-inf", "inf" or "nan", never "-nan".
std::string FormatFixed(double value, int decimals)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

    // to_chars rounds as printf's "%.*f" does, but never looks at a locale.
    char text[128];   // the longest text is a float's range in fixed notation
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}

std::string RowNumberText(int rowIndex)
{
    return std::to_string(static_cast<long long>(rowIndex) + 1);
}

} // namespace

RowTexts DecodeRecord(const MeterRecord& record, int rowIndex)
{
    const float power = record.Power();
    const float refDbm = DecibelsOf(record.Ref());

    std::string powerText;
    std::string unitText;
    switch (record.DisplayMode()) {
    case MODE_LINEAR: {
        const double exactPower = power;   // compared exactly against the double bounds
        for (const LinearRange& range : kLinearRanges) {
            if (exactPower > range.low && exactPower < range.high) {
                powerText = FormatFixed(exactPower * range.scale, 4);
                unitText = range.unit;
                break;
            }
        }
        break;
    }
    case MODE_DBM:
        powerText = FormatFixed(DecibelsOf(power), 2);
        unitText = "dBm";
        break;
    case MODE_DB:
        powerText = FormatFixed(Single(DecibelsOf(power) - refDbm), 2);
        unitText = "dB";
        break;
    default:
        break;   // a mode this program does not know: number and unit stay empty
    }

    RowTexts row;
    row.cells[COL_NO] = RowNumberText(rowIndex);
    if (record.WavelengthIndex() < kWavelengthTexts.size())
        row.cells[COL_WAVELENGTH] = kWavelengthTexts[record.WavelengthIndex()];
    row.cells[COL_POWER] = powerText + " (" + unitText + ")";
    row.cells[COL_REF] = FormatFixed(refDbm, 2) + " (dBm)";
    if (record.ModulationIndex() < kModulationTexts.size())
        row.cells[COL_FREQUENCY] = kModulationTexts[record.ModulationIndex()];
    return row;
}

RowTexts UnreadRow(int rowIndex)
{
    RowTexts row;
    row.cells[COL_NO] = RowNumberText(rowIndex);
    return row;
}
