#include "ResourceIcons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <map>

// The resources live in a static library: nothing else references them, so
// the linker would drop them unless initialised by name (at global scope,
// where the resource's initialiser is declared).
void EnsureResources()
{
    static const bool initialised = [] {
        Q_INIT_RESOURCE(ombrel);
        return true;
    }();
    (void)initialised;
}

namespace {

const char* ResourcePath(int resourceId)
{
    static const std::map<int, const char*> paths{
        {IDR_MAINFRAME, ":/icons/app.svg"},   {IDI_SAVE, ":/icons/save.svg"},
        {IDI_UPLOAD, ":/icons/upload.svg"},   {IDI_EXIT, ":/icons/exit.svg"},
        {IDI_HELP, ":/icons/help.svg"},       {IDI_PRINT, ":/icons/print.svg"},
        {IDI_PREVIEW, ":/icons/preview.svg"}, {IDI_CLEAR, ":/icons/clear.svg"},
        {IDI_CLEAR_OK, ":/icons/tick.svg"},
    };
    const auto found = paths.find(resourceId);
    return found == paths.end() ? nullptr : found->second;
}

} // namespace

QIcon LoadResourceIcon(int resourceId, std::initializer_list<int> sizes)
{
    EnsureResources();
    const char* path = ResourcePath(resourceId);
    if (path == nullptr)
        return {};
    QSvgRenderer renderer{QString::fromLatin1(path)};
    if (!renderer.isValid())
        return {};

    // Rendered at each size rather than scaled from one bitmap, so small sizes stay crisp.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QIcon icon;
    for (const int size : sizes) {
        const int device = qRound(size * ratio);
        QPixmap pixmap(device, device);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, device, device));
        painter.end();
        pixmap.setDevicePixelRatio(ratio);
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ApplicationIcon()
{
    return LoadResourceIcon(IDR_MAINFRAME, {16, 32, 48});
}
