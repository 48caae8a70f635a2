#include "control/command_line.h"

#include <gtest/gtest.h>

#include "support/sim.h"

namespace vornel::test {
namespace {

struct ParseCase {
    const char* line;
    Small mode;
    const char* trigger;
    Long interval;
    Small depth;
    const char* document;
};

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, ChoosesModeAndArguments) {
    const ParseCase& c = GetParam();
    MemoryPlatform p;
    p.commandLine = c.line;
    RunState rs(p);
    ReadCommandLine(rs);
    EXPECT_EQ(rs.mode, c.mode);
    EXPECT_EQ(rs.trigger, c.trigger);
    EXPECT_EQ(rs.interval, c.interval);
    EXPECT_EQ(rs.depth, c.depth);
    EXPECT_EQ(rs.documentName, c.document);
    EXPECT_TRUE(p.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CommandLineParse,
    ::testing::Values(ParseCase{"u doc", kStepBack, "", 0, 0, "DOC"},
                      ParseCase{"Q", kStopWatch, "", 0, 0, ""},
                      ParseCase{"q doc", kStopWatch, "", 0, 0, ""},
                      ParseCase{"QUIT", kStopWatch, "", 0, 0, ""},
                      ParseCase{"U", kStepBack, "", 0, 0, ""},
                      ParseCase{"  R  My Doc ", kStepForward, "", 0, 0, " MY DOC"},
                      ParseCase{"K 20", kSingleIntake, "", 0, 20, "20"},
                      ParseCase{"K", kSingleIntake, "", 0, 0, ""},
                      ParseCase{"K X", kSingleIntake, "", 0, 0, "X"},
                      ParseCase{"K 2.5", kSingleIntake, "", 0, 2, "2.5"},
                      ParseCase{"K 0", kSingleIntake, "", 0, 0, "0"},
                      ParseCase{"11107b 5 20", kWatch, "11107B", 5000, 20, ""},
                      ParseCase{"41 0.5 998", kWatch, "41", 500, 998, ""},
                      ParseCase{"41 5 1 0", kWatch, "41", 5000, 10, ""},
                      ParseCase{"UX 1 1", kWatch, "UX", 1000, 1, ""},
                      ParseCase{"41 &H2 3", kWatch, "41", 2000, 3, ""}));

// A double click: the command forms, in a box of its own, and nothing touched.
TEST(CommandLine, ABareStartExplainsItself) {
    for (const char* line : {"", "   ", " \t "}) {
        MemoryPlatform p;
        p.PutFile(kDir + "VORNEL.CTL", "DOC.");
        EXPECT_EQ(RunProgram(p, line), Ended::ByEnd);
        ASSERT_EQ(p.boxes.size(), 1u) << "[" << line << "]";
        EXPECT_EQ(p.boxes[0].caption, "Vornel");
        EXPECT_EQ(p.boxes[0].focus, BoxFocus::Front);
        for (const char* form : {"vornel 11107B 5 20", "vornel K 20", "vornel U ", "vornel R ", "vornel Q", "README"})
            EXPECT_NE(p.boxes[0].text.find(form), std::string::npos) << form;
        EXPECT_EQ(p.beeps, 0);
        EXPECT_TRUE(p.touched.empty());
        EXPECT_TRUE(p.Has(kDir + "VORNEL.CTL"));
    }
}

struct WarningCase {
    const char* line;
};

class WatchArgumentWarning : public ::testing::TestWithParam<WarningCase> {};

TEST_P(WatchArgumentWarning, BeepsShowsTheBoxAndWritesNothing) {
    MemoryPlatform p;
    p.PutFile(kDir + "VORNEL.CTL", "DOC.");
    EXPECT_EQ(RunProgram(p, GetParam().line), Ended::ByEnd);
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, kArgumentWarning);
    EXPECT_EQ(p.boxes[0].caption, "Vornel");
    EXPECT_EQ(p.boxes[0].buttons, 0);
    EXPECT_EQ(p.beeps, 1);
    EXPECT_TRUE(p.Has(kDir + "VORNEL.CTL"));  // not even the stale control file is touched
    EXPECT_EQ(p.counts[static_cast<int>(Op::ProgramDirectory)], 0);
}

INSTANTIATE_TEST_SUITE_P(Arguments, WatchArgumentWarning,
                         ::testing::Values(WarningCase{"41 5 999"}, WarningCase{"41 5 0"},
                                           WarningCase{"41 0 5"}, WarningCase{"41 5 10 20"},
                                           WarningCase{"41 X 5"}, WarningCase{"41 5 -1"},
                                           WarningCase{"41 0.0004 5"}));

struct FailureCase {
    const char* line;
    int number;
    std::string description;
    int checkpoint;
};

class CommandLineFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CommandLineFailure, ShowsTheFailureBoxAtCheckpointOne) {
    const FailureCase& c = GetParam();
    MemoryPlatform p;
    EXPECT_EQ(RunProgram(p, c.line), Ended::ByEnd);
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(c.number, c.description, c.checkpoint));
    EXPECT_EQ(p.boxes[0].caption, "Error");
    EXPECT_EQ(p.beeps, 0);
}

