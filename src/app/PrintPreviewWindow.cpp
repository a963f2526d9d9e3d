#include "PrintPreviewWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSpinBox>
#include <QToolBar>

namespace {

// Qt's own preview pictures, where the desktop theme has none.
QIcon PreviewIcon(const char* themeName, const char* qtPicture)
{
    const QString fallback = QStringLiteral(":/qt-project.org/dialogs/qprintpreviewdialog/images/%1-24.png")
                                 .arg(QLatin1String(qtPicture));
    return QIcon::fromTheme(QLatin1String(themeName),
                            QFile::exists(fallback) ? QIcon(fallback) : QIcon());
}

} // namespace

CPrintPreviewWindow::CPrintPreviewWindow(PagePainter painter)
    : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)), m_painter(std::move(painter))
{
    setWindowTitle(QStringLiteral("Print Preview"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Without a printer the pages are those of a PDF file, so the preview
    // still shows what a print to file gives.
    if (QPrinterInfo::defaultPrinter().isNull())
        m_printer->setOutputFormat(QPrinter::PdfFormat);

    m_preview = new QPrintPreviewWidget(m_printer.get(), this);
    setCentralWidget(m_preview);
    connect(m_preview, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* printer) { m_painter(*printer); });
    connect(m_preview, &QPrintPreviewWidget::previewChanged, this, &CPrintPreviewWindow::ShowCurrentPage);
    CreateToolBar();
    m_preview->setZoomMode(QPrintPreviewWidget::FitInView);
}

CPrintPreviewWindow::~CPrintPreviewWindow() = default;

void CPrintPreviewWindow::CreateToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Print Preview"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    bar->addAction(PreviewIcon("go-first", "go-first"), QStringLiteral("First"), this, [this] { GoToPage(1); });
    bar->addAction(PreviewIcon("go-previous", "go-previous"), QStringLiteral("Previous"), this,
                   [this] { GoToPage(m_preview->currentPage() - 1); });
    m_pageNumber = new QSpinBox(bar);
    m_pageNumber->setMinimum(1);
    m_pageNumber->setAccessibleName(QStringLiteral("Page"));
    connect(m_pageNumber, &QSpinBox::valueChanged, this, &CPrintPreviewWindow::GoToPage);
    bar->addWidget(m_pageNumber);
    m_pageTotal = new QLabel(bar);
    bar->addWidget(m_pageTotal);
    bar->addAction(PreviewIcon("go-next", "go-next"), QStringLiteral("Next"), this,
                   [this] { GoToPage(m_preview->currentPage() + 1); });
    bar->addAction(PreviewIcon("go-last", "go-last"), QStringLiteral("Last"), this,
                   [this] { GoToPage(m_preview->pageCount()); });
    bar->addSeparator();

    bar->addAction(PreviewIcon("zoom-in", "zoom-in"), QStringLiteral("Zoom in"), m_preview,
                   [this] { m_preview->zoomIn(); });
    bar->addAction(PreviewIcon("zoom-out", "zoom-out"), QStringLiteral("Zoom out"), m_preview,
                   [this] { m_preview->zoomOut(); });
    auto* fit = new QActionGroup(this);
    QAction* fitWidth = bar->addAction(PreviewIcon("zoom-fit-width", "fit-width"), QStringLiteral("Fit width"), this,
                                       [this] { m_preview->fitToWidth(); });
    QAction* fitPage = bar->addAction(PreviewIcon("zoom-fit-best", "fit-page"), QStringLiteral("Fit page"), this,
                                      [this] { m_preview->fitInView(); });
    for (QAction* action : {fitWidth, fitPage}) {
        action->setCheckable(true);
        fit->addAction(action);
    }
    fitPage->setChecked(true);
    bar->addSeparator();

    auto* orientation = new QActionGroup(this);
    QAction* portrait = bar->addAction(PreviewIcon("", "layout-portrait"), QStringLiteral("Portrait"), this,
                                       [this] { m_preview->setPortraitOrientation(); });
    QAction* landscape = bar->addAction(PreviewIcon("", "layout-landscape"), QStringLiteral("Landscape"), this,
                                        [this] { m_preview->setLandscapeOrientation(); });
    for (QAction* action : {portrait, landscape}) {
        action->setCheckable(true);
        orientation->addAction(action);
    }
    (m_printer->pageLayout().orientation() == QPageLayout::Landscape ? landscape : portrait)->setChecked(true);
    bar->addAction(PreviewIcon("document-page-setup", "page-setup"), QStringLiteral("Page setup..."), this,
                   &CPrintPreviewWindow::OnPageSetup);
    bar->addSeparator();

    m_printAction = bar->addAction(PreviewIcon("document-print", "print"), QStringLiteral("Print"), this,
                                   &CPrintPreviewWindow::OnPrint);
    m_printAction->setShortcut(QKeySequence::Print);
    QAction* closeAction = bar->addAction(QStringLiteral("Close"), this, &QWidget::close);
    closeAction->setShortcut(QKeySequence(Qt::Key_Escape));
}

int CPrintPreviewWindow::PageCount() const
{
    return m_preview->pageCount();
}

void CPrintPreviewWindow::Refresh()
{
    m_preview->updatePreview();
}

void CPrintPreviewWindow::OnPageSetup()
{
    QPageSetupDialog dialog(m_printer.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_preview->updatePreview();
}

void CPrintPreviewWindow::OnPrint()
{
    // One request per window, however often the command is given before it closes.
    m_printAction->setEnabled(false);
    emit PrintRequested(m_printer->pageLayout());
}

void CPrintPreviewWindow::GoToPage(int page)
{
    // The preview tells of a new page only when it is scrolled there, not
    // when it is sent there: the page box follows each command itself.
    m_preview->setCurrentPage(page);
    ShowCurrentPage();
}

void CPrintPreviewWindow::ShowCurrentPage()
{
    const QSignalBlocker quiet(m_pageNumber);
    m_pageNumber->setMaximum(std::max(1, m_preview->pageCount()));
    m_pageNumber->setValue(m_preview->currentPage());
    m_pageTotal->setText(QStringLiteral(" / %1 ").arg(m_preview->pageCount()));
}
