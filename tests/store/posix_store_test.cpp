// The store on real files, through the POSIX substitute.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>
#include <fstream>
#include <sstream>

#include "control/start.h"
#include "platform/memory/memory_platform.h"
#include "platform/posix/posix_platform.h"

namespace vornel::test {
namespace {

using namespace std::chrono_literals;

class TestPosixPlatform : public PosixPlatform {
public:
    using PosixPlatform::PosixPlatform;
    [[noreturn]] void End() override { throw ProgramEnded{}; }
    int boxes = 0, beeps = 0;
    void MessageBox(const std::string&, std::int32_t, const std::optional<std::string>&, const std::string&,
                    std::int32_t, BoxFocus) override {
        ++boxes;
    }
    void Beep() override { ++beeps; }
    void Sleep(std::int32_t) override {}
    // XyWrite is in front, so a pass of command K takes the copy in.
    WindowHandle GetForegroundWindow() override { return 1; }
    void GetWindowTextA(WindowHandle, std::string& buffer, std::int32_t) override { buffer.replace(0, 7, "XyWrite"); }
};

class PosixStore : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/vornel-store-XXXXXX";
        root_ = ::mkdtemp(templ);
        ::mkdir((root_ + "/VN").c_str(), 0755);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    void Put(const std::string& name, const std::string& bytes) { std::ofstream(root_ + "/VN/" + name) << bytes; }
    std::string Get(const std::string& name) {
        std::ifstream in(root_ + "/VN/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(root_ + "/VN/" + name); }
    TestPosixPlatform Run(const std::string& line) {
        TestPosixPlatform p(line, root_);
        try {
            Start(p);
        } catch (const ProgramEnded&) {
        }
        return p;
    }
    std::string root_;
};

TEST_F(PosixStore, StepsThroughSnapshotsWrittenInAnyCase) {
    // The word processor writes lower case; the command line arrives upper-cased.
    Put("doc.001", "one");
    Put("doc.002", "two");
    Put("doc.003", "three");
    EXPECT_EQ(Run("u doc").boxes, 0);
    EXPECT_EQ(Get("DOC.VRN"), "two");
    EXPECT_EQ(Get("DOC.DAT"), "2 2");
    Run("U DOC");
    EXPECT_EQ(Get("DOC.VRN"), "one");
    Run("R DOC");
    EXPECT_EQ(Get("DOC.VRN"), "two");
    EXPECT_EQ(Get("DOC.DAT"), "3 2");
}

TEST_F(PosixStore, RWithoutStateBeeps) {
    Put("DOC.001", "one");
    const TestPosixPlatform p = Run("R DOC");
    EXPECT_EQ(p.beeps, 1);
    EXPECT_FALSE(Exists("DOC.VRN"));
}

TEST_F(PosixStore, RetentionAndRenumberingOnDisk) {
    Put("DOC.997", "a");
    Put("DOC.998", "b");
    Put("DOC.999", "c");
    Put("DOC.BAK", "d");
    Put("VORNEL.CTL", "DOC\n");
    EXPECT_EQ(Run("K 3").boxes, 0);
    EXPECT_EQ(Get("DOC.001"), "b");
    EXPECT_EQ(Get("DOC.002"), "c");
    EXPECT_EQ(Get("DOC.003"), "d");
    for (const char* gone : {"DOC.997", "DOC.998", "DOC.999", "DOC.BAK", "VORNEL.CTL"}) EXPECT_FALSE(Exists(gone)) << gone;
    // An unchanged save leaves no trace.
    Put("doc.bak", "d");
    Put("VORNEL.CTL", "doc\n");
    Run("K 3");
    EXPECT_FALSE(Exists("doc.bak"));
    EXPECT_FALSE(Exists("DOC.004"));
}

TEST_F(PosixStore, RenumbersLowerCaseSnapshotsThroughTheNameCache) {
    // Lower-case names make every lookup a case-folded one, enough of them
    // for the folded map; gaps make some of them misses.
    for (int n = 960; n <= 999; ++n)
        if (n % 7 != 0) Put("doc." + std::to_string(n), "v" + std::to_string(n));
    Put("doc.bak", "new");
    Put("VORNEL.CTL", "doc\n");
    EXPECT_EQ(Run("K 40").boxes, 0);  // below the depth, at 999: close up first
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_ + "/VN")) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 36u);  // 35 survivors and the new one
    EXPECT_EQ(names.front(), "doc.001");
    EXPECT_EQ(Get("doc.001"), "v960");
    EXPECT_EQ(Get("doc.007"), "v967");  // 966 was a gap
    EXPECT_EQ(Get("doc.035"), "v999");
    EXPECT_EQ(names.back(), "doc.036");
    EXPECT_EQ(Get("doc.036"), "new");
}