const std::string kNameIsAPath =
    "Bad file name or number: the document name is a path. The macro must pass the name alone (U LETTER); on "
    "DOSBox-X, set starttranspath=false, or it passes an argument that names a DOS file as that file's Windows path";

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineFailure,
    ::testing::Values(FailureCase{"41 5", 5, "Invalid procedure call or argument", 1},
                      FailureCase{"41", 5, "Invalid procedure call or argument", 1},
                      FailureCase{"41 5 40000", 6, "Overflow", 1},
                      FailureCase{"41 3000000 5", 6, "Overflow", 1},
                      FailureCase{"41 1E999 5", 6, "Overflow", 1},
                      FailureCase{"K 40000", 6, "Overflow", 1},
                      FailureCase{"U A\\B", 52, kNameIsAPath, 3},
                      FailureCase{"R C:DOC", 52, kNameIsAPath, 3},
                      FailureCase{"R ..", 52, "Bad file name or number", 3}));

// Stale is old: a control file written in the last 5 seconds is a save on
// its way (a macro that starts U and saves, on a host that does not wait).
TEST(StaleControlFile, DeletedForWatchUAndRButNotK) {
    const struct {
        const char* line;
        std::int64_t age;  // ms since it was written
        bool kept;
    } cases[] = {{"41 5 3", 60000, false}, {"U DOC", 60000, false}, {"R DOC", 60000, false}, {"K 3", 60000, true},
                 {"U DOC", 5000, false},   {"U DOC", 4999, true},   {"R DOC", 0, true},      {"41 5 3", 0, true}};
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.PutFile(kDir + "VORNEL.CTL", "OTHER.");
        p.Age(kDir + "VORNEL.CTL", c.age);
        p.titles = {"Program Manager"};
        p.maxForegroundQueries = 1;
        RunProgram(p, c.line);
        EXPECT_EQ(p.Has(kDir + "VORNEL.CTL"), c.kept) << c.line << " " << c.age;
        EXPECT_TRUE(p.boxes.empty()) << c.line;
    }
}

TEST(StaleControlFile, ThatCannotBeDeletedFailsAtCheckpointTwo) {
    MemoryPlatform p;
    p.PutFile(kDir + "VORNEL.CTL", "DOC.");
    p.Age(kDir + "VORNEL.CTL", 60000);
    p.FailNth(Op::Delete, 1, kPermissionDenied);
    RunProgram(p, "U DOC");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(70, "Permission denied", 2));
}

// The likeliest set-up mistake: every mode stops at once with its own box,
// typing nothing, instead of watching and typing forever to no effect.
TEST(WorkingDirectory, MissingFailsAtCheckpointTwoInEveryMode) {
    for (const char* line : {"11107B 1 5", "K 5", "K", "U DOC", "R DOC"}) {
        MemoryPlatform p;
        p.titles = {"XYWRITE - DOC"};
        p.DropDirectory(kDir);
        RunProgram(p, line);
        ASSERT_EQ(p.boxes.size(), 1u) << line;
        EXPECT_EQ(p.boxes[0].text, ErrorBox(76, "Path not found", 2)) << line;
        EXPECT_TRUE(p.keyEvents.empty()) << line;
        EXPECT_EQ(p.foregroundQueries, 0) << line;
    }
}

TEST(ProgramDirectory, FailureIsReportedAtCheckpointTwo) {
    MemoryPlatform p;
    p.FailNth(Op::ProgramDirectory, 1, kPathAccess);
    RunProgram(p, "R DOC");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, ErrorBox(75, "Path/File access error", 2));
}

TEST(WorkingDirectory, IsBesideTheProgram) {
    MemoryPlatform p;
    p.programDirectory = "D:\\TOOLS";
    p.commandLine = "U DOC";
    RunState rs(p);
    ReadCommandLine(rs);
    PlaceWorkingDirectory(rs);
    EXPECT_EQ(rs.workingDirectory, "D:\\TOOLS\\VN\\");
    EXPECT_EQ(rs.controlFilePath, "D:\\TOOLS\\VN\\VORNEL.CTL");
}

}  // namespace
}  // namespace vornel::test
