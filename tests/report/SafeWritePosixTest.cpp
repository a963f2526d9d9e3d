// The report file replace on POSIX systems: permissions, owner and links
// carried over, devices and FIFOs written in place, a full disk, a signal,
// and faults injected at the system calls that make the report durable.

#include "SafeWriteFixture.h"

#include "SafeWrite.h"
#include "SafeWriteCalls.h"

#include <cerrno>
#include <future>
#include <regex>

#include <algorithm>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A new file gets the umask's permissions (not the 0600 of a temporary
// file); a replaced one keeps its own.
TEST_F(SafeWriteTest, NewFileFollowsTheUmaskAndAReplacedOneKeepsItsMode)
{
    const mode_t oldMask = ::umask(027);
    const FileWriteResult created = WriteCsvReport(m_target, kHeader, {kRow, kRow});
    ::umask(oldMask);
    ASSERT_TRUE(created.ok()) << created.reason;
    EXPECT_EQ(fs::status(m_target).permissions(), fs::perms{0640});

    ASSERT_EQ(::chmod(m_target.c_str(), 0604), 0);
    const FileWriteResult replaced = WriteCsvReport(m_target, kHeader, {});
    ASSERT_TRUE(replaced.ok()) << replaced.reason;
    EXPECT_EQ(fs::status(m_target).permissions(), fs::perms{0604});
}


// A full disk must neither cost the previous report nor leave a partial
// file; only a small file system of its own gives that condition reliably.
TEST_F(SafeWriteTest, FullDiskKeepsTheOldFile)
{
    const fs::path disk = m_folder / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount tmpfs (needs root): " << std::generic_category().message(errno);

    const fs::path target = disk / "report.csv";
    std::ofstream(target, std::ios::binary) << kOldContent;
    // Leave 8 KB free, so the report starts but cannot end.
    const std::string filler(fs::space(disk).available - 8192, 'f');
    std::ofstream(disk / "filler", std::ios::binary) << filler;

    const std::vector<RowTexts> rows(1000, kRow);   // about 60 KB
    const FileWriteResult result = WriteCsvReport(target, kHeader, rows);
    const std::string kept = ReadFile(target);
    const Names names = NamesIn(disk);
    ::umount(disk.c_str());

    EXPECT_EQ(result.error, FileWriteError::WriteFailed);
    EXPECT_EQ(result.reason, std::generic_category().message(ENOSPC));
    EXPECT_EQ(kept, kOldContent);
    EXPECT_EQ(names, (Names{"filler", "report.csv"}));
}

// The folder can take no new file, whoever runs the test: root passes any
// permission bits, but not a read-only file system.
struct ReadOnlyFolder {
    explicit ReadOnlyFolder(const fs::path& path) : m_path(path)
    {
        fs::create_directory(path);
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", path.c_str(), "tmpfs", MS_RDONLY, "size=16k") == 0;
        if (!m_mounted)
            ::chmod(path.c_str(), 0555);
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            ::umount(m_path.c_str());
    }
    fs::path m_path;
    bool m_mounted = false;
};

TEST_F(SafeWriteTest, TargetsAreCheckedBeforeAnythingIsWritten)
{
    std::ofstream(m_folder / "locked.csv") << kOldContent;
    ASSERT_EQ(::chmod((m_folder / "locked.csv").c_str(), 0444), 0);
    std::ofstream(m_folder / "old.csv") << kOldContent;
    fs::create_directory(m_folder / "folder");
    fs::create_symlink(m_folder / "not yet" , m_folder / "dangling.csv");
    ::mkfifo((m_folder / "fifo").c_str(), 0600);
    const ReadOnlyFolder readOnly(m_folder / "read-only");
    const Names before = NamesIn(m_folder);

    struct Row {
        const char* why;
        std::string path;
        FileWriteError error;
    };
    const Row rows[] = {
        {"no name at all", "", FileWriteError::NoPath},
        {"standard output", "-", FileWriteError::None},
        {"a new file", (m_folder / "new.csv").string(), FileWriteError::None},
        {"a file to replace", (m_folder / "old.csv").string(), FileWriteError::None},
        {"a link to a file still to be made", (m_folder / "dangling.csv").string(), FileWriteError::None},
        {"a device", "/dev/null", FileWriteError::None},
        {"a FIFO", (m_folder / "fifo").string(), FileWriteError::None},
        {"a read-only file", (m_folder / "locked.csv").string(), FileWriteError::Locked},
        {"a missing folder", (m_folder / "missing" / "r.csv").string(), FileWriteError::CannotCreate},
        {"a folder", (m_folder / "folder").string(), FileWriteError::CannotCreate},
        {"a name ending in a slash", (m_folder / "new" ).string() + "/", FileWriteError::CannotCreate},
        {"a folder that takes no file", (m_folder / "read-only" / "r.csv").string(), FileWriteError::CannotCreate},
        // 255 bytes is the longest name Linux file systems take.
        {"a name of 255 bytes", (m_folder / std::string(255, 'n')).string(), FileWriteError::None},
        {"a name of 256 bytes", (m_folder / std::string(256, 'n')).string(), FileWriteError::CannotCreate},
    };
    for (const Row& row : rows) {
        const FileWriteResult result = CheckOutputTarget(row.path);
        EXPECT_EQ(result.error, row.error) << row.why << ": " << result.reason;
        EXPECT_EQ(result.ok(), result.reason.empty()) << row.why;
    }
    EXPECT_EQ(NamesIn(m_folder), before) << "checking writes nothing";
}

