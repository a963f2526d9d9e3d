#include "MessageDialogs.h"

#include "ResourceIcons.h"

#include <QAbstractButton>

#include <array>

namespace {

constexpr std::array kAboutControls{
    ControlTemplate{IDC_STATIC, ControlKind::IconStatic, "", 11, 17, 20, 20, STYLE_NONE, IDR_MAINFRAME},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "VXN7D52 V10.1 Ombrel", 40, 10, 121, 8, STYLE_NONE},
    ControlTemplate{IDOK, ControlKind::PushButton, "OK", 178, 7, 50, 16, STYLE_DEFAULT | STYLE_TABSTOP},
    ControlTemplate{IDC_BUTTON_LICENCES, ControlKind::PushButton, "Licences...", 178, 28, 50, 16, STYLE_TABSTOP},
};

constexpr std::array kConfirmClearControls{
    ControlTemplate{IDOK, ControlKind::PushButton, "OK", 25, 39, 29, 14, STYLE_DEFAULT | STYLE_TABSTOP},
    ControlTemplate{IDCANCEL, ControlKind::PushButton, "Cancel", 63, 39, 29, 14, STYLE_TABSTOP},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "Are you sure to clear the data?", 12, 17, 93, 8, STYLE_NONE},
};

constexpr std::array kClearDoneControls{
    ControlTemplate{IDOK, ControlKind::PushButton, "OK", 46, 38, 25, 13, STYLE_DEFAULT | STYLE_TABSTOP},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "Clear data successful!", 38, 19, 67, 8, STYLE_NONE},
    ControlTemplate{IDC_STATIC, ControlKind::IconStatic, "", 16, 15, 16, 16, STYLE_NONE, IDI_CLEAR_OK},
};

} // namespace

const DialogTemplate kAboutTemplate{100, "About Ombrel", "MS Shell Dlg", 8, 235, 55, kAboutControls};
const DialogTemplate kConfirmClearTemplate{163, "Message", "Microsoft Sans Serif", 10, 113, 59, kConfirmClearControls};
const DialogTemplate kClearDoneTemplate{164, "Message", "Microsoft Sans Serif", 10, 113, 59, kClearDoneControls};

CDlgMessage::CDlgMessage(QWidget* parent) : CTemplateDialog(kConfirmClearTemplate, parent)
{
    CreateControls();
}

void CDlgMessage::accept()
{
    m_bConfirm = 1;
    CTemplateDialog::accept();
}

void CDlgMessage::reject()
{
    m_bConfirm = 0;
    CTemplateDialog::reject();
}

CDlgClearDataOk::CDlgClearDataOk(QWidget* parent) : CTemplateDialog(kClearDoneTemplate, parent)
{
    CreateControls();
}

CAboutDlg::CAboutDlg(QWidget* parent) : CTemplateDialog(kAboutTemplate, parent)
{
    setWindowIcon(ApplicationIcon());
    CreateControls();
    connect(qobject_cast<QAbstractButton*>(Item(IDC_BUTTON_LICENCES)), &QAbstractButton::clicked, this,
            &CAboutDlg::LicencesRequested);
}
