// Which help the Help button opens.

#include "HelpLocator.h"

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
// that lies nearest to the program wins.
TEST(HelpLocator, PrefersTheHelpNearestTheExecutableElseWritesOutTheBuiltInOne)
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
}

} // namespace
