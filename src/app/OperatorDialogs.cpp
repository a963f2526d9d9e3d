#include "OperatorDialogs.h"

#include "HelpLocator.h"
#include "MessageDialogs.h"
#include "ResourceIcons.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
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
    if (!details.isEmpty()) {
        box.setDetailedText(details);
        // Return answers the box, whichever button has the focus; only a click
        // or Space on "Show Details..." opens the details.
        for (QAbstractButton* button : box.buttons())
            if (auto* push = qobject_cast<QPushButton*>(button); push && box.buttonRole(button) == QMessageBox::ActionRole)
                push->setAutoDefault(false);
    }
    box.setDefaultButton(QMessageBox::Ok);
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

bool IOperatorDialogs::Confirm(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, ApplicationName(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
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
    // The notices beside the program open in the desktop's text viewer; the
    // compiled-in copy shows in a window of our own when that cannot be.
    QObject::connect(&about, &CAboutDlg::LicencesRequested, &about, [this, parent] {
        const QString notices = LocateNotices(QCoreApplication::applicationDirPath());
        const auto showOurs = [parent](bool opened) {
            if (opened)
                return;
            EnsureResources();
            QFile text(QStringLiteral(":/THIRD-PARTY-NOTICES.txt"));
            auto* window = new QTextBrowser(parent);
            window->setWindowFlag(Qt::Window);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->setWindowTitle(QStringLiteral("Licences"));
            window->setPlainText(text.open(QIODevice::ReadOnly) ? QString::fromUtf8(text.readAll()) : QString());
            window->resize(640, 480);
            window->show();
        };
        if (notices.isEmpty())
            showOurs(false);
        else
            OpenUrl(parent, QUrl::fromLocalFile(notices), showOurs);
    });
    about.DoModal();
}

bool CQtOperatorDialogs::SetUpPrint(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print"));
    // Print to File proposes the report's name in the documents folder (the
    // file field of Qt's own dialog; a platform's native dialog has none).
    if (auto* file = dialog.findChild<QLineEdit*>(QStringLiteral("filename")))
        file->setText(QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                          .filePath(QStringLiteral("Data Report.pdf")));
    return dialog.exec() == QDialog::Accepted;
}

void CQtOperatorDialogs::OpenUrl(QObject* context, const QUrl& url, std::function<void(bool opened)> verdict)
{
#ifdef Q_OS_WIN
    const bool opened = QDesktopServices::openUrl(url);   // the shell's answer comes at once
    QMetaObject::invokeMethod(context, [verdict = std::move(verdict), opened] { verdict(opened); },
                              Qt::QueuedConnection);
#else
    // The desktop's opener says by its exit status whether anything could open the
    // document ("no method available" on a bare machine); merely starting it proves
    // nothing. It may also run as long as the viewer it starts, so it is not awaited.
    // It has no parent: closing the window must not end a viewer the opener runs.
    auto* opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({QString::fromUtf8(url.toEncoded())});   // as the desktop services hand it over
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, context, [verdict](int exitCode, QProcess::ExitStatus status) {
        verdict(status == QProcess::NormalExit && exitCode == 0);
    });
    QObject::connect(opener, &QProcess::errorOccurred, context, [verdict](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            verdict(false);
    });
    QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            opener->deleteLater();
    });
    opener->start();
#endif
}

QString ApplicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
