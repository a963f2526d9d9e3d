// Dialog units: base units from the font, rectangles rounded as the platform
// rounds them, and where a template dialog puts its controls.

#include "DialogTemplate.h"
#include "MessageDialogs.h"

#include <QFontInfo>

#include <gtest/gtest.h>

namespace {

TEST(DialogUnits, ConvertAndRoundLikeThePlatform)
{
    struct BaseRow { const char* why; int alphabetWidth, fontHeight; DialogBaseUnits expected; };
    const BaseRow bases[] = {{"the classic 8-point dialog font is 6 x 13", 312, 13, {6, 13}},
                             {"338 / 26 = 13 halves to 7, not 6", 338, 13, {7, 13}},
                             {"integer division first: 441 / 26 = 16 gives 8", 441, 16, {8, 16}}};
    for (const BaseRow& row : bases)
        EXPECT_EQ(BaseUnitsFromMetrics(row.alphabetWidth, row.fontHeight), row.expected) << row.why;

    struct MapRow { const char* why; DialogBaseUnits units; QRect dialogUnits, expected; };
    const MapRow maps[] = {{"Upload button at 8 x 15: exact", {8, 15}, {7, 7, 55, 30}, {14, 13, 110, 56}},
                           {"at 6 x 13: halves round up (10.5, 82.5), the rest to nearest", {6, 13}, {7, 7, 55, 30},
                            {11, 11, 83, 49}},
                           {"each value on its own: the total counter keeps its width", {8, 15}, {367, 114, 26, 8},
                            {734, 214, 52, 15}}};
    for (const MapRow& row : maps)
        EXPECT_EQ(MapDialogRect(row.dialogUnits, row.units), row.expected) << row.why;
    EXPECT_EQ(MapDialogSize(401, 316, {8, 15}), QSize(802, 593)) << "the main window: 592.5 rounds up";
    EXPECT_EQ(MulDiv(-1, 1, 2), -1) << "a negative half rounds away from zero";
}

TEST(DialogUnits, TemplateDialogPlacesItsControlsAndCannotBeResized)
{
    CDlgMessage dialog;
    const DialogBaseUnits units = dialog.BaseUnits();
    EXPECT_EQ(units, BaseUnitsOf(dialog.font()));
    EXPECT_EQ(dialog.size(), MapDialogSize(113, 59, units));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.Item(IDOK)->geometry(), MapDialogRect({25, 39, 29, 14}, units));
    EXPECT_EQ(dialog.Item(IDCANCEL)->geometry(), MapDialogRect({63, 39, 29, 14}, units));
}

// Few machines have a font of the dialogs' face names: a sans-serif face
// stands in, never the first family of the list (under wine a serif one).
// Windows maps both names to "Microsoft Sans Serif"; wine to Tahoma, which a
// wine without its own fonts (as CI's) lacks: there the host's DejaVu Sans.
TEST(DialogUnits, DialogFacesFallBackToASansSerifFace)
{
    for (const char* family : {"MS Shell Dlg", "Microsoft Sans Serif"}) {
        const QString chosen = QFontInfo(DialogFont(QString::fromLatin1(family), 8)).family();
#ifdef Q_OS_WIN
        EXPECT_TRUE(chosen == QLatin1String("Microsoft Sans Serif") || chosen == QLatin1String("Tahoma")
                    || chosen == QLatin1String("DejaVu Sans"))
            << family << " is drawn in " << chosen.toStdString();
#else
        EXPECT_TRUE(chosen.contains(QLatin1String("Sans"))) << family << " is drawn in " << chosen.toStdString();
#endif
    }
}

} // namespace
