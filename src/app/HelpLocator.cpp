#include "HelpLocator.h"

#include "ResourceIcons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr const char* kHelpFiles[] = {"index.html", "help.css"};
}

QString InstalledHelpFolder()
{
    return QStringLiteral(OMBREL_HELP_FROM_BINDIR);
}

QString ExtractBuiltInHelp(const QString& folder)
{
    EnsureResources();
    if (!QDir().mkpath(folder))
        return {};
    for (const char* name : kHelpFiles) {
        const QString target = QDir(folder).filePath(QLatin1String(name));
        QFile::remove(target);   // an older copy may be read-only after a copy from resources
        if (!QFile::copy(QStringLiteral(":/help/") + QLatin1String(name), target))
            return {};
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                          | QFileDevice::ReadOther);
    }
    return QDir(folder).filePath(QStringLiteral("index.html"));
}

QString LocateHelp(const QString& executableDir, const QString& extractRoot)
{
    const QDir dir(executableDir);
    const QString chm = dir.filePath(QStringLiteral("Help.chm"));
    if (QFileInfo::exists(chm))
        return chm;
    for (const QString& folder : {QStringLiteral("help"), InstalledHelpFolder()}) {
        const QString html = QDir::cleanPath(dir.filePath(folder + QStringLiteral("/index.html")));
        if (QFileInfo::exists(html))
            return html;
    }
    return ExtractBuiltInHelp(QDir(extractRoot).filePath(QStringLiteral("ombrel-help")));
}

QString LocateNotices(const QString& executableDir)
{
    const QDir dir(executableDir);
    for (const QString& folder : {QStringLiteral("."), QStringLiteral(OMBREL_NOTICES_FROM_BINDIR)}) {
        const QString notices = QDir::cleanPath(dir.filePath(folder + QStringLiteral("/THIRD-PARTY-NOTICES.txt")));
        if (QFileInfo::exists(notices))
            return notices;
    }
    return {};
}
