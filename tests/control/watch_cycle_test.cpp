#include "control/watch_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "support/sim.h"
#include "trigger/player.h"

namespace vornel::test {
namespace {

// Plays XyWrite's macro: on Ctrl+Shift+F12 it saves the document as DOC.BAK
// and writes the document's name plus one character into VORNEL.CTL.
struct FakeXyWrite {
    explicit FakeXyWrite(MemoryPlatform& platform) : p(platform) {
        p.onKeyEvent = [this](const KeyEvent& e) {
            if (e.flags == 0) down.insert(e.vk);
            else down.erase(e.vk);
            if (e.flags == 0 && e.vk == 0x7B && down.count(0x11) && down.count(0x10)) {
                p.PutFile(kDir + "DOC.BAK", text);
                p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
                ++saves;
            }
        };
    }
    MemoryPlatform& p;
    std::string text = "the document";
    std::set<int> down;
    int saves = 0;
};

// The passes' own sleeps, without the pauses between the chord's keys.
std::vector<std::int32_t> PassSleeps(const MemoryPlatform& p) {
    std::vector<std::int32_t> s;
    std::copy_if(p.sleeps.begin(), p.sleeps.end(), std::back_inserter(s), [](std::int32_t ms) { return ms != kKeyPause; });
    return s;
}

TEST(WatchCycle, OnePassOfTheRoad) {
    MemoryPlatform p;
    FakeXyWrite xy(p);
    PutSnapshots(p, "DOC", 12, 19);
    p.titles = {"XYWRITE - DOC"};
    p.maxForegroundQueries = 1;
    EXPECT_EQ(RunProgram(p, "11107B 5 8"), Ended::Stopped);
    EXPECT_EQ(xy.saves, 1);
    EXPECT_FALSE(p.Has(Snapshot("DOC", 12)));
    EXPECT_EQ(p.Content(Snapshot("DOC", 20)), "the document");
    EXPECT_TRUE(p.Has(Snapshot("DOC", 13)));
    EXPECT_FALSE(p.Has(kDir + "DOC.BAK"));
    EXPECT_EQ(p.keyEvents, (std::vector<KeyEvent>{{0x11, 0x1D, 0}, {0x10, 0x2A, 0}, {0x7B, 0x58, 0},
                                                  {0x7B, 0x58, 2}, {0x10, 0x2A, 2}, {0x11, 0x1D, 2}}));
    // The save came with the keys: no pause for it. Stopped in the next pass.
    EXPECT_EQ(PassSleeps(p), (std::vector<std::int32_t>{5000, 5000}));
    EXPECT_TRUE(p.boxes.empty());
}

// The screen locked between the title test and the keys: Windows takes
// none of them. That pass files nothing and says nothing; watch mode goes
// on. Refusals with XyWrite in front that go on and on are told; a pass
// without XyWrite in front, or one that types, starts the count anew.
TEST(WatchCycle, APassWhoseKeysAreAllRefusedCostsThatPassOnly) {
    const struct {
        const char* name;
        std::vector<std::size_t> taken;   // of each pass's SendInput
        std::vector<std::string> titles;  // one per pass
        int saves;
        bool told;
    } cases[] = {
        {"one pass refused", {0}, {"XYWRITE"}, 1, false},
        {"refused up to the limit less one", std::vector<std::size_t>(kRefusedPassLimit - 1, 0), {"XYWRITE"}, 1,
         false},
        {"refused on every pass up to the limit", std::vector<std::size_t>(kRefusedPassLimit, 0), {"XYWRITE"}, 0,
         true},
        {"a pass without XyWrite between", std::vector<std::size_t>(kRefusedPassLimit, 0),
         {"XYWRITE", "XYWRITE", "Notepad", "XYWRITE"}, 1, false},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        FakeXyWrite xy(p);
        p.inputTaken = c.taken;
        p.titles = c.titles;
        p.maxForegroundQueries = kRefusedPassLimit + 2;
        RunProgram(p, "11107B 5 8");
        EXPECT_EQ(xy.saves > 0, c.saves > 0) << c.name;
        ASSERT_EQ(p.boxes.size(), c.told ? 1u : 0u) << c.name;
        if (c.told) {
            EXPECT_EQ(p.boxes[0].text.rfind("Error # 81 (Debug #16)", 0), 0u) << p.boxes[0].text;
            EXPECT_NE(p.boxes[0].text.find("none of the keys on 10 passes in a row"), std::string::npos);
        }
        EXPECT_TRUE(std::find(p.sleeps.begin(), p.sleeps.end(), 1500) == p.sleeps.end() || c.saves > 0)
            << c.name << ": no pause for a save after keys that went nowhere";
    }
}

TEST(WatchCycle, SnapshotsOnlyWhenTheTextChanged) {
    MemoryPlatform p;
    FakeXyWrite xy(p);
    p.titles = {"XYWRITE - DOC"};
    p.maxForegroundQueries = 8;
    p.onForegroundQuery = [&](long n) { xy.text = "edit " + std::to_string((n + 1) / 2); };
    RunProgram(p, "11107B 1 3");
    EXPECT_EQ(xy.saves, 8);  // four edits, each saved twice; depth 3 retires the first
    EXPECT_FALSE(p.Has(Snapshot("DOC", 1)));
    EXPECT_EQ(p.Content(Snapshot("DOC", 2)), "edit 2");
    EXPECT_EQ(p.Content(Snapshot("DOC", 4)), "edit 4");
    EXPECT_FALSE(p.Has(Snapshot("DOC", 5)));
    // Exactly one sleep of the interval per pass, and no pause, the save
    // being there with the keys: no busy loop.
    EXPECT_EQ(PassSleeps(p), std::vector<std::int32_t>(9, 1000));  // the ninth pass stopped at its window query
}

TEST(WatchCycle, XyWriteNeverInFrontOnlySleepsAndLooks) {
    MemoryPlatform p;
    FakeXyWrite xy(p);
    p.titles = {"Program Manager"};
    p.maxForegroundQueries = 4;
    p.onForegroundQuery = [&](long) { p.PutFile(kDir + "VORNEL.CTL", "DOC."); };
    RunProgram(p, "11107B 2 3");
    // One sleep of the interval per pass, the stopped fifth pass included.
    EXPECT_EQ(p.sleeps, (std::vector<std::int32_t>(5, 2000)));
    EXPECT_TRUE(p.keyEvents.empty());
    EXPECT_TRUE(p.Has(kDir + "VORNEL.CTL"));
    EXPECT_EQ(p.counts[static_cast<int>(Op::Read)], 0);
}

TEST(WatchCycle, TitleMustBeginWithXyWrite) {
    const struct {
        const char* title;
        bool passes;
    } cases[] = {{"XYWRITE", true}, {"XyWrite IV - DOC", true}, {"xywriter", true},
                 {"Document - XyWrite", false}, {" XYWRITE", false}, {"", false}, {"XYWRIT", false}};
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.titles = {c.title};
        p.maxForegroundQueries = 1;
        RunProgram(p, "41 1 3");
        EXPECT_EQ(!p.keyEvents.empty(), c.passes) << c.title;
    }
}

TEST(WatchCycle, CommandKWithAnotherWindowReadsNothing) {
    MemoryPlatform p;
    p.titles = {"Document - XyWrite"};
    p.PutFile(kDir + "VORNEL.CTL", "DOC.");
    p.PutFile(kDir + "DOC.BAK", "x");
    EXPECT_EQ(RunProgram(p, "K 3"), Ended::ByEnd);
    EXPECT_EQ(p.foregroundQueries, 1);
    EXPECT_EQ(p.counts[static_cast<int>(Op::Read)], 0);
    EXPECT_TRUE(p.Has(kDir + "VORNEL.CTL"));
}

TEST(WatchCycle, CommandKWithXyWriteTakesTheCopyInAtOnce) {
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    p.PutFile(kDir + "VORNEL.CTL", "DOC.");
    p.PutFile(kDir + "DOC.BAK", "x");
    EXPECT_EQ(RunProgram(p, "K 3"), Ended::ByEnd);
    EXPECT_TRUE(p.keyEvents.empty());
    EXPECT_TRUE(p.sleeps.empty());
    EXPECT_EQ(p.Content(Snapshot("DOC", 1)), "x");
}

TEST(WatchCycle, ALateSaveIsTakenInByTheNextPass) {
    MemoryPlatform p;
    p.titles = {"XYWRITE"};
    p.maxForegroundQueries = 2;
    // The macro is slow: its files appear only after the pause.
    p.onSleep = [&](std::int32_t ms) {
        if (ms != 1000 && p.Milliseconds() >= 1000 + 1500 && !p.Has(Snapshot("DOC", 1))) {
            p.onSleep = nullptr;
            p.onForegroundQuery = [&](long) {
                if (!p.Has(kDir + "DOC.BAK")) {
                    p.PutFile(kDir + "DOC.BAK", "late");
                    p.PutFile(kDir + "VORNEL.CTL", "DOC.");
                }
            };
        }
    };
    RunProgram(p, "41 1 3");
    EXPECT_EQ(p.Content(Snapshot("DOC", 1)), "late");
}

TEST(WatchCycle, FailureInALaterPassShowsSevenOrFourteenNeverSix) {
    const struct {
        const char* title;
        Op op;
        long nth;
        int checkpoint;
    } cases[] = {
        {"Other", Op::Sleep, 1, 6},
        {"Other", Op::Sleep, 2, 7},
        {"Other", Op::ForegroundWindow, 2, 7},
        {"Other", Op::WindowText, 3, 7},
        {"XYWRITE", Op::Sleep, 2, 16},  // a pause between the chord's keys
        {"XYWRITE", Op::Sleep, 5, 10},  // the pause for the save, part of taking it in
        {"XYWRITE", Op::ForegroundWindow, 2, 14},
        {"XYWRITE", Op::WindowText, 2, 14},
        {"XYWRITE", Op::KeyEvent, 1, 16},  // the chord goes out after its held keys' release is worked out
        {"XYWRITE", Op::KeyState, 1, 7},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.titles = {c.title};
        p.FailNth(c.op, c.nth, kPermissionDenied);
        RunProgram(p, "1141 1 3");
        ASSERT_EQ(p.boxes.size(), 1u) << c.title;
        EXPECT_EQ(p.boxes[0].text, ErrorBox(70, "Permission denied", c.checkpoint)) << c.title;
    }
}

// Q touches nothing. It is silent when no watch mode runs (or the one that
// ran has ended); a watch mode that does not end in time gets a box that
// says what to do, so the user never believes watching has stopped.
TEST(WatchCycle, QTellsWhenWatchModeGoesOn) {
    for (const bool stuck : {false, true}) {
        MemoryPlatform p;
        p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
        if (stuck) p.machine()->watches[kDir] = 99;  // another run's, which never lets go
        EXPECT_EQ(RunProgram(p, "Q DOC"), Ended::ByEnd);
        EXPECT_TRUE(p.touched.empty());
        EXPECT_EQ(p.foregroundQueries, 0);
        EXPECT_TRUE(p.Has(kDir + "VORNEL.CTL"));
        if (!stuck) {
            EXPECT_TRUE(p.boxes.empty());
            continue;
        }
        ASSERT_EQ(p.boxes.size(), 1u);
        EXPECT_EQ(p.boxes[0].caption, "Vornel");
        EXPECT_EQ(p.boxes[0].text, StillWatching());
        EXPECT_NE(p.boxes[0].text.find("Task Manager"), std::string::npos);
        EXPECT_FALSE(p.boxes[0].heldAnything);
    }
}

TEST(WatchCycle, CommandUPausesButTypesNothing) {
    MemoryPlatform p;
    PutSnapshots(p, "DOC", 1, 2);
    p.titles = {"XYWRITE"};
    p.FailNth(Op::Sleep, 1, kPermissionDenied);
    RunProgram(p, "U DOC");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(70, "Permission denied", 10));
    EXPECT_TRUE(p.keyEvents.empty());
}

