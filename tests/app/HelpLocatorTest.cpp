// Which help the Help button opens, and which notices About shows.

#include "HelpLocator.h"
#include "ResourceIcons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool MakeFile(const QString& path)
{
    return QDir().mkpath(QFileInfo(path).path()) && QFile(path).open(QIODevice::WriteOnly);
}

// A program installed (or unpacked) under root, in its bin folder; the help
// and the notices that lie nearest to the program win.
TEST(HelpLocator, PrefersTheHelpAndTheNoticesNearestTheExecutableElseWritesOutTheBuiltInHelp)
{
    QTemporaryDir root, extractRoot;
    const QString bin = root.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    const auto locate = [&] { return LocateHelp(bin, extractRoot.path()); };
    EXPECT_EQ(locate(), extractRoot.filePath(QStringLiteral("ombrel-help/index.html"))) << "no help files at all";
    EXPECT_TRUE(QFile::exists(locate())) << "the compiled-in help is written out, and again the second time";

    const QString installed = QDir::cleanPath(bin + '/' + InstalledHelpFolder() + QStringLiteral("/index.html"));
    ASSERT_TRUE(installed.startsWith(root.path())) << "the data folder lies beside bin, not elsewhere";
    ASSERT_TRUE(MakeFile(installed));
    EXPECT_EQ(locate(), installed) << "the help installed in the data folder beside bin";

    ASSERT_TRUE(MakeFile(bin + QStringLiteral("/help/index.html")));
    EXPECT_EQ(locate(), bin + QStringLiteral("/help/index.html")) << "the HTML help beside the executable";
    ASSERT_TRUE(MakeFile(bin + QStringLiteral("/Help.chm")));
    EXPECT_EQ(locate(), bin + QStringLiteral("/Help.chm")) << "Help.chm wins over all";

    // The notices beside the program (Windows, a build folder) win over the
    // installed ones in the data folder beside bin; the compiled-in copy says
    // under which licences Ombrel and Qt come.
    EXPECT_EQ(LocateNotices(bin), QString()) << "none anywhere";
#ifndef Q_OS_WIN
    const QString installedNotices = root.filePath(QStringLiteral("share/ombrel/THIRD-PARTY-NOTICES.txt"));
    ASSERT_TRUE(MakeFile(installedNotices));
    EXPECT_EQ(LocateNotices(bin), installedNotices) << "installed in /usr/share/ombrel for /usr/bin/ombrel";
#endif
    ASSERT_TRUE(MakeFile(bin + QStringLiteral("/THIRD-PARTY-NOTICES.txt")));
    EXPECT_EQ(LocateNotices(bin), bin + QStringLiteral("/THIRD-PARTY-NOTICES.txt"));

    EnsureResources();
    QFile builtIn(QStringLiteral(":/THIRD-PARTY-NOTICES.txt"));
    ASSERT_TRUE(builtIn.open(QIODevice::ReadOnly));
    const QByteArray text = builtIn.readAll();
    EXPECT_TRUE(text.contains("GPL-3.0-or-later"));
    EXPECT_TRUE(text.contains("LGPL-3.0-only"));
    EXPECT_TRUE(text.contains("CLI11"));
}

} // namespace
