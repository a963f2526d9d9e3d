#pragma once
// Stands in for the operator: records what the window asks and answers as
// told. Everything here runs on the GUI thread.

#include "OperatorDialogs.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

class CRecordingDialogs : public IOperatorDialogs {
public:
    struct Message {
        QString caption;
        QString text;
        QString details;
    };

    void ShowMessage(QWidget*, const QString& caption, const QString& text, const QString& details) override
    {
        messages.push_back({caption, text, details});
        if (onMessage)
            onMessage();
    }
    QString GetSaveFileName(QWidget*, const QString& defaultName) override
    {
        offeredNames.push_back(defaultName);
        return saveAs;
    }
    bool ConfirmClear(QWidget*) override
    {
        ++confirmCount;
        return confirmAnswer;
    }
    void ShowClearDone(QWidget*) override
    {
        ++clearDoneCount;
        if (onClearDone)
            onClearDone();
    }
    void ShowAbout(QWidget*) override { ++aboutCount; }
    void OpenUrl(const QUrl& url) override { openedUrls.push_back(url); }

    QStringList Texts() const
    {
        QStringList texts;
        for (const Message& message : messages)
            texts << message.text;
        return texts;
    }

    std::vector<Message> messages;
    std::function<void()> onMessage;
    QString saveAs;                   // what the save-as dialog answers; empty = cancelled
    std::vector<QString> offeredNames;
    bool confirmAnswer = true;
    int confirmCount = 0;
    int clearDoneCount = 0;
    std::function<void()> onClearDone;
    int aboutCount = 0;
    std::vector<QUrl> openedUrls;
};