// A target that is no regular file is written where it is: replacing it
// would put a file where a device or a FIFO was.
TEST_F(SafeWriteTest, FifoWithAReaderIsWrittenInPlaceAndOneWithoutFailsAtOnce)
{
    const fs::path fifo = m_folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A save that waits for a reader fails here within its deadline; the
    // reader opened then lets it end.
    auto save = std::async(std::launch::async, [&fifo] { return WriteFileSafely(fifo, "nobody listens"); });
    if (save.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        save.wait();
        ::close(unblock);
        FAIL() << "writing to a FIFO nobody reads did not fail at once";
    }
    const FileWriteResult unread = save.get();
    EXPECT_EQ(unread.error, FileWriteError::CannotCreate);
    EXPECT_EQ(unread.reason, "no program reads from the FIFO");

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::string report = FormatCsvReport(kHeader, {kRow, kRow});
    const FileWriteResult result = WriteFileSafely(fifo, report);
    ASSERT_TRUE(result.ok()) << result.reason;
    std::string got(report.size() + 1, '\0');
    const ssize_t count = ::read(reader, got.data(), got.size());
    ::close(reader);
    EXPECT_EQ(got.substr(0, static_cast<std::size_t>(std::max<ssize_t>(count, 0))), report);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(NamesIn(m_folder), Names{"fifo"});
}

// Standard output that is a pipe whose reader has gone fails with EPIPE
// instead of ending the program by SIGPIPE (the window does not ignore it).
TEST_F(SafeWriteTest, AClosedPipeOnStandardOutputIsAFailure)
{
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(ends[1], STDOUT_FILENO);
    const FileWriteResult result = WriteFileSafely("-", FormatCsvReport(kHeader, {kRow}));
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(ends[1]);
    EXPECT_EQ(result.error, FileWriteError::WriteFailed);
    EXPECT_EQ(result.reason, std::generic_category().message(EPIPE));
}


// Saving through a link replaces the file it names, and a chain of links
// that points nowhere yet gets its file made where it ends; links stay links.
TEST_F(SafeWriteTest, LinksKeepPointingAtTheReportTheyName)
{
    std::ofstream(m_target, std::ios::binary) << kOldContent;
    fs::create_symlink(m_target, m_folder / "link.csv");
    fs::create_directory(m_folder / "reports");
    fs::create_symlink("reports/march.csv", m_folder / "latest.csv");
    fs::create_symlink("latest.csv", m_folder / "current.csv");
    const std::pair<const char*, fs::path> rows[] = {{"link.csv", m_target},
                                                     {"current.csv", m_folder / "reports" / "march.csv"}};
    for (const auto& [link, file] : rows) {
        const FileWriteResult result = WriteCsvReport(m_folder / link, kHeader, {kRow});
        ASSERT_TRUE(result.ok()) << link << ": " << result.reason;
        EXPECT_EQ(ReadFile(file), FormatCsvReport(kHeader, {kRow})) << link;
    }
    for (const char* link : {"link.csv", "latest.csv", "current.csv"})
        EXPECT_TRUE(fs::is_symlink(m_folder / link)) << link;
    EXPECT_EQ(NamesIn(m_folder), (Names{"current.csv", "latest.csv", "link.csv", "report.csv", "reports"}));
    EXPECT_EQ(NamesIn(m_folder / "reports"), Names{"march.csv"});
}


