// Who may open a port, why a port cannot be used, and what the operator is
// told about it. The unprivileged cases run a small probe program as the
// user nobody (uid 65534) through setpriv.

#include "PortFailure.h"
#include "PtyPeer.h"
#include "SerialPort.h"
#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr gid_t kNobody = 65534;

std::size_t OpenDescriptorCount() {
    const fs::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

int ExclusiveFlag(int ttyFd) {
    int exclusive = -1;
    ::ioctl(ttyFd, TIOCGEXCL, &exclusive);
    return exclusive;
}

// A scratch folder that uid 65534 can enter and that goes away with the test.
struct CScratchDir {
    std::string path = (fs::temp_directory_path() / "ombrel-port-XXXXXX").string();
    CScratchDir() { EXPECT_EQ(::chmod(::mkdtemp(path.data()), 0755), 0); }
    ~CScratchDir() { std::error_code ignored; fs::remove_all(path, ignored); }
    fs::path operator/(const std::string& name) const { return fs::path(path) / name; }
};

}  // namespace

TEST(PortAccess, UnprivilegedUserIsDeniedWithoutRightsAndRefusedAHeldPort) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as uid 65534";
    // The build folder may not be readable to nobody: the child runs from a copy.
    CScratchDir scratch;
    const fs::path binary = scratch / "port_probe_child";
    fs::copy_file(OMBREL_PORT_PROBE_CHILD, binary);
    fs::permissions(binary, fs::perms(0755));
    CPtyPeer peer;
    CSerialPort holder;
    const struct { const char* why; mode_t mode; bool held; const char* report; } rows[] = {
        {"a device only root may use", 0600, false, "probe 1, permission denied, open Permission denied"},
        {"a port held by another program, though open to all", 0666, true, "probe 1, busy, open Device or resource busy"},
        {"closing clears the exclusive flag", 0666, false, "probe 0, no failure, open ok"},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(::chown(peer.SlavePath().c_str(), 0, 0), 0);
        ASSERT_EQ(::chmod(peer.SlavePath().c_str(), row.mode), 0);
        if (row.held)
            ASSERT_GE(holder.Open(peer.SlavePath()), 0);
        else
            holder.Close();
        FILE* child = ::popen(("timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups " + binary.string() +
                               " " + peer.SlavePath() + " 2>&1").c_str(), "r");
        std::string output;
        char chunk[512];
        while (child != nullptr && std::fgets(chunk, sizeof chunk, child) != nullptr)
            output += chunk;
        EXPECT_EQ(child != nullptr ? ::pclose(child) : -1, 0) << row.why << ":\n" << output;
        EXPECT_NE(output.find(std::string("child: uid 65534, ") + row.report), std::string::npos) << row.why << ":\n" << output;
    }
}

TEST(PortAccess, UnusablePortIsRefusedWithItsReasonAndNoDescriptorLeft) {
    CScratchDir scratch;
    std::ofstream(scratch / "ttyRegularFile") << "not a serial device\n";
    const struct { const char* why; std::string path; PortFailure failure; const char* message; } rows[] = {
        {"a port that is not there", "/dev/ttyOmbrelMissing", PortFailure::Absent, "Open serial port fail！"},
        {"a regular file takes no line settings", scratch / "ttyRegularFile", PortFailure::NotATty,
         "Set CommState fail！"},
        {"a bare name is looked up under /dev: null is no terminal", "null", PortFailure::NotATty, "Set CommState fail！"},
    };
    for (const auto& row : rows) {
        CRecordingSink messages;
        CSerialPort port(&messages);
        const std::size_t descriptorsBefore = OpenDescriptorCount();
        EXPECT_EQ(port.ProbePort(row.path), 1) << row.why;
        EXPECT_EQ(port.LastFailure(), row.failure) << row.why << ": " << port.LastFailureDetail();
        EXPECT_FALSE(port.LastFailureDetail().empty()) << row.why;
        EXPECT_EQ(port.Open(row.path), -1) << row.why;
        EXPECT_EQ(port.LastFailure(), row.failure) << row.why;
        EXPECT_EQ(messages.Messages(), std::vector<std::string>{row.message}) << row.why;
        EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << row.why;
    }
}

