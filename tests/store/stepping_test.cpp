#include "store/stepping.h"

#include <gtest/gtest.h>

#include "control/command_line.h"
#include "support/sim.h"

namespace vornel::test {
namespace {

class SteppingTest : public ::testing::Test {
protected:
    void SetUp() override {
        p.titles = {"XYWRITE - DOC"};
        PutSnapshots(p, "DOC", 1, 5);
    }
    void Step(const std::string& command) { RunProgram(p, command); }
    std::string Result() { return p.Content(kDir + "DOC.VRN"); }
    std::string State() { return p.Content(kDir + "DOC.DAT"); }
    MemoryPlatform p;
};

TEST_F(SteppingTest, BackForwardRoad) {
    Step("U DOC");
    EXPECT_EQ(Result(), "v4");
    EXPECT_EQ(State(), "2 4");
    Step("U DOC");
    EXPECT_EQ(Result(), "v3");
    EXPECT_EQ(State(), "2 3");
    Step("R DOC");
    EXPECT_EQ(Result(), "v4");
    EXPECT_EQ(State(), "3 4");
    EXPECT_TRUE(p.boxes.empty());
    EXPECT_EQ(p.beeps, 0);
}

// A run ended from outside may leave its DOC.VN~ behind: the next step makes
// its own over it, and no inventory ever counts it.
TEST_F(SteppingTest, ALeftoverTemporaryFileIsReplaced) {
    p.PutFile(kDir + "DOC.VN~", "half a document");
    p.PutFile(kDir + "DOC.DAT", "2 5");
    Step("U DOC");
    EXPECT_EQ(Result(), "v4");
    EXPECT_EQ(State(), "2 4");
    EXPECT_FALSE(p.Has(kDir + "DOC.VN~"));
    EXPECT_TRUE(p.boxes.empty());
}

// The capture files the edited document as 006; the step back starts there
// and lands on 005, the version before the edit, and R brings the edit back.
// It waits for the save no longer than the save takes.
TEST_F(SteppingTest, FirstStepBackCapturesAChangedDocumentAndLandsOnTheVersionBefore) {
    for (const char* state : {"", "1 5", "0 2"}) {
        MemoryPlatform fresh;
        std::swap(p, fresh);
        SetUp();
        if (*state) p.PutFile(kDir + "DOC.DAT", state);
        // The word processor's side saves after the start, when its window is first found.
        p.onForegroundQuery = [&](long n) {
            if (n == 1) {
                p.PutFile(kDir + "DOC.BAK", "current");
                p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
            }
        };
        Step("U DOC");
        EXPECT_EQ(p.Content(Snapshot("DOC", 6)), "current") << state;
        EXPECT_EQ(Result(), "v5") << state;
        EXPECT_EQ(State(), "2 5") << state;
        EXPECT_TRUE(p.sleeps.empty()) << state;
        EXPECT_TRUE(p.keyEvents.empty());
        Step("R DOC");
        EXPECT_EQ(Result(), "current") << state;
    }
}

// A save from long before the start is cleared unread; one written just
// before it (the macro saved as it started U, and the host was quicker than
// vornel.exe) is the current text, and the capture takes it in.
TEST_F(SteppingTest, CaptureTakesASaveFromJustBeforeTheStartOnly) {
    for (const std::int64_t age : {60000, 200}) {
        MemoryPlatform fresh;
        std::swap(p, fresh);
        SetUp();
        p.PutFile(kDir + "DOC.BAK", "saved");
        p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
        p.Age(kDir + "VORNEL.CTL", age);
        Step("U DOC");
        EXPECT_EQ(p.Has(Snapshot("DOC", 6)), age < kFreshSave) << age;
        // Filed as 006, the save is where the step back starts: it lands on 005.
        EXPECT_EQ(Result(), age < kFreshSave ? "v5" : "v4") << age;
        EXPECT_EQ(p.Content(Snapshot("DOC", 6)), age < kFreshSave ? "saved" : "") << age;
    }
}

// The first look is at once; each look that misses rests 10 ms, so a long
// wait takes next to no processor time from XyWrite.
TEST_F(SteppingTest, CaptureLooksAtOnceThenRestsBetweenLooks) {
    p.titles = {"Program Manager", "", "Document - XyWrite", "xywrite"};
    std::size_t sleepsBeforeFirstLook = 99;
    p.onForegroundQuery = [&](long n) {
        if (n == 1) sleepsBeforeFirstLook = p.sleeps.size();
    };
    Step("U DOC");
    EXPECT_EQ(p.foregroundQueries, 4);
    EXPECT_EQ(sleepsBeforeFirstLook, 0u);
    // No save comes: the pause then lasts its whole 1.5 s, in looks 40 ms apart.
    std::vector<std::int32_t> expected{10, 10, 10};
    expected.insert(expected.end(), 37, 40);
    expected.push_back(20);
    EXPECT_EQ(p.sleeps, expected);
    EXPECT_EQ(State(), "2 4");
}

struct RoadCase {
    std::vector<int> snapshots;
    std::string state;  // "" for none
    std::string command;
    std::string result;  // "" when nothing is written
    std::string stateAfter;
    bool captures = false;  // command U looks for XyWrite before stepping
};

class SteppingRoads : public ::testing::TestWithParam<RoadCase> {};

TEST_P(SteppingRoads, LandWhereTheyShould) {
    const RoadCase& c = GetParam();
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    for (int n : c.snapshots) p.PutFile(Snapshot("DOC", n), "v" + std::to_string(n));
    if (!c.state.empty()) p.PutFile(kDir + "DOC.DAT", c.state);
    RunProgram(p, c.command);
    EXPECT_TRUE(p.boxes.empty()) << p.boxes.front().text;
    EXPECT_EQ(p.Content(kDir + "DOC.VRN"), c.result);
    EXPECT_EQ(p.Content(kDir + "DOC.DAT"), c.stateAfter.empty() ? c.state : c.stateAfter);
    EXPECT_EQ(p.foregroundQueries > 0, c.captures);
    // Every probe stays within the three-digit numbers.
    for (const std::string& path : p.touched) EXPECT_EQ(path.find("DOC.1000"), std::string::npos) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Store, SteppingRoads,
    ::testing::Values(
        RoadCase{{1, 2, 3}, "2 1", "U DOC", "v1", "2 1"},            // 000 missing, 001 again
        RoadCase{{1, 2, 3}, "3 3", "R DOC", "v3", "3 3"},            // at the top
        RoadCase{{1, 2}, "3 2", "U DOC", "v1", "2 1"},               // steps at once
        RoadCase{{1, 2, 3, 5}, "2 5", "U DOC", "v5", "2 5"},         // 004 missing
        RoadCase{{5, 6, 7}, "2 4", "U DOC", "v7", "2 7"},            // after retention
        RoadCase{{1, 2, 3}, "", "R DOC", "", ""},                   // beep, nothing written
        RoadCase{{}, "2 4", "U DOC", "", ""},                       // no snapshot at all
        RoadCase{{}, "2 4", "R DOC", "", ""},
        RoadCase{{5, 6, 7}, "3 2", "R DOC", "v5", "3 5"},            // forward from below them all
        RoadCase{{5, 6, 7}, "3 50", "R DOC", "v7", "3 7"},           // forward from above them all
        RoadCase{{5, 6, 7}, "2 40000", "U DOC", "v7", "2 7"},        // a pointer far out
        RoadCase{{5, 6, 7}, "2 -3", "U DOC", "v7", "2 7"},
        RoadCase{{1, 2, 3}, "2", "U DOC", "v3", "2 3"},              // state with no pointer
        RoadCase{{1, 2, 3}, "X 9", "U DOC", "v3", "2 3", true},      // state 0: capture, then step from 9
        RoadCase{{1, 2, 3, 4, 5}, "1 4", "U DOC", "v3", "2 3", true},  // state 1 captures first, like 0
        RoadCase{{1, 2, 3}, "1 2", "R DOC", "v3", "3 3"},
        RoadCase{{0, 1, 2}, "2 1", "U DOC", "v0", "2 0"},            // 000 is a number like any other
        RoadCase{{997, 998, 999}, "3 999", "R DOC", "v999", "3 999"},  // 1000 is never probed
        RoadCase{{1, 2, 3}, "27 2", "U DOC", "v1", "2 1"}));          // state read from its first character

// After its capture pass the step takes its own inventory: the control file
// may have named another document, whose snapshots it then steps through.
TEST(Stepping, TheStepFollowsTheDocumentTheCaptureNamed) {
    const struct {
        const char* saved;  // OTHER.BAK written with the control file; null for none
        const char* result;
        const char* state;
    } cases[] = {{"other text", "other text", "2 1"}, {nullptr, "", ""}};
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.titles = {"XYWRITE"};
        PutSnapshots(p, "DOC", 1, 5);
        p.onForegroundQuery = [&](long) {
            if (c.saved) p.PutFile(kDir + "OTHER.BAK", c.saved);
            p.PutFile(kDir + "VORNEL.CTL", "OTHER\x1a");
        };
        RunProgram(p, "U DOC");
        EXPECT_TRUE(p.boxes.empty());
        EXPECT_EQ(p.Content(kDir + "OTHER.VRN"), c.result);
        EXPECT_EQ(p.Content(kDir + "OTHER.DAT"), c.state);
        EXPECT_FALSE(p.Has(kDir + "DOC.VRN"));
        EXPECT_FALSE(p.Has(kDir + "DOC.DAT"));
    }
}

TEST(Stepping, DocumentNamesMayHoldBlanks) {
    MemoryPlatform p;
    PutSnapshots(p, "MY DOC", 1, 3);
    p.PutFile(kDir + "MY DOC.DAT", "2 3");
    RunProgram(p, "U my doc");
    EXPECT_TRUE(p.boxes.empty());
    EXPECT_EQ(p.Content(kDir + "MY DOC.VRN"), "v2");
    EXPECT_EQ(p.Content(kDir + "MY DOC.DAT"), "2 2");
}

TEST(Stepping, RWithoutAStateFileBeepsAndWritesNothing) {
    MemoryPlatform p;
    PutSnapshots(p, "DOC", 1, 3);
    RunProgram(p, "R DOC");
    EXPECT_EQ(p.beeps, 1);
    EXPECT_TRUE(p.boxes.empty());
    EXPECT_FALSE(p.Has(kDir + "DOC.VRN"));
    EXPECT_FALSE(p.Has(kDir + "DOC.DAT"));
}

TEST(Stepping, OnlyOddlyNamedSnapshotsEndsWithoutWriting) {
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    p.PutFile(kDir + "DOC.1E2", "odd");
    for (const char* state : {"2 100", "3 100", "2 5"}) {
        p.PutFile(kDir + "DOC.DAT", state);
        RunProgram(p, std::string(state[0] == '2' ? "U" : "R") + " DOC");
        EXPECT_TRUE(p.boxes.empty());
        EXPECT_FALSE(p.Has(kDir + "DOC.VRN"));
        EXPECT_EQ(p.Content(kDir + "DOC.DAT"), state);
    }
}

TEST(Stepping, SearchesAreBounded) {
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    p.PutFile(kDir + "DOC.TXT.009", "other document");
    p.PutFile(Snapshot("DOC", 3), "v3");
    p.PutFile(kDir + "DOC.DAT", "3 -500");
    RunProgram(p, "R DOC");
    EXPECT_EQ(p.Content(kDir + "DOC.VRN"), "v3");
    EXPECT_LE(p.counts[static_cast<int>(Op::ListFirst)], 1010);
}

// A sync client keeps DOC.VRN or DOC.DAT open all the while, sharing
// everything. Where the file system replaces by handle, U and R go through
// at once; where it does not, the hold is waited out and the step fails with
// 70, the held file whole and nothing left aside.
TEST(Stepping, AHolderThatStaysStopsAStepOnlyWhereReplaceByHandleIsNotToBeHad) {
    const struct {
        const char* command;
        const char* held;
        bool byHandle;
        const char* result;  // DOC.VRN after the run
        const char* state;   // DOC.DAT after the run
    } cases[] = {
        {"U DOC", "DOC.VRN", true, "v2", "2 2"},
        {"R DOC", "DOC.DAT", true, "v3", "3 3"},
        {"U DOC", "DOC.VRN", false, "old", "2 3"},
        {"R DOC", "DOC.DAT", false, "v3", "2 3"},  // DOC.VRN goes first; DOC.DAT still names the old step
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.machine()->replaceByHandle = c.byHandle;
        PutSnapshots(p, "DOC", 1, 3);
        p.PutFile(kDir + "DOC.DAT", "2 3");
        p.PutFile(kDir + "DOC.VRN", "old");
        p.HoldSharingAll(kDir + c.held, true);
        RunProgram(p, c.command);
        const std::string why = std::string(c.command) + (c.byHandle ? " by handle" : " by name");
        EXPECT_EQ(p.boxes.size(), c.byHandle ? 0u : 1u) << why;
        if (!c.byHandle && !p.boxes.empty())
            EXPECT_EQ(p.boxes[0].text.rfind("Error # 70", 0), 0u) << p.boxes[0].text;
        EXPECT_EQ(p.Content(kDir + "DOC.VRN"), c.result) << why;
        EXPECT_EQ(p.Content(kDir + "DOC.DAT"), c.state) << why;
        EXPECT_FALSE(p.Has(kDir + "DOC.VN~")) << why;
    }
}

TEST(Stepping, FailuresShowTheirStage) {
    const struct {
        Op op;
        long nth;
        int checkpoint;
    } cases[] = {
        {Op::Read, 1, 5},      // the state file
        {Op::Copy, 1, 19},     // the result file, made aside
        {Op::Replace, 1, 19},  // ... and moved into place
        {Op::Write, 1, 20},    // the new state file, made aside
        {Op::Replace, 2, 20},  // ... and moved into place
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        PutSnapshots(p, "DOC", 1, 3);
        p.PutFile(kDir + "DOC.DAT", "2 3");
        p.PutFile(kDir + "DOC.VRN", "old");
        p.FailNth(c.op, c.nth, kDiskFull);
        RunProgram(p, "U DOC");
        ASSERT_EQ(p.boxes.size(), 1u);
        EXPECT_EQ(p.boxes[0].text, ErrorBox(61, "Disk full", c.checkpoint));
        // The old files stand whole, and nothing is left aside.
        EXPECT_EQ(p.Content(kDir + "DOC.VRN"), c.checkpoint == 20 ? "v2" : "old");
        EXPECT_EQ(p.Content(kDir + "DOC.DAT"), "2 3");
        EXPECT_FALSE(p.Has(kDir + "DOC.VN~"));
    }
    MemoryPlatform p;
    PutSnapshots(p, "DOC", 1, 3);
    p.PutFile(kDir + "DOC.DAT", "3 2147483647");
    RunProgram(p, "R DOC");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(6, "Overflow", 17));
}

}  // namespace
}  // namespace vornel::test
