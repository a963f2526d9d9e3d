// Who may open a port, why a port cannot be used, and what the operator is
// told about it. The unprivileged cases run the test binary again as the
// user nobody (uid 65534) through setpriv.

#include "PortFailure.h"
#include "PtyPeer.h"
#include "SerialPort.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr const char* kChildTest = "ChildProcess.DISABLED_ProbeAsUnprivilegedUser";

std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

int ExclusiveFlag(int ttyFd) {
    int exclusive = -1;
    ::ioctl(ttyFd, TIOCGEXCL, &exclusive);
    return exclusive;
}

// A scratch folder that uid 65534 can enter and that goes away with the test.
class CScratchDir {
public:
    CScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "ombrel-port-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
            fs::permissions(m_path, fs::perms(0755));
        }
    }
    ~CScratchDir() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

struct ChildRun {
    bool ran = false;      // the child got as far as running its test
    bool passed = false;
    std::string output;
};

// Runs the child test as uid/gid 65534 without supplementary groups. The
// binary is copied to a world-readable place: the build folder may not be.
ChildRun RunAsNobody(const std::string& portPath, const std::string& expect) {
    ChildRun run;
    CScratchDir scratch;
    const fs::path binary = scratch.Path() / "link_port_tests";
    std::error_code error;
    fs::copy_file("/proc/self/exe", binary, error);
    if (error)
        return run;
    fs::permissions(binary, fs::perms(0755), error);

    const std::string command = "timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups env OMBREL_CHILD_PORT='" +
                                portPath + "' OMBREL_CHILD_EXPECT=" + expect + " '" + binary.string() +
                                "' --gtest_also_run_disabled_tests --gtest_filter=" + kChildTest + " 2>&1";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr)
        return run;
    std::array<char, 512> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), child) != nullptr)
        run.output += chunk.data();
    const int status = ::pclose(child);
    run.ran = run.output.find("[ RUN      ] " + std::string(kChildTest)) != std::string::npos;
    run.passed = run.ran && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                 run.output.find("[  PASSED  ] 1 test") != std::string::npos;
    return run;
}

bool CanSwitchToNobody(std::string& why) {
    if (::geteuid() != 0) {
        why = "needs root to run a child as uid 65534";
        return false;
    }
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0) {
        why = "setpriv is not installed";
        return false;
    }
    return true;
}

}  // namespace

// What the unprivileged child checks; it runs only when started by the tests below.
TEST(ChildProcess, DISABLED_ProbeAsUnprivilegedUser) {
    const char* portPath = std::getenv("OMBREL_CHILD_PORT");
    const char* expectText = std::getenv("OMBREL_CHILD_EXPECT");
    ASSERT_NE(portPath, nullptr);
    ASSERT_NE(expectText, nullptr);
    ASSERT_EQ(::geteuid(), kNobody);
    const std::string expect = expectText;

    CSerialPort port;
    if (expect == "free") {
        EXPECT_EQ(port.ProbePort(portPath), 0) << port.LastFailureDetail();
        return;
    }
    EXPECT_EQ(port.ProbePort(portPath), 1);
    if (expect == "busy") {
        EXPECT_EQ(port.LastFailure(), PortFailure::Busy) << port.LastFailureDetail();
        // The tty's exclusive flag refuses the open itself, lock or no lock.
        const int fd = ::open(portPath, O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_LT(fd, 0);
        EXPECT_EQ(errno, EBUSY);
        if (fd >= 0)
            ::close(fd);
    } else {
        EXPECT_EQ(port.LastFailure(), PortFailure::PermissionDenied) << port.LastFailureDetail();
        EXPECT_FALSE(port.LastFailureDetail().empty());
    }
}

TEST(PortAccess, DevicePathTakesBareNamesFromDev) {
    EXPECT_EQ(CSerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(CSerialPort::DevicePath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(CSerialPort::DevicePath("./ttyFake"), "./ttyFake");
}

struct UnusableRow {
    const char* why;
    std::string path;      // empty: a regular file made by the test
    PortFailure failure;
    const char* message;
};
void PrintTo(const UnusableRow& row, std::ostream* out) { *out << row.why; }

class UnusablePort : public ::testing::TestWithParam<UnusableRow> {};

TEST_P(UnusablePort, IsRefusedWithItsReasonAndNoDescriptorLeft) {
    const UnusableRow& row = GetParam();
    CScratchDir scratch;
    std::string path = row.path;
    if (path.empty()) {
        path = (scratch.Path() / "ttyRegularFile").string();
        std::ofstream(path) << "not a serial device\n";
    }
    CRecordingSink messages;
    CSerialPort port(&messages);
    const std::size_t descriptorsBefore = OpenDescriptorCount();

    EXPECT_EQ(port.ProbePort(path), 1);
    EXPECT_EQ(port.LastFailure(), row.failure) << port.LastFailureDetail();
    EXPECT_FALSE(port.LastFailureDetail().empty());

    EXPECT_EQ(port.Open(path), -1);
    EXPECT_EQ(port.LastFailure(), row.failure);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{row.message});
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    PortAccess, UnusablePort,
    ::testing::Values(
        UnusableRow{"a port that is not there", "/dev/ttyOmbrelMissing", PortFailure::Absent,
                    "Open serial port fail！"},
        UnusableRow{"a bare name is looked up under /dev", "ttyOmbrelMissing", PortFailure::Absent,
                    "Open serial port fail！"},
        UnusableRow{"a regular file opens but takes no line settings", "", PortFailure::NotATty,
                    "Set CommState fail！"},
        UnusableRow{"a character device that is no terminal", "/dev/null", PortFailure::NotATty,
                    "Set CommState fail！"}),
    [](const ::testing::TestParamInfo<UnusableRow>& info) { return "Row" + std::to_string(info.index); });

TEST(PortAccess, OpenAndCloseLeaveNoDescriptorBehind) {
    CPtyPeer first;
    CPtyPeer second;
    ASSERT_TRUE(first.IsReady() && second.IsReady());
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    {
        CSerialPort port;
        ASSERT_GE(port.Open(first.SlavePath()), 0);
        // The same object is reopened for every port tried.
        ASSERT_GE(port.Open(second.SlavePath()), 0);
        EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore + 1);
        EXPECT_EQ(port.ProbePort(first.SlavePath()), 0) << "the first port was let go";
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "the destructor closes the port";
}

TEST(PortAccess, HeldPortIsRefusedToASecondOpenEvenForRoot) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.IsReady());
    CSerialPort holder;
    ASSERT_GE(holder.Open(peer.SlavePath()), 0);
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 1);

    CRecordingSink messages;
    CSerialPort second(&messages);
    EXPECT_EQ(second.ProbePort(peer.SlavePath()), 1);
    EXPECT_EQ(second.LastFailure(), PortFailure::Busy);
    EXPECT_EQ(second.Open(peer.SlavePath()), -1);
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"Open serial port fail！"});
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 1) << "a refused open leaves the holder's flag alone";

    holder.Close();
    // The tty lives on through the test's own descriptor; the flag must not.
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 0);
    EXPECT_EQ(second.ProbePort(peer.SlavePath()), 0);
}