TEST(PortAccess, HeldPortIsRefusedToASecondOpenEvenForRootUntilLetGo) {
    CPtyPeer peer, other;
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    auto holder = std::make_unique<CSerialPort>();
    ASSERT_GE(holder->Open(peer.SlavePath()), 0);
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 1);
    CRecordingSink messages;
    CSerialPort second(&messages);
    EXPECT_EQ(second.ProbePort(peer.SlavePath()), 1);
    EXPECT_EQ(second.LastFailure(), PortFailure::Busy);
    EXPECT_EQ(second.Open(peer.SlavePath()), -1);
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"Open serial port fail！"});
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 1) << "a refused open leaves the holder's flag alone";

    // Discovery reopens one object on every port it tries: each is let go in turn.
    ASSERT_GE(holder->Open(other.SlavePath()), 0);
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 0) << "the tty lives on through the test's hold; the flag must not";
    EXPECT_EQ(second.ProbePort(peer.SlavePath()), 0);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore + 1);
    holder.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "the destructor closes the port";

    ASSERT_EQ(::ioctl(peer.SlaveFd(), TIOCEXCL), 0);   // another program's hold, without a lock
    EXPECT_EQ(second.ProbePort(peer.SlavePath()), 1);
    EXPECT_EQ(second.LastFailure(), PortFailure::Busy);
    EXPECT_EQ(ExclusiveFlag(peer.SlaveFd()), 1) << "the other program's flag must not be cleared";
}

TEST(DescribePortAttempts, OneLinePerPortWithReasonDetailAndAccessHint) {
    EXPECT_EQ(DescribePortAttempts({{"/dev/ttyUSB0", PortFailure::Busy, ""},
                                    {"/dev/ttyS1", PortFailure::NoAnswer, ""},
                                    {"/dev/ttyUSB9", PortFailure::Absent, "No such file or directory"}}),
              "/dev/ttyUSB0: busy\n/dev/ttyS1: no answer\n/dev/ttyUSB9: absent (No such file or directory)\n");

    // Joining the device's group mends permission only where that group may
    // read and write the device, and root's group is never the answer.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the device node a group";
    const group* owner = ::getgrgid(kNobody);
    ASSERT_NE(owner, nullptr) << "no group with id 65534";
    const std::string groupName = owner->gr_name;
    const std::string joinGroup = "; the user must be a member of group " + groupName +
                                  ", which owns the device: sudo usermod -aG " + groupName + " $USER, then log in again";
    const std::string needsGroup =
        ": it needs a group that may read and write it, for example a udev rule giving it group dialout and mode 0660";
    struct Row {
        const char* why;
        gid_t group;
        mode_t mode;
        std::string hint;
    };
    const Row rows[] = {
        {"the group may read and write", kNobody, 0660, joinGroup},
        {"only the owner may read and write", kNobody, 0600, "; the device is open only to its owner root" + needsGroup},
        {"the group may only read", kNobody, 0640, "; the device is open only to its owner root" + needsGroup},
        {"the group is root's", 0, 0660, "; the device is open only to root" + needsGroup},
    };
    for (const Row& row : rows) {
        CScratchDir scratch;
        const fs::path node = scratch / "ttyUSB0";
        std::ofstream(node).put('\0');
        ASSERT_EQ(::chown(node.c_str(), 0, row.group), 0);
        ASSERT_EQ(::chmod(node.c_str(), row.mode), 0);
        EXPECT_EQ(DescribePortAttempts({{node.string(), PortFailure::PermissionDenied, "Permission denied"}}),
                  node.string() + ": permission denied (Permission denied)" + row.hint + "\n")
            << row.why;
    }
}
