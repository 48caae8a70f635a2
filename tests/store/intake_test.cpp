// Intake through command K: one pass with XyWrite in front, no keys, no pause.
#include "store/intake.h"

#include <gtest/gtest.h>

#include "support/sim.h"

namespace vornel::test {
namespace {

class IntakeTest : public ::testing::Test {
protected:
    void SetUp() override { p.titles = {"XYWRITE - DOC"}; }
    void Save(const std::string& content, const std::string& control = "DOC\x1a") {
        p.PutFile(kDir + "DOC.BAK", content);
        p.PutFile(kDir + "VORNEL.CTL", control);
    }
    void Intake(int depth) { RunProgram(p, "K " + std::to_string(depth)); }
    // Contents of DOC.001 .. DOC.999, as "number=content" in ascending order.
    std::vector<std::string> Store() {
        std::vector<std::string> out;
        for (int n = 0; n <= 1000; ++n)
            if (p.Has(Snapshot("DOC", n))) out.push_back(std::to_string(n) + "=" + p.Content(Snapshot("DOC", n)));
        return out;
    }
    using V = std::vector<std::string>;
    MemoryPlatform p;
};

TEST_F(IntakeTest, FirstIntakeBecomes001WithoutComparison) {
    Save("hello");
    Intake(2);
    EXPECT_EQ(Store(), (V{"1=hello"}));
    EXPECT_FALSE(p.Has(kDir + "DOC.BAK"));
    EXPECT_FALSE(p.Has(kDir + "VORNEL.CTL"));
    EXPECT_EQ(p.counts[static_cast<int>(Op::Read)], 1);  // the control file only
    EXPECT_TRUE(p.boxes.empty());
}

TEST_F(IntakeTest, DepthOneFirstIntakeSkipsRetention) {
    Save("hello");
    Intake(1);
    EXPECT_EQ(Store(), (V{"1=hello"}));
    EXPECT_TRUE(p.boxes.empty());
}

TEST_F(IntakeTest, UnchangedCopyLeavesNoTrace) {
    p.PutFile(Snapshot("DOC", 1), "old");
    p.PutFile(Snapshot("DOC", 2), "same");
    Save("same");
    Intake(5);
    EXPECT_EQ(Store(), (V{"1=old", "2=same"}));
    EXPECT_FALSE(p.Has(kDir + "DOC.BAK"));
}

TEST_F(IntakeTest, ComparisonIsExactBytes) {
    p.PutFile(Snapshot("DOC", 1), "text\r\n");
    Save("text\n");
    Intake(5);
    EXPECT_EQ(Store(), (V{"1=text\r\n", "2=text\n"}));
}

// A number taken by a name the listing hides (a hidden or system file, a
// folder) is passed by: never deleted, renamed onto or written over.
TEST(Intake, ANumberTakenByAHiddenNameIsPassedBy) {
    using V = std::vector<std::string>;
    const struct {
        const char* name;
        int first, last, hidden, hiddenTo, depth;
        bool folder;
        V store;
        bool full = false;  // no number is free: 58, with nothing made and nothing retired
    } cases[] = {
        {"above the newest", 1, 5, 6, 6, 5, false, {"2=v2", "3=v3", "4=v4", "5=v5", "6=hidden", "7=new"}},
        {"a folder above the newest", 1, 5, 6, 6, 5, true, {"2=v2", "3=v3", "4=v4", "5=v5", "7=new"}},
        {"the first number", 0, -1, 1, 1, 3, false, {"1=hidden", "2=new"}},
        {"in the renumbering at 999", 997, 999, 1, 1, 3, false, {"1=hidden", "2=v998", "3=v999", "4=new"}},
        {"every number, first save", 0, -1, 1, 999, 3, false, {}, true},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.titles = {"XYWRITE - DOC"};
        if (c.last >= c.first) PutSnapshots(p, "DOC", c.first, c.last);
        for (int n = c.hidden; n <= c.hiddenTo; ++n) {
            if (c.folder)
                p.PutDirectory(Snapshot("DOC", n));
            else
                p.PutHidden(Snapshot("DOC", n), "hidden");
        }
        for (int save = 0; save < 2; ++save) {  // and the next intake does not fail on it either
            p.PutFile(kDir + "DOC.BAK", save ? "newer" : "new");
            p.PutFile(kDir + "VORNEL.CTL", "DOC\x1a");
            RunProgram(p, "K " + std::to_string(c.depth));
            if (c.full) {
                ASSERT_EQ(p.boxes.size(), 1u) << c.name;
                EXPECT_EQ(p.boxes[0].text, ErrorBox(58, "File already exists", 13)) << c.name;
                EXPECT_EQ(p.Content(kDir + "DOC.BAK"), "new") << c.name;
                EXPECT_FALSE(p.Has(kDir + "DOC.1000")) << c.name;
                EXPECT_EQ(p.Names().size(), 1000u) << c.name << ": the hidden names and DOC.BAK, nothing more";
                break;
            }
            ASSERT_TRUE(p.boxes.empty()) << c.name << ": " << p.boxes[0].text;
            if (save) break;
            V store;
            for (int n = 0; n <= 999; ++n)
                if (p.Has(Snapshot("DOC", n))) store.push_back(std::to_string(n) + "=" + p.Content(Snapshot("DOC", n)));
            EXPECT_EQ(store, c.store) << c.name;
        }
        EXPECT_TRUE(c.folder || p.Content(Snapshot("DOC", c.hidden)) == "hidden") << c.name;
    }
}

TEST_F(IntakeTest, RetentionAtDepthDeletesTheOldest) {
    PutSnapshots(p, "DOC", 5, 7);
    Save("new");
    Intake(3);
    EXPECT_EQ(Store(), (V{"6=v6", "7=v7", "8=new"}));
}

// A store above its depth (a capture, a lowered depth) loses its two oldest
// per filed copy, and so comes back one snapshot at a time.
TEST_F(IntakeTest, AStoreAboveItsDepthComesBackOneAtATime) {
    const struct {
        int last, depth;
        V store;
    } cases[] = {
        {5, 5, {"2=v2", "3=v3", "4=v4", "5=v5", "6=new"}},
        {6, 5, {"3=v3", "4=v4", "5=v5", "6=v6", "7=new"}},
        {9, 5, {"3=v3", "4=v4", "5=v5", "6=v6", "7=v7", "8=v8", "9=v9", "10=new"}},
        {4, 3, {"3=v3", "4=v4", "5=new"}},
        {4, 1, {"3=v3", "4=v4", "5=new"}},
    };
    for (const auto& c : cases) {
        MemoryPlatform fresh;
        std::swap(p, fresh);
        SetUp();
        PutSnapshots(p, "DOC", 1, c.last);
        Save("new");
        Intake(c.depth);
        EXPECT_EQ(Store(), c.store) << c.last << " at depth " << c.depth;
    }
}

TEST_F(IntakeTest, DepthZeroNeverDeletes) {
    PutSnapshots(p, "DOC", 1, 1);
    Save("new");
    Intake(0);
    EXPECT_EQ(Store(), (V{"1=v1", "2=new"}));
}

TEST_F(IntakeTest, RenumbersAt999) {
    PutSnapshots(p, "DOC", 997, 999);
    Save("new");
    Intake(3);
    EXPECT_EQ(Store(), (V{"1=v998", "2=v999", "3=new"}));
}

TEST_F(IntakeTest, DepthOneAt999) {
    PutSnapshots(p, "DOC", 999, 999);
    Save("new");
    Intake(1);
    EXPECT_EQ(Store(), (V{"1=new"}));
}

TEST_F(IntakeTest, NeverMakesAFourDigitNumber) {
    PutSnapshots(p, "DOC", 998, 999);
    Save("new");
    Intake(5);  // below the depth: the survivors close up first
    EXPECT_EQ(Store(), (V{"1=v998", "2=v999", "3=new"}));
}

TEST_F(IntakeTest, RenumberingSkipsGapsAndKeepsOrder) {
    for (int n : {990, 993, 999}) p.PutFile(Snapshot("DOC", n), "v" + std::to_string(n));
    Save("new");
    Intake(3);
    EXPECT_EQ(Store(), (V{"1=v993", "2=v999", "3=new"}));
    Save("newer");
    Intake(9);
    EXPECT_EQ(Store(), (V{"1=v993", "2=v999", "3=new", "4=newer"}));
}

TEST_F(IntakeTest, AFullStoreRetiresItsOldest) {
    PutSnapshots(p, "DOC", 1, 999);
    Save("new");
    Intake(5);  // far above the depth, and every number taken: two go
    const V store = Store();
    ASSERT_EQ(store.size(), 998u);
    EXPECT_EQ(store.front(), "1=v3");
    EXPECT_EQ(store[996], "997=v999");
    EXPECT_EQ(store.back(), "998=new");
}

// Stray names never cost a snapshot: an unchanged save is compared with the
// newest file filed under its three digits, and files and retires nothing.
TEST_F(IntakeTest, StrayNamesNeitherFileNorRetireOnAnUnchangedSave) {
    const struct {
        const char* stray;  // holds "odd"
        int last;           // snapshots 1..last hold v1..
        const char* save;
        int depth;
        V store;
    } cases[] = {
        {"DOC.1E3", 5, "v5", 5, {"1=v1", "2=v2", "3=v3", "4=v4", "5=v5"}},
        {"DOC.1E2", 5, "v5", 6, {"1=v1", "2=v2", "3=v3", "4=v4", "5=v5"}},
        {"DOC.4E4", 5, "v5", 5, {"1=v1", "2=v2", "3=v3", "4=v4", "5=v5"}},
        {"DOC.9E9", 2, "new", 9, {"1=v1", "2=v2", "3=new"}},
        {"DOC.&H1", 2, "v2", 3, {"1=v1", "2=v2"}},
        {"DOC.1E2", 2, "new", 9, {"1=v1", "2=v2", "101=new"}},  // 1E2 still counts as 100
        {"DOC.1E2", 0, "odd", 9, {"101=odd"}},                  // nothing filed to compare with
    };
    for (const auto& c : cases) {
        MemoryPlatform fresh;
        std::swap(p, fresh);
        SetUp();
        p.PutFile(kDir + c.stray, "odd");
        if (c.last > 0) PutSnapshots(p, "DOC", 1, c.last);
        Save(c.save);
        Intake(c.depth);
        EXPECT_TRUE(p.boxes.empty()) << c.stray << " " << p.boxes.front().text;
        EXPECT_EQ(Store(), c.store) << c.stray << " " << c.save;
        EXPECT_EQ(p.Content(kDir + c.stray), "odd") << c.stray;
        EXPECT_FALSE(p.Has(kDir + "DOC.BAK")) << c.stray;
    }
}

TEST_F(IntakeTest, ControlFileNameLosesItsLastCharacter) {
    const struct {
        std::string control;
        std::string transfer;  // the transfer file the intake then looks for
    } cases[] = {{"DOC\x1a", "DOC.BAK"}, {"DOC", "DO.BAK"}, {"doc ", "doc.BAK"}};
    for (const auto& c : cases) {
        MemoryPlatform q;
        q.titles = {"XYWRITE"};
        q.PutFile(kDir + "VORNEL.CTL", c.control);
        q.PutFile(kDir + c.transfer, "x");
        RunProgram(q, "K 3");
        EXPECT_TRUE(q.boxes.empty()) << c.control;
        EXPECT_FALSE(q.Has(kDir + c.transfer)) << c.control;
    }
}

TEST_F(IntakeTest, ControlFileFailures) {
    const struct {
        std::string control;
        std::string box;
    } cases[] = {
        {"", ErrorBox(5, "Invalid procedure call or argument", 11)},
        {"DOC\r\n", ErrorBox(52, "Bad file name or number", 11)},  // the CR stays in the name
        {"..\\X.", ErrorBox(52, "Bad file name or number", 11)},
    };
    for (const auto& c : cases) {
        MemoryPlatform q;
        q.titles = {"XYWRITE"};
        q.PutFile(kDir + "VORNEL.CTL", c.control);
        q.PutFile(kDir + "DOC.BAK", "x");
        RunProgram(q, "K 3");
        ASSERT_EQ(q.boxes.size(), 1u);
        EXPECT_EQ(q.boxes[0].text, c.box);
        EXPECT_FALSE(q.Has(kDir + "VORNEL.CTL"));
        EXPECT_TRUE(q.Has(kDir + "DOC.BAK"));
    }
}

TEST_F(IntakeTest, NoControlFileLeavesTheTransferFileAlone) {
    p.PutFile(kDir + "DOC.BAK", "x");
    Intake(3);
    EXPECT_TRUE(p.Has(kDir + "DOC.BAK"));
    EXPECT_EQ(p.counts[static_cast<int>(Op::ListFirst)], 2);  // at start, then the intake's look
}

TEST_F(IntakeTest, NoTransferFileFilesNothing) {
    PutSnapshots(p, "DOC", 1, 2);
    p.PutFile(kDir + "VORNEL.CTL", "DOC.");
    Intake(2);
    EXPECT_EQ(Store(), (V{"1=v1", "2=v2"}));
    EXPECT_TRUE(p.boxes.empty());
}

// XyWrite's macro takes no turn: a file of its save still open for writing is
// not there yet. Nothing fails, nothing is filed, and what is left waits.
TEST_F(IntakeTest, ASaveStillBeingWrittenIsLeftForLater) {
    const struct {
        const char* open;  // the file XyWrite still writes
        const char* command;
        bool controlLeft, transferLeft;
    } cases[] = {
        {"VORNEL.CTL", "K 5", true, true},    // a later pass takes it
        {"DOC.BAK", "K 5", false, true},      // the next save brings a new control file
        {"VORNEL.CTL", "R DOC", true, true},  // a save going on is not stale: the start keeps it
    };
    for (const auto& c : cases) {
        MemoryPlatform fresh;
        std::swap(p, fresh);
        SetUp();
        PutSnapshots(p, "DOC", 1, 2);
        p.PutFile(kDir + "DOC.DAT", "2 2");
        Save("new");
        p.PutBeingWritten(kDir + c.open, p.Content(kDir + c.open));
        RunProgram(p, c.command);
        EXPECT_TRUE(p.boxes.empty()) << c.open << " " << p.boxes[0].text;
        EXPECT_EQ(Store(), (V{"1=v1", "2=v2"})) << c.open;
        EXPECT_EQ(p.Has(kDir + "VORNEL.CTL"), c.controlLeft) << c.open;
        EXPECT_EQ(p.Has(kDir + "DOC.BAK"), c.transferLeft) << c.open;
    }
}

TEST_F(IntakeTest, FailuresShowTheirStage) {
    const struct {
        Op op;
        long nth;
        int checkpoint;
    } cases[] = {
        {Op::Read, 1, 10},    // the control file
        {Op::Delete, 1, 10},  // deleting the control file
        {Op::Size, 1, 15},     // the transfer file, opened while the inventory's 15 stands
        {Op::Size, 2, 12},     // the newest snapshot
        {Op::Compare, 1, 12},  // comparing the two
        {Op::Delete, 2, 13},  // retention
        {Op::Rename, 1, 13},  // filing the transfer file
    };
    for (const auto& c : cases) {
        MemoryPlatform q;
        q.titles = {"XYWRITE"};
        PutSnapshots(q, "DOC", 1, 3);
        q.PutFile(kDir + "VORNEL.CTL", "DOC.");
        q.PutFile(kDir + "DOC.BAK", "vX");  // as long as v3: compared byte for byte
        q.FailNth(c.op, c.nth, kPermissionDenied);
        RunProgram(q, "K 3");
        ASSERT_EQ(q.boxes.size(), 1u);
        EXPECT_EQ(q.boxes[0].text, ErrorBox(70, "Permission denied", c.checkpoint));
    }
}

}  // namespace
}  // namespace vornel::test
