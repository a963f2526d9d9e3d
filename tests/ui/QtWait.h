#pragma once
// Bounded waits for widget tests: the GUI thread keeps handling events while
// the condition is polled.

#include <QTest>

#include <chrono>
#include <functional>

inline bool ProcessEventsUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

#include <QString>

#include <ostream>

// Readable Qt strings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