// Root replacing somebody else's report leaves it theirs.
TEST_F(SafeWriteTest, ReplacedFileKeepsItsOwnerAndGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can write a file as another user's";
    constexpr uid_t kNobody = 65534;
    std::ofstream(m_target) << kOldContent;
    ASSERT_EQ(::chown(m_target.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(m_target.c_str(), 0640), 0);
    const FileWriteResult result = WriteCsvReport(m_target, kHeader, {kRow});
    ASSERT_TRUE(result.ok()) << result.reason;
    struct stat status{};
    ASSERT_EQ(::stat(m_target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, kNobody);
    EXPECT_EQ(status.st_gid, kNobody);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// A termination signal that arrives while the report is being written ends
// the program without leaving the unfinished file beside the old one, in a
// program with the default action and in one that takes signals itself.
TEST_F(SafeWriteTest, SignalDuringTheSaveLeavesNoTemporaryFile)
{
    std::ofstream(m_target) << kOldContent;
    // Large enough that writing it takes far longer than the signal needs to arrive.
    const std::string content(256u << 20, 'x');
    for (const bool takesSignalsItself : {false, true}) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, m_folder.c_str(), IN_CREATE), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (takesSignalsItself) {
                sigset_t stop;
                sigemptyset(&stop);
                sigaddset(&stop, SIGTERM);
                pthread_sigmask(SIG_BLOCK, &stop, nullptr);
                std::thread([stop] {
                    int received = 0;
                    sigwait(&stop, &received);
                    RemoveUnfinishedTempFile();
                    _exit(128 + received);
                }).detach();
            }
            WriteFileSafely(m_target, content);
            _exit(0);
        }
        // The temporary file appearing is the moment the save is under way.
        alignas(inotify_event) char events[4096];
        ASSERT_GT(::read(watch, events, sizeof events), 0);
        ::kill(child, SIGTERM);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(watch);
        const bool endedBySignal = takesSignalsItself ? WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM
                                                      : WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
        EXPECT_TRUE(endedBySignal) << "the save ended before the signal came; status " << status;
        EXPECT_EQ(NamesIn(m_folder), Names{"report.csv"}) << (takesSignalsItself ? "sigwait" : "default action");
        EXPECT_EQ(ReadFile(m_target), kOldContent);
    }
}

// ---- Faults at the system calls that make the report durable.

std::vector<std::string> g_calls;
int g_renameError = 0;

std::string NameOfDescriptor(int fd)
{
    std::error_code error;
    return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error).filename().string();
}

int RecordingFsync(int fd)
{
    g_calls.push_back("fsync " + NameOfDescriptor(fd));
    return ::fsync(fd);
}

int RecordingRename(const char* from, const char* to)
{
    g_calls.push_back("rename " + fs::path(from).filename().string() + " " + fs::path(to).filename().string());
    if (g_renameError == 0)
        return ::rename(from, to);
    errno = g_renameError;
    return -1;
}

class SafeWriteFaultTest : public SafeWriteTest {
protected:
    void SetUp() override
    {
        SafeWriteTest::SetUp();
        g_calls.clear();
        g_renameError = 0;
        SafeWriteCalls() = {RecordingFsync, RecordingRename};
    }
    void TearDown() override
    {
        SafeWriteCalls() = m_systemCalls;
        SafeWriteTest::TearDown();
    }

private:
    const SafeWriteSystemCalls m_systemCalls = SafeWriteCalls();
};

// The new report is on disk before it takes the old one's place, and the
// folder after: a power cut leaves one whole report or the other. The
// temporary name is short, whatever the report's. A rename that fails is a
// failure that keeps the old report and removes the temporary file.
TEST_F(SafeWriteFaultTest, TheNewFileIsSyncedThenRenamedAndAFailedRenameKeepsTheOld)
{
    std::ofstream(m_target) << kOldContent;
    ASSERT_TRUE(WriteCsvReport(m_target, kHeader, {kRow}).ok());
    ASSERT_EQ(g_calls.size(), 3u) << testing::PrintToString(g_calls);
    std::smatch temp;
    ASSERT_TRUE(std::regex_match(g_calls[0], temp, std::regex(R"(fsync (\.ombrel-[A-Za-z0-9]{8}\.tmp))"))) << g_calls[0];
    EXPECT_EQ(g_calls[1], "rename " + temp[1].str() + " report.csv");
    EXPECT_EQ(g_calls[2], "fsync " + m_folder.filename().string());

    std::ofstream(m_target) << kOldContent;
    g_renameError = EIO;
    const FileWriteResult result = WriteCsvReport(m_target, kHeader, {kRow});
    EXPECT_EQ(result.error, FileWriteError::WriteFailed);
    EXPECT_EQ(result.reason, std::generic_category().message(EIO));
    EXPECT_EQ(ReadFile(m_target), kOldContent);
    EXPECT_EQ(NamesIn(m_folder), Names{"report.csv"}) << "the temporary file is removed";
}

} // namespace
