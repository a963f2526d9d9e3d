#include "OperatorDialogs.h"

#include "MessageDialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QUrl>

namespace {

// A dialog kept for its parent's lifetime, built again for another parent.
template <class Dialog>
Dialog* DialogFor(QPointer<Dialog>& dialog, QWidget* parent)
{
    if (dialog && dialog->parentWidget() != parent) {
        delete dialog.data();
    }
    if (!dialog)
        dialog = new Dialog(parent);
    return dialog.data();
}

} // namespace

CQtOperatorDialogs::~CQtOperatorDialogs()
{
    delete m_dlgConfirmClear.data();
    delete m_dlgClearDone.data();
}

void CQtOperatorDialogs::ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                                     const QString& details)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

QString CQtOperatorDialogs::GetSaveFileName(QWidget* parent, const QString& defaultName)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("csv (comma separated files)(*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));   // a name without extension gets ".csv"
    dialog.selectFile(defaultName);
    // Overwriting an existing file is confirmed by the dialog itself.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

bool CQtOperatorDialogs::ConfirmClear(QWidget* parent)
{
    CDlgMessage* dialog = DialogFor(m_dlgConfirmClear, parent);
    dialog->DoModal();
    return dialog->Confirm() == 1;
}

void CQtOperatorDialogs::ShowClearDone(QWidget* parent)
{
    DialogFor(m_dlgClearDone, parent)->DoModal();
}

void CQtOperatorDialogs::ShowAbout(QWidget* parent)
{
    CAboutDlg about(parent);
    about.DoModal();
}

bool CQtOperatorDialogs::SetUpPrint(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print"));
    return dialog.exec() == QDialog::Accepted;
}

void CQtOperatorDialogs::OpenUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

QString ApplicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
