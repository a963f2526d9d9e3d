#pragma once

#include <QPointer>
#include <QString>

#include <functional>

class CDlgClearDataOk;
class CDlgMessage;
class QPrinter;
class QUrl;
class QWidget;

// Where the window asks the operator or hands something to the desktop.
// Tests put a recorder in its place.
class IOperatorDialogs {
public:
    virtual ~IOperatorDialogs() = default;

    // OK only, the exclamation icon; details, when given, behind "Show Details...".
    virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                             const QString& details) = 0;
    // The save-as dialog for the CSV report; empty when cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const QString& defaultName) = 0;
    // The clear confirmation; true when the operator pressed OK.
    virtual bool ConfirmClear(QWidget* parent) = 0;
    virtual void ShowClearDone(QWidget* parent) = 0;
    virtual void ShowAbout(QWidget* parent) = 0;
    // The print dialog, titled "Print": printer, pages and copies; true when
    // the operator pressed Print, with printer set up as chosen.
    virtual bool SetUpPrint(QWidget* parent, QPrinter& printer) = 0;
    // Hands a document to the desktop's default handler without waiting for
    // it. `verdict` learns later whether the desktop opened it; it is not
    // called once `context` is gone.
    virtual void OpenUrl(QObject* context, const QUrl& url, std::function<void(bool opened)> verdict) = 0;
    // A question with Yes and No, the application's name as caption; true for Yes.
    virtual bool Confirm(QWidget* parent, const QString& text);
};

class CQtOperatorDialogs : public IOperatorDialogs {
public:
    CQtOperatorDialogs() = default;
    ~CQtOperatorDialogs() override;
    CQtOperatorDialogs(const CQtOperatorDialogs&) = delete;
    CQtOperatorDialogs& operator=(const CQtOperatorDialogs&) = delete;

    void ShowMessage(QWidget* parent, const QString& caption, const QString& text, const QString& details) override;
    QString GetSaveFileName(QWidget* parent, const QString& defaultName) override;
    bool ConfirmClear(QWidget* parent) override;
    void ShowClearDone(QWidget* parent) override;
    void ShowAbout(QWidget* parent) override;
    bool SetUpPrint(QWidget* parent, QPrinter& printer) override;
    void OpenUrl(QObject* context, const QUrl& url, std::function<void(bool opened)> verdict) override;

private:
    // Built once and shown as often as Clear runs; the window owns them.
    QPointer<CDlgMessage> m_dlgConfirmClear;
    QPointer<CDlgClearDataOk> m_dlgClearDone;
};

// The application's name for message captions: the executable's file name
// without its extension.
QString ApplicationName();
