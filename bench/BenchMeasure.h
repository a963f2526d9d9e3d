#pragma once
// What the window benchmarks measure with: elapsed milliseconds, the median
// of several runs, and a watch that notes when a widget has painted.

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <vector>

inline double Milliseconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Install as an event filter on the widget watched; clear `painted` before the work.
class CPaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};
