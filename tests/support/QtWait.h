#pragma once
// Bounded waits for widget tests (the GUI thread keeps handling events while
// the condition is polled), and readable Qt values in failure messages.

#include <QColor>
#include <QString>
#include <QTest>

#include <chrono>
#include <functional>
#include <ostream>

inline bool ProcessEventsUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QColor& colour, std::ostream* os) { *os << colour.name().toStdString(); }
