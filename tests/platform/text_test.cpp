#include "platform/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/failure.h"
#include "platform/wildcard.h"

namespace vornel {
namespace {

int FailureNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure.number;
    }
    return 0;
}

TEST(TextRules, CuttingTexts) {
    EXPECT_EQ(Left("VORNEL", 3), "VOR");
    EXPECT_EQ(Left("VORNEL", 0), "");
    EXPECT_EQ(Left("VORNEL", 99), "VORNEL");
    EXPECT_EQ(Mid("VORNEL", 3), "RNEL");
    EXPECT_EQ(Mid("VORNEL", 7), "");
    EXPECT_EQ(Mid("VORNEL", 99), "");
    EXPECT_EQ(Mid("VORNEL", 2, 2), "OR");
    EXPECT_EQ(Mid("VORNEL", 6, 2), "L");
    EXPECT_EQ(Mid("", 3), "");
    EXPECT_EQ(Mid("VORNEL", 1, 0), "");  // a length of 0 is a text, not a failure
    EXPECT_EQ(Right("DOC.001", 3), "001");
    EXPECT_EQ(Right("AB", 3), "AB");
    EXPECT_EQ(Len(""), 0);
    EXPECT_EQ(Len("ABC"), 3);
}

TEST(TextRules, BadPositionsAreInvalidArguments) {
    EXPECT_EQ(FailureNumberOf([] { Left("ABC", -1); }), kInvalidArgument);
    EXPECT_EQ(FailureNumberOf([] { Mid("ABC", 0); }), kInvalidArgument);
    EXPECT_EQ(FailureNumberOf([] { Mid("ABC", 0, 1); }), kInvalidArgument);
    EXPECT_EQ(FailureNumberOf([] { Mid("ABC", 1, -1); }), kInvalidArgument);
}

TEST(TextRules, Find) {
    EXPECT_EQ(Find("U R K ", ""), 1);
    EXPECT_EQ(Find("U R K ", "U"), 1);
    EXPECT_EQ(Find("U R K ", "R "), 3);
    EXPECT_EQ(Find("U R K ", "K "), 5);
    EXPECT_EQ(Find("U R K ", "K"), 5);
    EXPECT_EQ(Find("U R K ", "11"), 0);
    EXPECT_EQ(Find("XYWRITE", "xywrite"), 0);  // case-sensitive
    EXPECT_EQ(Find("14|90|91|2D", "D"), 11);
}

TEST(TextRules, CaseAndBlanks) {
    EXPECT_EQ(Upper("u doc-1.x"), "U DOC-1.X");
    EXPECT_EQ(Upper("az`{"), "AZ`{");  // both ends of the letters, and their neighbours
    EXPECT_EQ(Upper("\xe9"), "\xe9");
    EXPECT_EQ(Trim("  U DOC  "), "U DOC");
    EXPECT_EQ(Trim("\tX\t"), "\tX\t");  // only the space character
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Padded(3, ' '), "   ");
}

// On a double-byte code page the byte after a lead byte belongs to it: ヂ
// (83 61) stays ヂ and is not made ア (83 41); single-byte katakana and
// ASCII after a whole character are upper-cased as ever.
TEST(TextRules, UpperReadsDoubleByteCharactersWhole) {
    const struct {
        int codePage;
        const char* text;
        const char* upper;
    } cases[] = {
        {932, "\x83\x61z", "\x83\x61Z"},       // ヂz
        {932, "\xB1" "a", "\xB1" "A"},          // ｱ is one byte: no lead byte
        {932, "\xE0\x61\xFC\x61q", "\xE0\x61\xFC\x61Q"},  // both ends of the second lead range
        {932, "a\x83", "A\x83"},                // a lead byte cut off at the end
        {936, "\x81\x61\xFE\x61" "a", "\x81\x61\xFE\x61" "A"},
        {949, "\xB0\x61", "\xB0\x61"},
        {950, "\xA4\x61", "\xA4\x61"},
        {1252, "\x83\x61", "\x83\x41"},       // no lead bytes: every byte on its own
        {932, "\x9F\x61", "\x9F\x61"},        // 9F still leads in Shift JIS
        {932, "\xA0\x61", "\xA0\x41"},        // A0 does not
    };
    for (const auto& c : cases) EXPECT_EQ(Upper(c.text, c.codePage), c.upper) << c.codePage << " " << c.text;
}

