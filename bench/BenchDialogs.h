#pragma once
// The operator's side for the window benchmarks: no question is ever asked,
// the save-as dialog answers with a fixed path, the print dialog is
// cancelled, messages go to stderr.

#include "OperatorDialogs.h"

#include <QUrl>

#include <cstdio>

class CBenchDialogs : public IOperatorDialogs {
public:
    void ShowMessage(QWidget*, const QString&, const QString& text, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString GetSaveFileName(QWidget*, const QString&) override { return saveAs; }
    bool ConfirmClear(QWidget*) override { return false; }
    void ShowClearDone(QWidget*) override {}
    void ShowAbout(QWidget*) override {}
    bool SetUpPrint(QWidget*, QPrinter&) override { return false; }
    void OpenUrl(QObject*, const QUrl&, std::function<void(bool)> verdict) override { verdict(true); }

    QString saveAs;
};
