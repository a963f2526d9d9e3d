// Which help the Help button opens.

#include "HelpLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

struct HelpCase {
    const char* why;
    bool chm;
    bool html;
    const char* expectedEnding;
};

void PrintTo(const HelpCase& row, std::ostream* os) { *os << row.why; }

class HelpLocatorTest : public ::testing::TestWithParam<HelpCase> {};

TEST_P(HelpLocatorTest, PrefersTheHelpFileBesideTheExecutable)
{
    const HelpCase& row = GetParam();
    QTemporaryDir executableDir;
    QTemporaryDir extractRoot;
    if (row.chm)
        Touch(executableDir.filePath(QStringLiteral("Help.chm")));
    if (row.html)
        Touch(executableDir.filePath(QStringLiteral("help/index.html")));
    const QString help = LocateHelp(executableDir.path(), extractRoot.path());
    EXPECT_TRUE(help.endsWith(QLatin1String(row.expectedEnding))) << row.why << ": " << help.toStdString();
    EXPECT_TRUE(QFileInfo::exists(help)) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HelpLocatorTest,
    ::testing::Values(HelpCase{"Help.chm wins when it is there", true, true, "/Help.chm"},
                      HelpCase{"else the HTML help installed beside the executable", false, true, "/help/index.html"},
                      HelpCase{"else the compiled-in help, written out", false, false, "/ombrel-help/index.html"}));

TEST(BuiltInHelp, IsTheRealHelpWithItsStyleSheet)
{
    QTemporaryDir folder;
    const QString index = ExtractBuiltInHelp(folder.filePath(QStringLiteral("help")));
    ASSERT_FALSE(index.isEmpty());
    QFile file(index);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(file.readAll());
    for (const char* topic : {"Connecting the meter", "dialout", "Upload", "Save", "Print and Preview", "Clear",
                              "No data?or All serial ports fail,please check!"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(topic))) << topic;
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("help/help.css"))));
    EXPECT_FALSE(ExtractBuiltInHelp(folder.filePath(QStringLiteral("help"))).isEmpty()) << "writing it again works";
}

} // namespace