// Stray names on disk: an unchanged save changes nothing, a changed one files
// the next number, and no stray makes the document unusable.
TEST_F(PosixStore, StrayNamesCostNoSnapshot) {
    for (const char* stray : {"DOC.1E3", "DOC.4E4", "doc.9e9", "DOC.&H1", "DOC.TXT.009"}) Put(stray, "stray");
    for (int n = 1; n <= 5; ++n) Put("DOC.00" + std::to_string(n), "v" + std::to_string(n));
    Put("DOC.BAK", "v5");
    Put("VORNEL.CTL", "DOC\n");
    EXPECT_EQ(Run("K 5").boxes, 0);
    EXPECT_EQ(Get("DOC.001"), "v1");
    EXPECT_FALSE(Exists("DOC.006"));
    EXPECT_FALSE(Exists("DOC.BAK"));
    Put("DOC.BAK", "v6");
    Put("VORNEL.CTL", "DOC\n");
    EXPECT_EQ(Run("K 9").boxes, 0);  // &H1 counts as 1: six below the depth
    EXPECT_EQ(Get("DOC.006"), "v6");
    EXPECT_EQ(Run("U DOC").boxes, 0);
    EXPECT_EQ(Get("DOC.VRN"), "v5");
    EXPECT_EQ(Get("DOC.4E4"), "stray");
}

TEST_F(PosixStore, SeesFilesThatAppearAfterItLooked) {
    TestPosixPlatform p("", root_);
    const std::string vn = root_ + "\\VN\\";
    EXPECT_EQ(p.ListFirst(vn + "DOC.001"), "");  // a miss: the directory is read
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Put("doc.001", "late");
    EXPECT_EQ(p.ListFirst(vn + "DOC.001"), "doc.001");
    EXPECT_EQ(p.ListFirst(vn + "DOC.*"), "doc.001");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::filesystem::remove(root_ + "/VN/doc.001");
    EXPECT_EQ(p.ListFirst(vn + "DOC.*"), "");
    EXPECT_EQ(p.ListFirst(vn + "DOC.001"), "");
}

// Runs as separate processes on real files: they take turns on VN\ through
// the POSIX substitute's flock, a holder that dies lets go, and a second
// watch mode takes over from the first.
class PosixRuns : public PosixStore {
protected:
    void SetUp() override {
        PosixStore::SetUp();
        for (int n = 1; n <= 5; ++n) Put("DOC.00" + std::to_string(n), "v" + std::to_string(n));
    }
    // A run of the program in a process of its own, as a start by XyWrite makes one.
    pid_t Spawn(const std::string& line) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            PosixPlatform platform(line, root_);
            Start(platform);
        }
        return pid;
    }
    // Waits up to `limit` for the process to end; true when it did.
    static bool Ended(pid_t pid, std::chrono::milliseconds limit) {
        for (auto waited = 0ms; waited < limit; waited += 10ms) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    std::string vn() { return root_ + "/VN/"; }
    // A process that takes VN\ and holds it until Release(); or that is
    // killed while it holds it. Returns once it has VN\.
    pid_t Hold(bool killed) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            PosixPlatform platform("", root_);
            platform.LockDirectory(vn(), 1000);
            if (killed) ::raise(SIGKILL);
            char c = 1;
            (void)!::write(ready[1], &c, 1);
            (void)!::read(release[0], &c, 1);
            ::_exit(0);
        }
        char c = 0;
        if (!killed) (void)!::read(ready[0], &c, 1);
        release_ = release[1];
        return pid;
    }
    void Release() {
        const char c = 1;
        (void)!::write(release_, &c, 1);
    }
    int release_ = -1;
};

TEST_F(PosixRuns, TwoStepsStartedTogetherMakeTwoSteps) {
    Put("DOC.DAT", "2 1");
    // Both start while another process holds VN\, then race for it.
    const pid_t holder = Hold(false);
    const pid_t a = Spawn("R DOC");
    const pid_t b = Spawn("R DOC");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Get("DOC.DAT"), "2 1") << "a run went on while VN\\ was held";
    Release();
    ASSERT_TRUE(Ended(holder, 5s) && Ended(a, 5s) && Ended(b, 5s));
    EXPECT_EQ(Get("DOC.DAT"), "3 3");
    EXPECT_EQ(Get("DOC.VRN"), "v3");
}

TEST_F(PosixRuns, AHolderKilledWithTheLockHeldBlocksNobody) {
    Put("DOC.DAT", "2 1");
    ASSERT_TRUE(Ended(Hold(true), 5s));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Ended(Spawn("R DOC"), 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(Get("DOC.DAT"), "3 2");
}

TEST_F(PosixRuns, ASecondWatchModeTakesOver) {
    const pid_t first = Spawn("11107B 0.05 5");
    std::this_thread::sleep_for(1s);  // it has claimed VN\ long before
    const pid_t second = Spawn("11107B 0.05 5");
    EXPECT_TRUE(Ended(first, 3s)) << "the first watch mode still runs";
    EXPECT_FALSE(Ended(second, 300ms)) << "the new one must go on watching";
    const pid_t step = Spawn("U DOC");  // U and R never end a watch mode
    Put("DOC.DAT", "2 5");
    ::kill(step, SIGKILL);
    EXPECT_FALSE(Ended(second, 300ms));
    ::kill(second, SIGKILL);
    ::waitpid(second, nullptr, 0);
    ::waitpid(step, nullptr, 0);
}

}  // namespace
}  // namespace vornel::test
