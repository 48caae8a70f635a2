#include "store/inventory.h"

#include <gtest/gtest.h>

#include "store/names.h"
#include "support/sim.h"

namespace vornel::test {
namespace {

struct InventoryCase {
    std::vector<std::string> names;
    Small count, lowest, highest;
    Long exists;
    Small newest;  // the highest number filed under its own three digits
};

class InventoryTest : public ::testing::TestWithParam<InventoryCase> {};

TEST_P(InventoryTest, CountsTheDocumentsSnapshots) {
    const InventoryCase& c = GetParam();
    MemoryPlatform p;
    for (const auto& name : c.names) p.PutFile(kDir + name, "x");
    RunState rs(p);
    rs.workingDirectory = kDir;
    rs.documentName = "DOC";
    Inventory(rs);
    EXPECT_EQ(rs.count, c.count);
    EXPECT_EQ(rs.lowest, c.lowest);
    EXPECT_EQ(rs.highest, c.highest);
    EXPECT_EQ(rs.exists, c.exists);
    EXPECT_EQ(rs.newest, c.newest);
    EXPECT_EQ(rs.checkpoint, 15);
}

INSTANTIATE_TEST_SUITE_P(
    Store, InventoryTest,
    ::testing::Values(
        InventoryCase{{}, 1, 1, 1, 0, -1},
        InventoryCase{{"DOC.BAK", "DOC.DAT", "DOC.VRN"}, 1, 1, 1, 0, -1},
        InventoryCase{{"DOC.004", "DOC.005", "DOC.009"}, 3, 4, 9, 1, 9},
        InventoryCase{{"doc.007"}, 1, 7, 7, 1, 7},
        InventoryCase{{"DOC.1E2", "DOC.050"}, 2, 50, 100, 1, 50},
        InventoryCase{{"DOC.1E2"}, 1, 100, 100, 1, -1},
        InventoryCase{{"DOC2.001", "DOC2.002", "DOC.003"}, 1, 3, 3, 1, 3},
        // Another document's snapshots, four-digit names and longer names are not DOC's.
        InventoryCase{{"DOC.TXT.009", "DOC.1000", "DOC.BAK.OLD", "DOC.001.X", "DOC.002"}, 1, 2, 2, 1, 2},
        InventoryCase{{"DOC.999", "DOC.001"}, 2, 1, 999, 1, 999},
        // Names reading above 999 are nobody's snapshots, and never overflow.
        InventoryCase{{"DOC.1E3", "DOC.1D3", "DOC.3E4", "DOC.4E4", "DOC.9E9", "DOC.005"}, 1, 5, 5, 1, 5},
        InventoryCase{{"DOC.4E4"}, 1, 1, 1, 0, -1},
        // Other forms reading 0 to 999 still count, below the real ones too.
        InventoryCase{{"DOC.&H1", "DOC.-12", "DOC.002", "DOC.1E+"}, 3, -12, 2, 1, 2},
        InventoryCase{{"DOC.000", "DOC.001"}, 2, 0, 1, 1, 1},
        InventoryCase{{"DOC.000"}, 1, 0, 0, 1, 0},
        InventoryCase{{"DOC. 05", "DOC.5.0"}, 2, 5, 5, 1, -1}));

TEST(Inventory, ADocumentNamedLikeADosFileHasItsOwnSnapshots) {
    MemoryPlatform p;
    p.PutFile(kDir + "DOC.TXT.009", "x");
    p.PutFile(kDir + "DOC.TXT.010", "x");
    p.PutFile(kDir + "DOC.TXT", "x");
    RunState rs(p);
    rs.workingDirectory = kDir;
    rs.documentName = "DOC.TXT";
    Inventory(rs);
    EXPECT_EQ(rs.count, 2);
    EXPECT_EQ(rs.lowest, 9);
    EXPECT_EQ(rs.highest, 10);
}

TEST(Inventory, RefusesUnsafeDocumentNamesBeforeListing) {
    for (const std::string name : {"..\\X", "A/B", "C:X", "*", "A?", "\"A", "<A", "A>", "A|B", "DOC\r", ".", ".."}) {
        MemoryPlatform p;
        RunState rs(p);
        rs.workingDirectory = kDir;
        rs.documentName = name;
        rs.checkpoint = 11;
        try {
            Inventory(rs);
            ADD_FAILURE() << "accepted " << name;
        } catch (const Failure& f) {
            EXPECT_EQ(f.number, kBadFileName) << name;
        }
        EXPECT_EQ(rs.checkpoint, 11) << name;
        EXPECT_TRUE(p.touched.empty()) << name;
    }
}

TEST(Fmt3, PadsToThreeDigits) {
    EXPECT_EQ(Fmt3(1), "001");
    EXPECT_EQ(Fmt3(7), "007");
    EXPECT_EQ(Fmt3(42), "042");
    EXPECT_EQ(Fmt3(999), "999");
    EXPECT_EQ(Fmt3(1000), "1000");
    EXPECT_EQ(Fmt3(0), "000");
}

// A name above ASCII, as a DOS host hands it over: the bytes as they are (the
// ANSI reading) or the DOS code page's (437 here: 8E is A umlaut, C4 in
// 1252). The reading that finds the document's files wins; with both or
// neither, the name stays as it came.
TEST(Names, ANameIsReadAsItIsOnDisk) {
    const std::string oem = "\x8ERGER", ansi = "\xC4RGER";
    const struct {
        const char* name;
        std::string command, control;
        std::vector<std::string> files;
        std::string expect;  // the file that must hold "v2" or the saved copy at the end
    } cases[] = {
        {"control file, only the OEM reading has files", "K 5", oem + "\x1a", {ansi + ".BAK"}, ansi + ".001"},
        {"control file, the ANSI reading has files", "K 5", ansi + "\x1a", {ansi + ".BAK"}, ansi + ".001"},
        {"control file, both readings have files", "K 5", oem + "\x1a", {oem + ".BAK", ansi + ".BAK"}, oem + ".001"},
        {"U, only the OEM reading has files", "U " + oem, "", {ansi + ".001", ansi + ".002", ansi + ".003"}, ansi + ".VRN"},
        {"R, the ANSI reading has files", "R " + ansi, "", {ansi + ".001", ansi + ".002", ansi + ".DAT"}, ansi + ".VRN"},
        {"a line-drawing character has no ANSI spelling", "K 5", "\xB3X\x1a", {"\xB3X.BAK"}, "\xB3X.001"},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.titles = {"XYWRITE - DOC"};
        for (const std::string& name : c.files)
            p.PutFile(kDir + name, name.substr(name.size() - 3) == "DAT" ? "2 3" : name.back() == 'K' ? "v2" : "v" + name.substr(name.size() - 1));
        if (!c.control.empty()) p.PutFile(kDir + "VORNEL.CTL", c.control);
        RunProgram(p, c.command);
        EXPECT_TRUE(p.boxes.empty()) << c.name;
        EXPECT_EQ(p.Content(kDir + c.expect), "v2") << c.name;
    }
}

// On Japanese Windows (code page 932) a name's second byte may be a
// backslash (表 95 5C, ソ 83 5C), a bar (ポ 83 7C) or a small letter (ヂ 83
// 61, which byte-wise upper-casing would turn into ア 83 41): read per
// character, each is a name of its own, from the command line and from the
// control file alike.
TEST(Names, DoubleByteNamesAreReadPerCharacter) {
    const std::string hyo = "\x95\x5C", so = "\x83\x5C", po = "\x83\x7C", dji = "\x83\x61", a = "\x83\x41";
    using Files = std::vector<std::pair<std::string, std::string>>;
    const auto store = [](const std::string& name, int last) {
        Files files;
        for (int n = 1; n <= last; ++n) files.emplace_back(name + ".00" + std::to_string(n), "v" + std::to_string(n));
        return files;
    };
    const auto plus = [](Files files, const Files& more) {
        files.insert(files.end(), more.begin(), more.end());
        return files;
    };
    const struct {
        const char* name;
        int codePage;
        std::string command, control;
        Files files;
        std::string expect;  // the file that must hold "v2" at the end
        int failure;
    } cases[] = {
        {"U, trail byte \\", 932, "U " + hyo, "", store(hyo, 3), hyo + ".VRN", 0},
        {"K, trail byte \\", 932, "K 5", so + "\x1a", {{so + ".BAK", "v2"}}, so + ".001", 0},
        {"R, trail byte |", 932, "R " + po, "", plus(store(po, 3), {{po + ".DAT", "2 1"}}), po + ".VRN", 0},
        {"U, trail byte a beside the document a would become", 932, "u " + dji, "", plus(store(dji, 3), store(a, 5)),
         dji + ".VRN", 0},
        {"K, trail byte a beside the document a would become", 932, "K 5", dji + "\x1a",
         plus({{dji + ".BAK", "v2"}, {a + ".BAK", "other"}}, store(a, 1)), dji + ".001", 0},
        {"K, trail byte 40, the lowest (ァ is 83 40)", 932, "K 5", "\x83\x40\x1a", {{"\x83\x40.BAK", "v2"}},
         "\x83\x40.001", 0},
        {"K, trail byte above 127", 932, "K 5", "\x88\x9F\x1a", {{"\x88\x9F.BAK", "v2"}}, "\x88\x9F.001", 0},
        {"U, single-byte katakana", 932, "U \xB1", "", store("\xB1", 3), "\xB1.VRN", 0},
        {"K, a lead byte with no trail byte", 932, "K 5", "AB\x83\x1a", {{"AB\x83.BAK", "v2"}}, "AB\x83.BAK", 52},
        {"K, the same bytes on a Western Windows", 1252, "K 5", so + "\x1a", {{so + ".BAK", "v2"}}, so + ".BAK", 52},
    };
    for (const auto& c : cases) {
        MemoryPlatform p;
        p.codePages = CodePages{c.codePage, c.codePage == 932 ? 932 : 437};
        p.titles = {"XYWRITE - DOC"};
        for (const auto& [name, bytes] : c.files) p.PutFile(kDir + name, bytes);
        if (!c.control.empty()) p.PutFile(kDir + "VORNEL.CTL", c.control);
        RunProgram(p, c.command);
        EXPECT_EQ(p.boxes.empty() ? 0 : std::stoi(p.boxes[0].text.substr(7)), c.failure) << c.name;
        EXPECT_EQ(p.Content(kDir + c.expect), "v2") << c.name;
        for (int n = 1; n <= 5; ++n)  // another document's files stay as they were
            if (c.codePage == 932 && c.expect.rfind(dji, 0) == 0)
                EXPECT_EQ(p.Content(kDir + a + ".00" + std::to_string(n)), n == 1 || c.control.empty() ? "v" + std::to_string(n) : "") << c.name;
    }
}

}  // namespace
}  // namespace vornel::test
