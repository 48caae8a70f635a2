// Runs that overlap: watch mode with an intake against a U, an R, a K and a
// second watch start, and U against U and R. The second run is started at
// every operation of the first in turn; whatever the interleaving, no box, no
// snapshot lost but to retention, steps that compose, and one chord per pass.
#include <gtest/gtest.h>

#include <set>

#include "support/overlap.h"
#include "support/sim.h"

namespace vornel::test {
namespace {

struct Pairing {
    const char* name;
    const char* first;
    const char* second;
    const char* state;  // DOC.DAT at the start; "" for none
    std::set<std::string> endStates;  // DOC.DAT at the end, either order's; empty: untouched
    int mayLose;        // snapshots retention may retire
};

const Pairing kPairings[] = {
    {"watch and U", "11107B 1 5", "U DOC", "2 4", {"2 3"}, 1},
    {"watch and R", "11107B 1 5", "R DOC", "2 4", {"3 5"}, 1},
    {"watch and a first U, which captures", "11107B 1 5", "U DOC", "", {"2 4", "2 5"}, 1},  // 006 filed before U or not
    {"watch and K", "11107B 1 5", "K 5", "", {}, 1},
    {"watch and a second watch", "11107B 1 5", "11107B 2 5", "", {}, 2},
    {"watch and Q", "11107B 1 5", "Q", "", {}, 1},
    {"U and U", "U DOC", "U DOC", "2 4", {"2 2"}, 0},
    {"U and U, both capturing", "U DOC", "U DOC", "", {"2 3"}, 0},
    {"U and R", "U DOC", "R DOC", "2 3", {"2 3", "3 3"}, 0},
};

// XyWrite's macro, for both runs: the chord saves the document. Records which
// run typed each chord.
void PlayMacro(MemoryPlatform& p, std::vector<int>& chords) {
    p.onKeyEvent = [&p, &chords](const KeyEvent& e) {
        if (e.vk != 0x7B || e.flags != 0) return;
        chords.push_back(p.run());
        p.PutFile(kDir + "DOC.BAK", "edit " + std::to_string(chords.size()));
        p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
    };
}

void Prepare(MemoryPlatform& p, const char* command, std::vector<int>& chords) {
    p.commandLine = command;
    p.titles = {"XYWRITE - DOC"};
    p.maxForegroundQueries = 1;  // watch mode: one pass, then stopped from outside
    PlayMacro(p, chords);
}

TEST(Overlap, EveryStartPointOfTheSecondRun) {
    long pairs = 0;
    for (const Pairing& pairing : kPairings) {
        SCOPED_TRACE(pairing.name);
        for (long at = 1;; ++at) {
            SCOPED_TRACE("second run started at operation " + std::to_string(at));
            std::vector<int> chords;
            MemoryPlatform first;
            MemoryPlatform second(first.machine());
            PutSnapshots(first, "DOC", 1, 5);
            if (*pairing.state) first.PutFile(kDir + "DOC.DAT", pairing.state);
            Prepare(first, pairing.first, chords);
            Prepare(second, pairing.second, chords);
            if (!RunOverlapped(first, second, at)) break;
            ++pairs;

            ASSERT_TRUE(first.boxes.empty()) << first.boxes[0].text;
            ASSERT_TRUE(second.boxes.empty()) << second.boxes[0].text;
            if (std::string(pairing.second) == "Q") EXPECT_TRUE(second.touched.empty()) << "Q touches no file";
            int lost = 0;
            for (int n = 1; n <= 5; ++n) {
                bool kept = false;
                for (const std::string& path : first.Names()) kept = kept || first.Content(path) == "v" + std::to_string(n);
                lost += kept ? 0 : 1;
                if (!kept) EXPECT_LE(n, pairing.mayLose) << "only the oldest may go";
            }
            EXPECT_LE(lost, pairing.mayLose);
            EXPECT_FALSE(first.Has(kDir + "DOC.VN~"));

            const std::string state = first.Content(kDir + "DOC.DAT");
            if (pairing.endStates.empty()) {
                EXPECT_EQ(state, pairing.state);
            } else {
                EXPECT_TRUE(pairing.endStates.count(state)) << "ended on " << state;
                const int pointer = std::stoi(state.substr(2));
                EXPECT_EQ(first.Content(kDir + "DOC.VRN"), first.Content(Snapshot("DOC", pointer)));
            }
            // The chord changes hands once at most: a watch mode taken over
            // from never types again.
            int handovers = 0;
            for (std::size_t i = 1; i < chords.size(); ++i) handovers += chords[i] != chords[i - 1];
            EXPECT_LE(handovers, 1) << "two watch modes typed in turn";
        }
    }
    EXPECT_GT(pairs, 200);
}

// A box blocks nobody: a failing run lets go of VN\ (and a failing watch mode
// of its claim) before its box shows.
TEST(Overlap, AFailingRunLetsGoBeforeItsBox) {
    const struct {
        const char* command;
        Op op;
    } cases[] = {{"U DOC", Op::Copy}, {"R DOC", Op::Replace}, {"K 3", Op::Rename}, {"11107B 1 3", Op::Rename}};
    for (const auto& c : cases) {
        MemoryPlatform p;
        std::vector<int> chords;
        Prepare(p, c.command, chords);
        PutSnapshots(p, "DOC", 1, 3);
        p.PutFile(kDir + "DOC.DAT", "2 3");
        p.PutFile(kDir + "DOC.BAK", "new");
        p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
        p.FailNth(c.op, 1, kDiskFull);
        RunProgram(p);
        ASSERT_EQ(p.boxes.size(), 1u) << c.command;
        EXPECT_FALSE(p.boxes[0].heldAnything) << c.command;
    }
}

}  // namespace
}  // namespace vornel::test
