#pragma once

#include <QMainWindow>
#include <QPageLayout>

#include <functional>
#include <memory>

class QAction;
class QPrinter;
class QPrintPreviewWidget;
class QSpinBox;
class QLabel;

// The "Print Preview" window: the report's pages as they will print on the
// default printer (a PDF page where there is none), with page navigation,
// zoom, orientation and page setup. Its Print command does not print by
// itself: it asks the main window to run its own print path, once.
class CPrintPreviewWindow : public QMainWindow {
    Q_OBJECT

public:
    // Draws the whole report on the printer it is handed.
    using PagePainter = std::function<void(QPrinter& printer)>;

    explicit CPrintPreviewWindow(PagePainter painter);
    ~CPrintPreviewWindow() override;

    QPrintPreviewWidget* Preview() const { return m_preview; }
    QAction* PrintAction() const { return m_printAction; }
    QSpinBox* PageBox() const { return m_pageNumber; }
    int PageCount() const;

public slots:
    // Draws the pages again, e.g. after a header field changed.
    void Refresh();

signals:
    // The operator chose Print; carries the page as set up in the preview.
    void PrintRequested(const QPageLayout& pageLayout);

private:
    void CreateToolBar();
    void OnPageSetup();
    void OnPrint();
    void GoToPage(int page);
    void ShowCurrentPage();

    std::unique_ptr<QPrinter> m_printer;
    PagePainter m_painter;
    QPrintPreviewWidget* m_preview = nullptr;
    QSpinBox* m_pageNumber = nullptr;
    QLabel* m_pageTotal = nullptr;
    QAction* m_printAction = nullptr;
};
