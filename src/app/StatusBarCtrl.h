#pragma once

#include <QWidget>

#include <array>

class QLabel;

// The window's three-pane status bar along its bottom edge. Panes end at
// fixed pixel positions; the last one reaches the right edge.
class CStatusBarCtrl : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPaneCount = 3;

    explicit CStatusBarCtrl(QWidget* parent = nullptr);

    void FitHeightToFont();   // after a change of font
    void SetParts(const std::array<int, kPaneCount - 1>& rightEdges);
    void SetText(int pane, const QString& text);
    QString GetText(int pane) const;
    QRect PaneRect(int pane) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlacePanes();

    std::array<QLabel*, kPaneCount> m_panes{};
    std::array<int, kPaneCount - 1> m_rightEdges{};
};
