// Which help the Help button opens.

#include "HelpLocator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(HelpLocator, PrefersTheHelpBesideTheExecutableElseWritesOutTheBuiltInOne)
{
    QTemporaryDir executableDir, extractRoot;
    const QString dir = executableDir.path();
    const auto locate = [&] { return LocateHelp(dir, extractRoot.path()); };
    EXPECT_EQ(locate(), extractRoot.filePath(QStringLiteral("ombrel-help/index.html"))) << "none beside it";
    EXPECT_TRUE(QFile::exists(locate())) << "the compiled-in help is written out, and again the second time";

    ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("help")));
    ASSERT_TRUE(QFile(dir + QStringLiteral("/help/index.html")).open(QIODevice::WriteOnly));
    EXPECT_EQ(locate(), dir + QStringLiteral("/help/index.html")) << "the HTML help installed beside the executable";
    ASSERT_TRUE(QFile(dir + QStringLiteral("/Help.chm")).open(QIODevice::WriteOnly));
    EXPECT_EQ(locate(), dir + QStringLiteral("/Help.chm")) << "Help.chm wins over both";
}

} // namespace
