// Every platform operation of a run, failed in turn: the failure box must name
// the stage that failed, the program must end, and no snapshot may be lost
// beyond the one that retention retires.
#include <gtest/gtest.h>

#include <functional>
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
        case Op::Sleep: return {7};
        case Op::Copy: return {19};
        case Op::ListNext: return {15};
        case Op::Compare: return {12};
        case Op::Lock: return {2, 3, 10, 14};  // start, preflight, intake, the step after a capture
        default: break;
    }
    if (EndsWith(path, "VORNEL.CTL")) return watching ? std::set<int>{10} : std::set<int>{2};
    if (EndsWith(path, "DOC.*")) return {15};
    if (EndsWith(path, "DOC.BAK")) {
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

TEST(FaultSweep, EveryOperationFailedInTurn) {
    int runs = 0;
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        MemoryPlatform clean;
        clean.titles = {"XYWRITE - DOC"};
        s.setUp(clean);
        const std::set<std::string> before = SnapshotContents(clean);
        ASSERT_EQ(RunProgram(clean, s.command), Ended::ByEnd);
        ASSERT_TRUE(clean.boxes.empty());

        bool watching = false;
        int transferChecks = 0;
        for (std::size_t i = 0; i < clean.log.size(); ++i) {
            const Operation& o = clean.log[i];
            if (o.op == Op::ForegroundWindow) watching = true;
            if (o.op == Op::ListFirst && EndsWith(o.path, "DOC.BAK")) ++transferChecks;
            for (const std::int32_t kind : KindsFor(o.op)) {
                SCOPED_TRACE("operation " + std::to_string(i + 1) + " on '" + o.path + "', failure " + std::to_string(kind));
                MemoryPlatform p;
                ++runs;
                p.titles = {"XYWRITE - DOC"};
                s.setUp(p);
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
                int lost = 0;
                for (const std::string& content : before) lost += after.count(content) ? 0 : 1;
                EXPECT_LE(lost, s.mayRetire);
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
