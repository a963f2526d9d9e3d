#pragma once

#include "DialogTemplate.h"

// Templates of the small dialogs: 100 the About box, 163 the clear
// confirmation, 164 the clear notice.
extern const DialogTemplate kAboutTemplate;
extern const DialogTemplate kConfirmClearTemplate;
extern const DialogTemplate kClearDoneTemplate;

// "Are you sure to clear the data?" with OK and Cancel. m_bConfirm holds the
// latest answer: 1 after OK (or Enter), 0 after Cancel, Escape or the close box.
class CDlgMessage : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CDlgMessage(QWidget* parent = nullptr);

    int Confirm() const { return m_bConfirm; }

public slots:
    void accept() override;   // OnButtonOK
    void reject() override;   // OnButtonCancel

private:
    int m_bConfirm = 0;
};

// "Clear data successful!" with the green tick; every way of closing it is alike.
class CDlgClearDataOk : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CDlgClearDataOk(QWidget* parent = nullptr);
};

// The Licences... button of the About box.
inline constexpr int IDC_BUTTON_LICENCES = 1020;

// The product line and the application icon; Licences... asks for the
// licence and third-party notices.
class CAboutDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

signals:
    void LicencesRequested();
};
