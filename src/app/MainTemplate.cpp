#include "MainTemplate.h"

#include "ResourceIcons.h"

namespace {

constexpr unsigned kEditStyle = STYLE_BORDER | STYLE_TABSTOP;

constexpr std::array kMainControls{
    ControlTemplate{IDC_BUTTON_UPLOAD, ControlKind::PushButton, "Upload", 7, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_SAVE, ControlKind::PushButton, "Save", 62, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_CLEAR, ControlKind::PushButton, "Clear", 117, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_PRINT, ControlKind::PushButton, "Print", 172, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_PREVIEW, ControlKind::PushButton, "Preview", 227, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_HELP, ControlKind::PushButton, "Help", 282, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_EXIT, ControlKind::PushButton, "Exit", 337, 7, 55, 30, STYLE_TABSTOP},
    ControlTemplate{IDC_EDIT_COMPANY, ControlKind::Edit, "", 88, 54, 292, 12, kEditStyle},
    ControlTemplate{IDC_EDIT_USER, ControlKind::Edit, "", 88, 71, 292, 12, kEditStyle},
    ControlTemplate{IDC_EDIT_NOTE, ControlKind::Edit, "", 88, 89, 292, 12, kEditStyle},
    ControlTemplate{IDC_STATIC, ControlKind::GroupBox, "", 7, 41, 386, 69, STYLE_NONE},
    ControlTemplate{IDC_STATIC_COMPANY, ControlKind::Static, "Company Name:", 19, 55, 54, 8, STYLE_NONE},
    ControlTemplate{IDC_STATIC_USER, ControlKind::Static, "User Name:", 19, 72, 38, 8, STYLE_NONE},
    ControlTemplate{IDC_STATIC_NOTE, ControlKind::Static, "Note:", 19, 90, 19, 8, STYLE_NONE},
    ControlTemplate{IDC_LIST_DATA, ControlKind::ListView, "", 7, 128, 386, 181, STYLE_BORDER | STYLE_TABSTOP},
    ControlTemplate{IDC_STATIC_DATA, ControlKind::Static, "Data area:", 14, 113, 33, 8, STYLE_NONE},
    ControlTemplate{IDC_PROGRESS, ControlKind::ProgressBar, "", 56, 114, 280, 9, STYLE_BORDER},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "/", 363, 114, 8, 8, STYLE_NONE},
    ControlTemplate{IDC_STATIC_TOTAL, ControlKind::Static, "", 367, 114, 26, 8, STYLE_NONE},
    ControlTemplate{IDC_STATIC_RECEIVED, ControlKind::Static, "", 338, 114, 23, 8, STYLE_RIGHT},
};

} // namespace

const DialogTemplate kMainTemplate{102, "Ombrel V10.1 ", "Microsoft Sans Serif", 10, 401, 316, kMainControls};

const std::array<ButtonSkin, 7> kButtonSkins{{
    {IDC_BUTTON_UPLOAD, IDI_UPLOAD, 28, "Read Data"},
    {IDC_BUTTON_SAVE, IDI_SAVE, 28, "Save Data"},
    {IDC_BUTTON_HELP, IDI_HELP, 50, "Help"},
    {IDC_BUTTON_PRINT, IDI_PRINT, 35, "Print"},
    {IDC_BUTTON_PREVIEW, IDI_PREVIEW, 30, "Print Preview"},
    {IDC_BUTTON_CLEAR, IDI_CLEAR, 30, "Clear Data"},
    {IDC_BUTTON_EXIT, IDI_EXIT, 28, "Exit"},
}};

const std::array<LabelColor, 6> kLabelColors{{
    {IDC_STATIC_TOTAL, qRgb(255, 0, 0)},
    {IDC_STATIC_RECEIVED, qRgb(0, 0, 255)},
    {IDC_STATIC_COMPANY, qRgb(0, 0, 255)},
    {IDC_STATIC_USER, qRgb(0, 0, 255)},
    {IDC_STATIC_NOTE, qRgb(0, 0, 255)},
    {IDC_STATIC_DATA, qRgb(0, 0, 255)},
}};

// "Ref" is one pixel narrower than its neighbours, as the operators know it.
const std::array<ListColumn, COLUMN_COUNT> kListColumns{{
    {"No.", 80},
    {"WaveLength", 170},
    {"Power", 170},
    {"Ref", 169},
    {"Frequency", 170},
}};
