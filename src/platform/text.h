#pragma once
// The text and number rules every part of the program parses and names files
// with. Positions count from 1. Failures are raised, never returned.
#include <cstdint>
#include <string>

namespace vornel {

using Small = std::int16_t;  // run mode, depth, counts, snapshot numbers, checkpoint
using Long = std::int32_t;   // interval, state, pointer, exists flag
using Byte = std::uint8_t;   // virtual-key and scan codes

std::string Left(const std::string& text, Long n);
std::string Mid(const std::string& text, Long start);
std::string Mid(const std::string& text, Long start, Long n);
std::string Right(const std::string& text, Long n);
Long Len(const std::string& text);
Long Find(const std::string& within, const std::string& wanted);
std::string Upper(const std::string& text);
// On a double-byte code page (Japanese, Chinese, Korean Windows) a lead byte
// and the byte after it are one character: that second byte is never read
// as ASCII. Other code pages have no lead bytes.
bool IsLeadByte(Long codePage, unsigned char byte);
// Upper, one character at a time in the code page: a trail byte stays as it is.
std::string Upper(const std::string& text, Long codePage);
// Where the first or last single-byte character of `set` stands, read per
// character in the code page (a trail byte is never one of them); npos when none.
std::size_t FirstOf(const std::string& text, const std::string& set, Long codePage);
std::size_t LastOf(const std::string& text, const std::string& set, Long codePage);
std::string Trim(const std::string& text);
std::string Padded(Long n, char ch);

// Decimal digits with a leading blank for a non-negative value, as the
// platform prints numbers; callers trim where they want plain digits.
std::string NumberText(Long value);
std::string Digits(Long value);  // NumberText trimmed

// Reads the number at the start of a text; 0 when there is none.
double LeadingNumber(const std::string& text);
bool IsNumeric(const std::string& text);
// The hexadecimal digits: 0 to 9, A to F in either case.
bool IsHexDigit(char c);
// Value of "&H" & code; a non-hexadecimal character is a type mismatch.
Long HexValue(const std::string& code);

// Round half to even; a result outside the target range is an overflow.
Small ToSmall(double value);
Long ToLong(double value);
Byte ToByte(double value);

// Checked arithmetic on the program's integer types.
Small AddSmall(Small a, Small b);
Long AddLong(Long a, Long b);

}  // namespace vornel
