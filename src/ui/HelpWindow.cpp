#include "HelpWindow.h"

#include "ResourceIcons.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* NavigationButton(const QString& text, QStyle::StandardPixmap icon, const QKeySequence& keys,
                              QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setShortcut(keys);
    button->setToolTip(QStringLiteral("%1 (%2)").arg(text, keys.toString(QKeySequence::NativeText)));
    return button;
}

} // namespace

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    EnsureResources();
    setWindowTitle(QStringLiteral("Ombrel V10.1 Help"));
    setAttribute(Qt::WA_DeleteOnClose, false);   // shown again as it was left

    m_back = NavigationButton(QStringLiteral("Back"), QStyle::SP_ArrowBack, QKeySequence::Back, this);
    m_forward = NavigationButton(QStringLiteral("Forward"), QStyle::SP_ArrowForward, QKeySequence::Forward, this);
    m_home = NavigationButton(QStringLiteral("Home"), QStyle::SP_DirHomeIcon, QKeySequence(Qt::ALT | Qt::Key_Home),
                              this);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(true);   // web links go to the browser, if there is one

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addWidget(m_home);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_browser);

    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_home, &QToolButton::clicked, m_browser, &QTextBrowser::home);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_browser->setSource(HomePage());
    resize(720, 600);
}

void CHelpWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape closes it, as it closes the program's other windows.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

QUrl CHelpWindow::HomePage()
{
    return QUrl(QStringLiteral("qrc:/help/index.html"));
}