TEST(PortAccess, PortHeldExclusivelyWithoutALockIsRefusedAndKeepsItsFlag) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.IsReady());
    ASSERT_EQ(::ioctl(peer.SlaveFd(), TIOCEXCL), 0);   // another program's hold, without flock

    CSerialPort port;
    EXPECT_EQ(port.ProbePort(peer.SlavePath()), 1);
    EXPECT_EQ(port.LastFailure(), PortFailure::Busy);
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 1) << "the holder's flag must not be cleared";
}

TEST(PortAccess, HeldPortIsRefusedToAnUnprivilegedUser) {
    std::string why;
    if (!CanSwitchToNobody(why))
        GTEST_SKIP() << why;
    CPtyPeer peer;
    ASSERT_TRUE(peer.IsReady());
    ASSERT_EQ(::chmod(peer.SlavePath().c_str(), 0666), 0);   // rights are not what refuses here

    CSerialPort holder;
    ASSERT_GE(holder.Open(peer.SlavePath()), 0);
    const ChildRun held = RunAsNobody(peer.SlavePath(), "busy");
    if (!held.ran)
        GTEST_SKIP() << "the test binary cannot run as uid 65534: " << held.output;
    EXPECT_TRUE(held.passed) << held.output;

    holder.Close();
    const ChildRun released = RunAsNobody(peer.SlavePath(), "free");
    EXPECT_TRUE(released.passed) << "closing must clear the exclusive flag\n" << released.output;
}

TEST(PortAccess, DeviceWithoutRightsGivesPermissionDenied) {
    std::string why;
    if (!CanSwitchToNobody(why))
        GTEST_SKIP() << why;
    CPtyPeer peer;
    ASSERT_TRUE(peer.IsReady());
    ASSERT_EQ(::chown(peer.SlavePath().c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(peer.SlavePath().c_str(), 0600), 0);

    const ChildRun run = RunAsNobody(peer.SlavePath(), "denied");
    if (!run.ran)
        GTEST_SKIP() << "the test binary cannot run as uid 65534: " << run.output;
    EXPECT_TRUE(run.passed) << run.output;
}

TEST(PortFailureText, NamesEveryReason) {
    const PortFailure failures[] = {PortFailure::None,     PortFailure::Absent, PortFailure::Busy,
                                    PortFailure::PermissionDenied, PortFailure::NotATty,
                                    PortFailure::NoAnswer, PortFailure::Gone,   PortFailure::Other};
    std::vector<std::string> texts;
    for (PortFailure failure : failures) {
        texts.emplace_back(PortFailureText(failure));
        EXPECT_FALSE(texts.back().empty());
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << "two reasons read alike";
}

TEST(DescribePortAttempts, OneLinePerPortWithReasonAndDetail) {
    const std::vector<PortAttempt> attempts = {
        {"/dev/ttyUSB0", PortFailure::Busy, ""},
        {"/dev/ttyS1", PortFailure::NoAnswer, ""},
        {"/dev/ttyUSB9", PortFailure::Absent, "No such file or directory"},
    };
    EXPECT_EQ(DescribePortAttempts(attempts),
              "/dev/ttyUSB0: busy\n"
              "/dev/ttyS1: no answer\n"
              "/dev/ttyUSB9: absent (No such file or directory)\n");
    EXPECT_EQ(DescribePortAttempts({}), "");
}

TEST(DescribePortAttempts, PermissionDeniedNamesTheGroupThatOwnsTheDevice) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the device node a group";
    const group* owner = ::getgrgid(kNobody);
    if (owner == nullptr)
        GTEST_SKIP() << "no group with id 65534";
    const std::string groupName = owner->gr_name;
    CScratchDir scratch;
    const fs::path node = scratch.Path() / "ttyUSB0";
    std::ofstream(node).put('\0');
    ASSERT_EQ(::chown(node.c_str(), 0, kNobody), 0);

    const std::string text =
        DescribePortAttempts({{node.string(), PortFailure::PermissionDenied, "Permission denied"}});
    EXPECT_EQ(text, node.string() + ": permission denied (Permission denied); the user must be a member of group " +
                        groupName + ", which owns the device: sudo usermod -aG " + groupName +
                        " $USER, then log in again\n");
}
