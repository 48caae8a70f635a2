// Every platform operation of a run, failed in turn: the failure box must name
// the stage that failed, the program must end, and no snapshot may be lost
// beyond the one that retention retires.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <numeric>
#include <set>

#include "support/sim.h"

namespace vornel::test {
namespace {

struct Scenario {
    const char* name;
    std::function<void(MemoryPlatform&)> setUp;
    const char* command;
    int mayRetire;         // snapshots retention may delete
    bool transferPresent;  // a changed DOC.BAK is there from the start
};

void Intake(MemoryPlatform& p) {
    p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
    p.PutFile(kDir + "DOC.BAK", "new");
}

const Scenario kScenarios[] = {
    {"first intake", [](MemoryPlatform& p) { Intake(p); }, "K 3", 0, true},
    {"intake at depth", [](MemoryPlatform& p) { PutSnapshots(p, "DOC", 5, 7), Intake(p); }, "K 3", 1, true},
    {"renumbering at 999", [](MemoryPlatform& p) { PutSnapshots(p, "DOC", 985, 999), Intake(p); }, "K 15", 1, true},
    {"unchanged copy",
     [](MemoryPlatform& p) {
         PutSnapshots(p, "DOC", 1, 2);
         Intake(p);
         p.PutFile(kDir + "DOC.BAK", "v2");
     },
     "K 2", 0, false},
    {"U with capture",
     [](MemoryPlatform& p) {
         PutSnapshots(p, "DOC", 1, 5);
         p.onForegroundQuery = [&p](long) { Intake(p); };
     },
     "U DOC", 0, false},
    {"U", [](MemoryPlatform& p) { PutSnapshots(p, "DOC", 1, 5), p.PutFile(kDir + "DOC.DAT", "2 4"), p.PutFile(kDir + "DOC.VRN", "old"); },
     "U DOC", 0, false},
    {"R", [](MemoryPlatform& p) { PutSnapshots(p, "DOC", 1, 5), p.PutFile(kDir + "DOC.DAT", "2 3"), p.PutFile(kDir + "DOC.VRN", "old"); },
     "R DOC", 0, false},
};

// XyWrite in front, and the scenario's files.
void SetScene(MemoryPlatform& p, const Scenario& s) {
    p.titles = {"XYWRITE - DOC"};
    s.setUp(p);
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsSnapshot(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    return name.size() == 7 && name.compare(0, 4, "DOC.") == 0 &&
           name.find_first_not_of("0123456789", 4) == std::string::npos;
}

// The checkpoints that may stand when an operation on this path fails.
std::set<int> Allowed(const Operation& o, bool watching, int transferChecks) {
    const std::string& path = o.path;
    switch (o.op) {
        case Op::CommandLine: return {1};
        case Op::ProgramDirectory: return {2};
        case Op::ForegroundWindow:
        case Op::WindowText: return {6};
        case Op::Sleep: return {7, 10};  // a look for the window, the pause for the save
        case Op::Copy: return {19};
        case Op::ListNext: return {15};
        case Op::Compare: return {12};
        case Op::Lock: return {2, 3, 10, 14};  // start, preflight, intake, the step after a capture
        default: break;
    }
    if (EndsWith(path, "VORNEL.CTL")) return watching ? std::set<int>{10} : std::set<int>{2};
    if (EndsWith(path, "DOC.*")) return {15};
    if (EndsWith(path, "DOC.BAK")) {
        // Before the intake has the control file, only the look for the save touches it.
        if (transferChecks == 0) return {10};
        const bool existenceTest = o.op == Op::ListFirst && transferChecks == 1;
        return o.op == Op::Size || o.op == Op::BeingWritten || existenceTest ? std::set<int>{15} : std::set<int>{13};
    }
    if (EndsWith(path, "DOC.DAT")) return o.op == Op::Read ? std::set<int>{5} : std::set<int>{4, 14};
    if (EndsWith(path, "DOC.VN~")) return o.op == Op::Write ? std::set<int>{20} : std::set<int>{19, 20};
    if (IsSnapshot(path)) {
        if (o.op == Op::Size) return {12};
        if (o.op == Op::ListFirst) return {12, 13, 18};
        return {13};
    }
    return {};
}

// How many of the snapshots' contents before are in none of them after.
int Lost(const std::set<std::string>& before, const std::set<std::string>& after) {
    int lost = 0;
    for (const std::string& content : before) lost += after.count(content) ? 0 : 1;
    return lost;
}

std::set<std::string> SnapshotContents(const MemoryPlatform& p) {
    std::set<std::string> contents;
    for (const std::string& path : p.Names())
        if (IsSnapshot(path)) contents.insert(p.Content(path));
    return contents;
}

std::vector<std::int32_t> KindsFor(Op op) {
    switch (op) {
        case Op::Read:
        case Op::Delete: return {kPermissionDenied, kFileNotFound};
        case Op::Rename:
        case Op::Copy: return {kPermissionDenied, kFileNotFound, kDiskFull};
        case Op::Write:
        case Op::Replace: return {kPermissionDenied, kDiskFull};
        case Op::Unlock:
        case Op::Release: return {};  // letting go cannot fail
        default: return {kPermissionDenied};
    }
}

// Every file and its bytes, by name.
std::map<std::string, std::string> Files(const MemoryPlatform& p) {
    std::map<std::string, std::string> files;
    for (const std::string& path : p.Names()) files[path] = p.Content(path);
    return files;
}

// The operations another program's hold can make fail, and that are waited out.
bool IsFileWork(Op op) {
    switch (op) {
        case Op::Delete: case Op::Rename: case Op::Copy: case Op::Read: case Op::Write:
        case Op::Replace: case Op::Size: case Op::Compare: return true;
        default: return false;
    }
}

// Another program holds the file of each operation in turn: a hold of a few
// tries is waited out and changes nothing; one past the limit gives the box
// the same operation's failure 70 gives.
TEST(FaultSweep, EveryOperationHeldByAnotherProgramInTurn) {
    int runs = 0;
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        MemoryPlatform clean;
        SetScene(clean, s);
        RunProgram(clean, s.command);
        for (std::size_t i = 0; i < clean.log.size(); ++i) {
            if (!IsFileWork(clean.log[i].op)) continue;
            SCOPED_TRACE("operation " + std::to_string(i + 1) + " on '" + clean.log[i].path + "'");
            const long at = static_cast<long>(i + 1);
            MemoryPlatform brief, failed, held;
            for (MemoryPlatform* p : {&brief, &failed, &held}) {
                SetScene(*p, s);
            }
            brief.HoldNthOperation(at, 3);
            failed.FailNthOperation(at, kPermissionDenied);
            held.HoldNthOperation(at, 1000);
            for (MemoryPlatform* p : {&brief, &failed, &held}) ASSERT_EQ(RunProgram(*p, s.command), Ended::ByEnd);
            runs += 3;
            EXPECT_TRUE(brief.boxes.empty()) << brief.boxes[0].text;
            EXPECT_EQ(Files(brief), Files(clean));
            ASSERT_EQ(held.boxes.size(), 1u);
            ASSERT_EQ(failed.boxes.size(), 1u);
            EXPECT_EQ(held.boxes[0].text, failed.boxes[0].text);
            EXPECT_EQ(Files(held), Files(failed)) << "a hold that outlasts the wait leaves what a failure leaves";
            const int waited = std::accumulate(held.sleeps.begin(), held.sleeps.end(), 0) -
                               std::accumulate(failed.sleeps.begin(), failed.sleeps.end(), 0);
            EXPECT_GE(waited, 3000);
            EXPECT_LE(waited, 3300);
        }
    }
    EXPECT_GT(runs, 100);
}

// Lasting refusals are not waited out: a read-only snapshot that retention
// must delete fails at once with 75.
TEST(FaultSweep, AReadOnlySnapshotFailsAtOnce) {
    MemoryPlatform p;
    p.titles = {"XYWRITE - DOC"};
    PutSnapshots(p, "DOC", 2, 3);
    p.PutReadOnly(Snapshot("DOC", 1), "v1");
    Intake(p);
    RunProgram(p, "K 3");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(75, "Path/File access error", 13));
    EXPECT_TRUE(p.sleeps.empty());
}

int DepthOf(const std::string& command) { return command[0] == 'K' ? std::stoi(command.substr(2)) : 5; }

// A run killed at any operation (Task Manager, a crash, a power cut) leaves
// its work half done; the runs after it finish the job with nothing lost.
TEST(FaultSweep, KilledAtEveryOperationTheNextRunsConverge) {
    int runs = 0;
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        MemoryPlatform clean;
        SetScene(clean, s);
        const std::set<std::string> before = SnapshotContents(clean);
        RunProgram(clean, s.command);
        const int depth = DepthOf(s.command);
        for (long at = 1; at <= static_cast<long>(clean.log.size()); ++at) {
            SCOPED_TRACE("killed at operation " + std::to_string(at));
            MemoryPlatform killed;
            SetScene(killed, s);
            killed.KillAtOperation(at);
            RunProgram(killed, s.command);
            killed.LetGo();
            ++runs;
            EXPECT_TRUE(killed.boxes.empty());
            const std::set<std::string> left = SnapshotContents(killed);
            EXPECT_LE(Lost(before, left), s.mayRetire);
            if (s.transferPresent)
                EXPECT_TRUE(left.count("new") || killed.Content(kDir + "DOC.BAK") == "new") << "the saved copy is gone";

            // Two saves, then a step, each a run of its own on what the killed one left.
            for (const char* save : {"save 1", "save 2"}) {
                MemoryPlatform next(killed.machine());
                next.titles = {"XYWRITE - DOC"};
                next.PutFile(kDir + "DOC.BAK", save);
                next.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
                ASSERT_EQ(RunProgram(next, "K " + std::to_string(depth)), Ended::ByEnd);
                ASSERT_TRUE(next.boxes.empty()) << next.boxes[0].text;
                const std::set<std::string> now = SnapshotContents(next);
                EXPECT_TRUE(now.count(save)) << save << " was not filed";
                int count = 0;
                for (const std::string& path : next.Names()) count += IsSnapshot(path) ? 1 : 0;
                EXPECT_LE(count, std::string(save) == "save 1" ? depth + 1 : depth);
            }
            MemoryPlatform step(killed.machine());
            step.titles = {"XYWRITE - DOC"};
            ASSERT_EQ(RunProgram(step, "U DOC"), Ended::ByEnd);
            ASSERT_TRUE(step.boxes.empty()) << step.boxes[0].text;
            const std::string state = step.Content(kDir + "DOC.DAT");
            ASSERT_EQ(state.substr(0, 2), "2 ");
            EXPECT_EQ(step.Content(kDir + "DOC.VRN"), step.Content(Snapshot("DOC", std::stoi(state.substr(2)))));
            EXPECT_FALSE(step.Has(kDir + "DOC.VN~"));
        }
    }
    EXPECT_GT(runs, 100);
}

