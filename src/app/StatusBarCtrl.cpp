#include "StatusBarCtrl.h"

#include <QLabel>

#include <algorithm>

namespace {
constexpr int kPaneGap = 2;   // pixels between two sunken panes
}

CStatusBarCtrl::CStatusBarCtrl(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);   // it lies over the bottom edge of the window's controls
    for (QLabel*& pane : m_panes) {
        pane = new QLabel(this);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setTextFormat(Qt::PlainText);
        pane->setIndent(3);
    }
    FitHeightToFont();
}

void CStatusBarCtrl::FitHeightToFont()
{
    setFixedHeight(fontMetrics().height() + 4);
}

void CStatusBarCtrl::SetParts(const std::array<int, kPaneCount - 1>& rightEdges)
{
    m_rightEdges = rightEdges;
    PlacePanes();
}

void CStatusBarCtrl::SetText(int pane, const QString& text)
{
    if (pane >= 0 && pane < kPaneCount)
        m_panes[static_cast<std::size_t>(pane)]->setText(text);
}

QString CStatusBarCtrl::GetText(int pane) const
{
    return pane >= 0 && pane < kPaneCount ? m_panes[static_cast<std::size_t>(pane)]->text() : QString();
}

QRect CStatusBarCtrl::PaneRect(int pane) const
{
    return pane >= 0 && pane < kPaneCount ? m_panes[static_cast<std::size_t>(pane)]->geometry() : QRect();
}

void CStatusBarCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlacePanes();
}

void CStatusBarCtrl::PlacePanes()
{
    int left = 0;
    for (int pane = 0; pane < kPaneCount; ++pane) {
        const int right = pane < kPaneCount - 1 ? m_rightEdges[static_cast<std::size_t>(pane)] : width();
        const int gap = pane < kPaneCount - 1 ? kPaneGap : 0;
        m_panes[static_cast<std::size_t>(pane)]->setGeometry(left, 1, std::max(0, right - left - gap), height() - 1);
        left = right;
    }
}
