// Dialog units: the rounding and the base units that place every control.

#include "DialogTemplate.h"
#include "MessageDialogs.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

struct MulDivCase {
    const char* why;
    int number, numerator, denominator;
    int expected;
};

void PrintTo(const MulDivCase& row, std::ostream* os) { *os << row.why; }

class MulDivTest : public ::testing::TestWithParam<MulDivCase> {};

TEST_P(MulDivTest, RoundsLikeThePlatform)
{
    const MulDivCase& row = GetParam();
    EXPECT_EQ(MulDiv(row.number, row.numerator, row.denominator), row.expected) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MulDivTest,
    ::testing::Values(
        MulDivCase{"exact product needs no rounding", 401, 8, 4, 802},
        MulDivCase{"a half rounds up, not down (10.5 -> 11)", 7, 6, 4, 11},
        MulDivCase{"below a half rounds down (13.125 -> 13)", 7, 15, 8, 13},
        MulDivCase{"the edit height 12 du at 15 px rounds 22.5 up", 12, 15, 8, 23},
        MulDivCase{"a negative half rounds away from zero", -1, 1, 2, -1},
        MulDivCase{"a zero denominator gives -1", 5, 3, 0, -1},
        MulDivCase{"products beyond 32 bits do not overflow", 100000, 100000, 100000, 100000}));

struct BaseUnitCase {
    const char* why;
    int alphabetWidth, fontHeight;
    DialogBaseUnits expected;
};

void PrintTo(const BaseUnitCase& row, std::ostream* os) { *os << row.why; }

class BaseUnitTest : public ::testing::TestWithParam<BaseUnitCase> {};

TEST_P(BaseUnitTest, AverageWidthIsRoundedHalfOfTheAlphabet)
{
    const BaseUnitCase& row = GetParam();
    EXPECT_EQ(BaseUnitsFromMetrics(row.alphabetWidth, row.fontHeight), row.expected) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BaseUnitTest,
    ::testing::Values(
        BaseUnitCase{"the classic 8-point dialog font is 6 x 13", 312, 13, {6, 13}},
        BaseUnitCase{"338 / 26 = 13 rounds up to 7 (not down to 6)", 338, 13, {7, 13}},
        BaseUnitCase{"the 10-point fallback font on this platform", 417, 15, {8, 15}},
        BaseUnitCase{"integer division first: 441 / 26 = 16 gives 8", 441, 16, {8, 16}}));

struct MapCase {
    const char* why;
    DialogBaseUnits units;
    QRect dialogUnits;
    QRect expected;
};

void PrintTo(const MapCase& row, std::ostream* os) { *os << row.why; }

class MapDialogRectTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapDialogRectTest, MapsEachValueOnItsOwn)
{
    const MapCase& row = GetParam();
    EXPECT_EQ(MapDialogRect(row.dialogUnits, row.units), row.expected) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MapDialogRectTest,
    ::testing::Values(
        MapCase{"Upload button at 8 x 15", {8, 15}, {7, 7, 55, 30}, {14, 13, 110, 56}},
        MapCase{"Upload button at 6 x 13: every value rounded", {6, 13}, {7, 7, 55, 30}, {11, 11, 83, 49}},
        MapCase{"the list at 8 x 15", {8, 15}, {7, 128, 386, 181}, {14, 240, 772, 339}},
        MapCase{"the total counter keeps its small width", {8, 15}, {367, 114, 26, 8}, {734, 214, 52, 15}}));

TEST(DialogSize, MainWindowTemplateAtEightByFifteen)
{
    EXPECT_EQ(MapDialogSize(401, 316, {8, 15}), QSize(802, 593));
}

struct FontCase {
    const char* why;
    const char* family;
    int pointSize;
    bool fixedPitch;
};

void PrintTo(const FontCase& row, std::ostream* os) { *os << row.why; }

class DialogFontTest : public ::testing::TestWithParam<FontCase> {};

TEST_P(DialogFontTest, MissingFamiliesFallBackToAnInstalledOneOfTheSameKind)
{
    const FontCase& row = GetParam();
    const QFont font = DialogFont(QString::fromLatin1(row.family), row.pointSize);
    const QFontMetrics metrics(font);
    EXPECT_TRUE(QFontDatabase::hasFamily(font.family())) << row.why << ": " << font.family().toStdString();
    const bool fixedPitch = metrics.horizontalAdvance(QLatin1Char('i')) == metrics.horizontalAdvance(QLatin1Char('W'));
    EXPECT_EQ(fixedPitch, row.fixedPitch) << row.why;
    const int dpi = qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
    EXPECT_EQ(font.pixelSize(), MulDiv(row.pointSize, dpi, 72)) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogFontTest,
    ::testing::Values(FontCase{"the main window's font", "Microsoft Sans Serif", 10, false},
                      FontCase{"the About box's font", "MS Shell Dlg", 8, false},
                      FontCase{"a fixed-pitch family stays fixed-pitch", "FixedSys", 12, true}));

TEST(TemplateDialog, ControlsSitAtTheirMappedRectangles)
{
    CDlgMessage dialog;
    const DialogBaseUnits units = dialog.BaseUnits();
    EXPECT_EQ(units, BaseUnitsOf(dialog.font()));
    EXPECT_EQ(dialog.size(), MapDialogSize(113, 59, units));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the frame cannot be resized";
    EXPECT_EQ(dialog.Item(IDOK)->geometry(), MapDialogRect({25, 39, 29, 14}, units));
    EXPECT_EQ(dialog.Item(IDCANCEL)->geometry(), MapDialogRect({63, 39, 29, 14}, units));
    EXPECT_EQ(dialog.Item(12345), nullptr);
}

} // namespace
