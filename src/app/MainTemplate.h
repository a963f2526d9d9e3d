#pragma once
// Application shell: the main window, its template and tables, the status bar
// and timer, and the application object. Logic that needs no window lives
// below in link, data and report.

#include "DialogTemplate.h"
#include "RowTexts.h"

#include <QRgb>

#include <array>

// Control IDs of template 102.
enum MainControlId {
    IDC_BUTTON_UPLOAD = 1000,
    IDC_BUTTON_SAVE = 1001,
    IDC_EDIT_COMPANY = 1002,
    IDC_STATIC_COMPANY = 1003,
    IDC_BUTTON_CLEAR = 1004,
    IDC_BUTTON_PREVIEW = 1005,
    IDC_BUTTON_HELP = 1006,
    IDC_BUTTON_PRINT = 1007,
    IDC_BUTTON_EXIT = 1008,
    IDC_STATIC_USER = 1009,
    IDC_EDIT_USER = 1010,
    IDC_STATIC_NOTE = 1011,
    IDC_EDIT_NOTE = 1012,
    IDC_LIST_DATA = 1014,
    IDC_STATIC_DATA = 1015,
    IDC_PROGRESS = 1016,
    IDC_STATIC_TOTAL = 1017,
    IDC_STATIC_RECEIVED = 1019,
};

extern const DialogTemplate kMainTemplate;

// The skin of each command button, in the order the window applies it.
struct ButtonSkin {
    int id;
    int iconId;
    int iconSize;   // pixels, the same for the hot and the normal state
    const char* tip;
};
extern const std::array<ButtonSkin, 7> kButtonSkins;

inline constexpr QRgb kTextHotColor = qRgb(255, 0, 0);
inline constexpr QRgb kTextNormalColor = qRgb(0, 64, 128);

// Label text colours; every other control keeps the window's.
struct LabelColor {
    int id;
    QRgb color;
};
extern const std::array<LabelColor, 6> kLabelColors;

struct ListColumn {
    const char* title;
    int width;   // pixels
};
extern const std::array<ListColumn, COLUMN_COUNT> kListColumns;

// Status bar panes end at these pixel positions; the last reaches the edge.
inline constexpr std::array<int, 2> kStatusPaneEdges{450, 650};

inline constexpr const char* kAboutMenuText = "&About Ombrel...";   // string 101