TEST(FaultSweep, EveryOperationFailedInTurn) {
    int runs = 0;
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        MemoryPlatform clean;
        SetScene(clean, s);
        const std::set<std::string> before = SnapshotContents(clean);
        ASSERT_EQ(RunProgram(clean, s.command), Ended::ByEnd);
        ASSERT_TRUE(clean.boxes.empty());

        bool watching = false;
        int transferChecks = 0;  // the intake's looks at DOC.BAK, once it has taken the control file
        bool taken = false;
        for (std::size_t i = 0; i < clean.log.size(); ++i) {
            const Operation& o = clean.log[i];
            if (o.op == Op::ForegroundWindow) watching = true;
            if (o.op == Op::Delete && EndsWith(o.path, "VORNEL.CTL")) taken = true;
            if (taken && o.op == Op::ListFirst && EndsWith(o.path, "DOC.BAK")) ++transferChecks;
            for (const std::int32_t kind : KindsFor(o.op)) {
                SCOPED_TRACE("operation " + std::to_string(i + 1) + " on '" + o.path + "', failure " + std::to_string(kind));
                MemoryPlatform p;
                ++runs;
                SetScene(p, s);
                p.FailNthOperation(static_cast<long>(i + 1), kind);
                ASSERT_EQ(RunProgram(p, s.command), Ended::ByEnd);
                ASSERT_EQ(p.boxes.size(), 1u);
                const std::string& text = p.boxes[0].text;
                const auto at = text.find("(Debug #");
                ASSERT_NE(at, std::string::npos) << text;
                const int checkpoint = std::stoi(text.substr(at + 8));
                EXPECT_TRUE(Allowed(o, watching, transferChecks).count(checkpoint)) << text;
                EXPECT_EQ(text, ErrorBox(kind, MakeFailure(kind).description, checkpoint));

                const std::set<std::string> after = SnapshotContents(p);
                EXPECT_LE(Lost(before, after), s.mayRetire);
                if (s.transferPresent)
                    EXPECT_TRUE(after.count("new") || p.Content(kDir + "DOC.BAK") == "new") << "the saved copy is gone";
            }
        }
    }
    RecordProperty("faulted_runs", runs);
    EXPECT_GT(runs, 200);
}

}  // namespace
}  // namespace vornel::test