// The pause after the keys ends at the first look that finds the save all
// there: the control file closed, and the transfer file it names there and
// closed. A save that is not all there by 1.5 s is left to the next pass,
// and nothing is ever filed half written.
TEST(WatchCycle, ThePauseEndsWhenTheSaveHasArrived) {
    enum What { BakOpen, Bak, CtlOpen, Ctl, CtlOther };
    const struct {
        const char* name;
        std::vector<std::pair<int, What>> macro;  // ms after the last key: what the macro does
        int pauseFrom, pauseTo;                    // how long the pause lasts
        const char* filed;                         // DOC.001 after the pass
    } cases[] = {
        {"the save with the keys", {{0, Bak}, {0, Ctl}}, 0, 0, "whole"},
        {"the save 200 ms later", {{200, Bak}, {200, Ctl}}, 200, 240, "whole"},
        {"the control file first, the transfer file written till 700 ms",
         {{100, Ctl}, {100, BakOpen}, {700, Bak}}, 700, 740, "whole"},
        {"the control file first, the transfer file made at 300 ms", {{100, Ctl}, {300, Bak}}, 300, 340, "whole"},
        {"the control file open till 500 ms", {{100, Bak}, {100, CtlOpen}, {500, Ctl}}, 500, 540, "whole"},
        {"no transfer file: as long as ever", {{100, Ctl}}, 1500, 1500, ""},
        {"a name in the control file with no transfer file", {{100, Bak}, {100, CtlOther}}, 1500, 1500, ""},
        {"nothing", {}, 1500, 1500, ""},
        {"the transfer file still being written at 1.5 s", {{100, Ctl}, {100, BakOpen}, {1600, Bak}}, 1500, 1500, ""},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.titles = {"XYWRITE - DOC"};
        p.maxForegroundQueries = 1;
        std::int64_t keysAt = -1;
        auto macro = c.macro;
        const auto play = [&] {
            const std::int64_t now = p.Milliseconds() - keysAt;
            while (!macro.empty() && macro.front().first <= now) {
                switch (macro.front().second) {
                    case BakOpen: p.PutBeingWritten(kDir + "DOC.BAK", "wh"); break;
                    case Bak:
                        p.PutFile(kDir + "DOC.BAK", "whole");
                        p.machine()->entries[kDir + "DOC.BAK"].beingWritten = false;
                        break;
                    case CtlOpen: p.PutBeingWritten(kDir + "VORNEL.CTL", "DO"); break;
                    case Ctl:
                        p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
                        p.machine()->entries[kDir + "VORNEL.CTL"].beingWritten = false;
                        break;
                    case CtlOther: p.PutFile(kDir + "VORNEL.CTL", "OTHER\x1a"); break;
                }
                macro.erase(macro.begin());
            }
        };
        p.onKeyEvent = [&](const KeyEvent& e) {
            if (e.vk == 0x11 && (e.flags & kKeyEventKeyUp)) {
                keysAt = p.Milliseconds();
                play();
            }
        };
        p.onSleep = [&](std::int32_t) {
            if (keysAt >= 0) play();
        };
        RunProgram(p, "11107B 1 3");  // stopped at the next pass's look for the window, after its interval
        const std::int64_t pause = p.Milliseconds() - 1000 - keysAt;
        EXPECT_GE(pause, c.pauseFrom) << c.name;
        EXPECT_LE(pause, c.pauseTo) << c.name;
        EXPECT_EQ(p.Content(Snapshot("DOC", 1)), c.filed) << c.name;
    }
}

}  // namespace
}  // namespace vornel::test