// A path is cut, searched and folded a character at a time: in Shift JIS
// 表 is 95 5C and ア 83 41, so the 5C of 表 is no separator, and a star
// followed by A does not end inside ア. Every byte on its own elsewhere.
TEST(TextRules, PathsAreReadPerCharacter) {
    const std::string path = "C:\\\x95\x5C\\VN\\\x95\x5C.VRN";  // C:\表\VN\表.VRN
    EXPECT_EQ(LastOf(path, "\\", 932), 8u);
    EXPECT_EQ(LastOf(path, "\\", 1252), 10u);
    EXPECT_EQ(FirstOf("\x95\x5C\\", "\\", 932), 2u);
    EXPECT_EQ(LastOf("\x95\x5C", "\\", 932), std::string::npos);
    const struct {
        const char* pattern;
        const char* name;
        int codePage;
        bool matches;
    } cases[] = {
        {"*A", "\x83\x41", 932, false},           // ア is one character
        {"*A", "\x83\x41", 1252, true},
        {"*\x41.BAK", "\x83\x41.BAK", 932, false},
        {"\x83\x41*", "\x83\x41.BAK", 932, true},
        {"*.BAK", "\x83\x61.bak", 932, true},
        {"\x83\x61.*", "\x83\x41", 932, false},  // ヂ is not ア
        {"*\x5C", "\x95\x5C", 932, false},
        {"doc.*", "DOC", 932, true},
        {"doc.*", "DOC", 1252, true},  // a name without a dot matches as if it ended in one
        {"DOC.1", "DOC", 1252, false},  // and only a pattern ending in .* drops its end
        {"DOC.1", "DOC", 932, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name, c.codePage), c.matches) << c.pattern << " " << c.name;
    // ヂ and ア differ only in a trail byte that reads as a or A on its own.
    EXPECT_FALSE(SameName("\x83\x61.BAK", "\x83\x41.BAK", 932));
    EXPECT_TRUE(SameName("\x83\x61.bak", "\x83\x61.BAK", 932));
    EXPECT_TRUE(SameName("\x83\x61.BAK", "\x83\x41.BAK", 1252));
    EXPECT_EQ(FoldedHash("c:\\\x83\x61", 932), FoldedHash("C:\\\x83\x61", 932));
    EXPECT_NE(FoldedHash("C:\\\x83\x61", 932), FoldedHash("C:\\\x83\x41", 932));  // two folders, two objects
}

TEST(TextRules, NumberTextCarriesTheSignPlace) {
    EXPECT_EQ(NumberText(53), " 53");
    EXPECT_EQ(NumberText(0), " 0");
    EXPECT_EQ(NumberText(-7), "-7");
    EXPECT_EQ(Digits(53), "53");
    EXPECT_EQ(Digits(-7), "-7");
}

struct NumberCase {
    const char* text;
    double value;
    bool numeric;
};

class LeadingNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTest, ReadsAndClassifies) {
    const NumberCase& c = GetParam();
    EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.value) << c.text;
    EXPECT_EQ(IsNumeric(c.text), c.numeric) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    TextRules, LeadingNumberTest,
    ::testing::Values(NumberCase{"2.5", 2.5, true}, NumberCase{"10X", 10, false},
                      NumberCase{"X10", 0, false}, NumberCase{"001", 1, true},
                      NumberCase{"BAK", 0, false}, NumberCase{"DAT", 0, false},
                      NumberCase{"", 0, false}, NumberCase{"  ", 0, false},
                      NumberCase{"1E2", 100, true}, NumberCase{"1e2", 100, true},
                      NumberCase{"1E", 1, false}, NumberCase{"1E+", 1, false},
                      NumberCase{"5 10", 510, false}, NumberCase{"5\t1\n0", 510, false},
                      NumberCase{" 12 ", 12, true}, NumberCase{"-3", -3, true},
                      NumberCase{"+4", 4, true}, NumberCase{".5", 0.5, true},
                      NumberCase{"1.", 1, true}, NumberCase{".", 0, false},
                      NumberCase{"-", 0, false}, NumberCase{"&HFF", 255, true},
                      NumberCase{"&h1f", 31, true}, NumberCase{"&O17", 15, true},
                      NumberCase{"&O19", 1, false}, NumberCase{"&H", 0, false},
                      NumberCase{"VRN", 0, false}, NumberCase{"1.5E1", 15, true},
                      NumberCase{"0-1", 0, false}, NumberCase{"1D2", 1, false},
                      NumberCase{"1E+2", 100, true}, NumberCase{"1E-2", 0.01, true},
                      NumberCase{"&O", 0, false}, NumberCase{"&H1", 1, true},
                      NumberCase{"&O7", 7, true}, NumberCase{"&O8", 0, false}, NumberCase{"&O18", 1, false}, NumberCase{"2147483647", 2147483647, true},
                      NumberCase{"2147483648", 2147483648.0, true}));

TEST(TextRules, HexValueOfACode) {
    EXPECT_EQ(HexValue("14"), 0x14);
    EXPECT_EQ(HexValue("2D"), 0x2D);
    EXPECT_EQ(HexValue("ff"), 0xFF);
    EXPECT_EQ(HexValue("a"), 0x0A);  // both ends of the small letters
    EXPECT_EQ(HexValue("7FFFFFFF"), 2147483647);
    EXPECT_EQ(FailureNumberOf([] { HexValue("80000000"); }), kOverflow);
    EXPECT_TRUE(IsHexDigit('a') && IsHexDigit('F') && IsHexDigit('0'));
    EXPECT_FALSE(IsHexDigit('g') || IsHexDigit('G') || IsHexDigit('@') || IsHexDigit('`'));
    EXPECT_EQ(HexValue("D"), 0x0D);
    EXPECT_EQ(FailureNumberOf([] { HexValue("G1"); }), kTypeMismatch);
    EXPECT_EQ(FailureNumberOf([] { HexValue("1|"); }), kTypeMismatch);
    EXPECT_EQ(FailureNumberOf([] { HexValue(" 1"); }), kTypeMismatch);
}

TEST(TextRules, RoundingGoesHalfToEven) {
    EXPECT_EQ(ToSmall(2.5), 2);
    EXPECT_EQ(ToSmall(3.5), 4);
    EXPECT_EQ(ToSmall(-2.5), -2);
    EXPECT_EQ(ToSmall(2.4999), 2);
    EXPECT_EQ(ToLong(0.5 * 1000), 500);
    EXPECT_EQ(ToLong(0.0004 * 1000), 0);
    EXPECT_EQ(ToByte(255.4), 255);
    EXPECT_EQ(ToSmall(32767), 32767);
    EXPECT_EQ(ToSmall(-32768), -32768);
    EXPECT_EQ(ToSmall(-32768.5), -32768);
    EXPECT_EQ(ToLong(LeadingNumber("2147483647")), 2147483647);
}

TEST(TextRules, OutOfRangeIsOverflow) {
    EXPECT_EQ(FailureNumberOf([] { ToSmall(32767.5); }), kOverflow);  // rounds to 32768
    EXPECT_EQ(FailureNumberOf([] { ToSmall(40000); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { ToLong(LeadingNumber("2147483648")); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { ToLong(1e300 * 1e300); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { ToLong(std::nan("")); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { ToByte(256); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { ToByte(-1); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { AddSmall(32767, 1); }), kOverflow);
    EXPECT_EQ(FailureNumberOf([] { AddLong(-2147483647 - 1, -1); }), kOverflow);
    EXPECT_EQ(AddSmall(32765, 2), 32767);
}

}  // namespace
}  // namespace vornel
