#pragma once

#include "MeterRecord.h"

#include <array>
#include <string>

enum RowColumn { COL_NO = 0, COL_WAVELENGTH, COL_POWER, COL_REF, COL_FREQUENCY, COLUMN_COUNT };

// The five cell texts of one list row; the only decoded form the reports see.
struct RowTexts {
    std::array<std::string, COLUMN_COUNT> cells;
    bool operator==(const RowTexts&) const = default;
};

// Decodes one record into the texts of row rowIndex (No. cell = rowIndex + 1).
// A pure function of the 16 bytes: nothing carries over from earlier records.
RowTexts DecodeRecord(const MeterRecord& record, int rowIndex);

// The row of a record that could not be read: only its No. cell is filled.
RowTexts UnreadRow(int rowIndex);
