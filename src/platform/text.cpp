#include "platform/text.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/failure.h"

namespace vornel {

std::string Left(const std::string& text, Long n) {
    if (n < 0) Raise(kInvalidArgument);
    return text.substr(0, static_cast<std::size_t>(n));
}

std::string Mid(const std::string& text, Long start) {
    if (start < 1) Raise(kInvalidArgument);
    if (static_cast<std::size_t>(start) > text.size()) return "";
    return text.substr(static_cast<std::size_t>(start) - 1);
}

std::string Mid(const std::string& text, Long start, Long n) {
    if (start < 1 || n < 0) Raise(kInvalidArgument);
    if (static_cast<std::size_t>(start) > text.size()) return "";
    return text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n));
}

std::string Right(const std::string& text, Long n) {
    if (n < 0) Raise(kInvalidArgument);
    if (static_cast<std::size_t>(n) >= text.size()) return text;
    return text.substr(text.size() - static_cast<std::size_t>(n));
}

Long Len(const std::string& text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<Long>::max())) Raise(kOverflow);
    return static_cast<Long>(text.size());
}

Long Find(const std::string& within, const std::string& wanted) {
    if (wanted.empty()) return within.empty() ? 0 : 1;
    const auto at = within.find(wanted);
    return at == std::string::npos ? 0 : static_cast<Long>(at) + 1;
}

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool IsLeadByte(Long codePage, unsigned char byte) {
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);  // Shift JIS
        case 936:   // GBK
        case 949:   // Unified Hangul Code
        case 950:   // Big5
            return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

std::string Upper(const std::string& text, Long codePage) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        char& c = out[i];
        if (IsLeadByte(codePage, static_cast<unsigned char>(c)))
            ++i;  // its trail byte is part of the same character
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

namespace {

std::size_t FindOf(const std::string& text, const std::string& set, Long codePage, bool last) {
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(codePage, static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (set.find(text[i]) != std::string::npos) {
            found = i;
            if (!last) break;
        }
    }
    return found;
}

}  // namespace

std::size_t FirstOf(const std::string& text, const std::string& set, Long codePage) {
    return FindOf(text, set, codePage, false);
}

std::size_t LastOf(const std::string& text, const std::string& set, Long codePage) {
    return FindOf(text, set, codePage, true);
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string Padded(Long n, char ch) {
    if (n < 0) Raise(kInvalidArgument);
    return std::string(static_cast<std::size_t>(n), ch);
}

std::string NumberText(Long value) {
    const std::string digits = std::to_string(value);
    return value < 0 ? digits : " " + digits;
}

std::string Digits(Long value) { return Trim(NumberText(value)); }

namespace {

bool IsDigitIn(char c, int radix) {
    if (radix == 8) return c >= '0' && c <= '7';
    if (radix == 10) return c >= '0' && c <= '9';
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// One number scanned from the start of a text: how far it reaches and its value.
struct Scan {
    std::size_t end = 0;  // 0 when the text holds no number at its start
    double value = 0;
};

Scan ScanRadix(const std::string& s, std::size_t at, int radix) {
    Scan scan;
    double value = 0;
    std::size_t i = at;
    while (i < s.size() && IsDigitIn(s[i], radix)) value = value * radix + DigitValue(s[i++]);
    if (i > at) scan = Scan{i, value};
    return scan;
}

// Optional sign, digits with an optional point and fraction, optional exponent.
Scan ScanDecimal(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t digitsStart = i;
    while (i < s.size() && IsDigitIn(s[i], 10)) ++i;
    std::size_t digits = i - digitsStart;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fractionStart = ++i;
        while (i < s.size() && IsDigitIn(s[i], 10)) ++i;
        digits += i - fractionStart;
    }
    if (digits == 0) return Scan{};
    if (i == s.size() && digits == i && i <= 9) {  // plain digits, the common case: no strtod
        long value = 0;
        for (char c : s) value = value * 10 + (c - '0');
        return Scan{i, static_cast<double>(value)};
    }
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        const std::size_t expStart = j;
        while (j < s.size() && IsDigitIn(s[j], 10)) ++j;
        if (j > expStart) end = j;
    }
    return Scan{end, std::strtod(s.substr(0, end).c_str(), nullptr)};
}

Scan ScanNumber(const std::string& s) {
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) return ScanRadix(s, 2, 16);
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'O' || s[1] == 'o')) return ScanRadix(s, 2, 8);
    return ScanDecimal(s);
}

}  // namespace

double LeadingNumber(const std::string& text) {
    if (text.find_first_of(" \t\n") == std::string::npos) return ScanNumber(text).value;
    std::string packed;
    packed.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') packed += c;
    return ScanNumber(packed).value;
}

bool IsNumeric(const std::string& text) {
    const std::string body = Trim(text);
    if (body.empty()) return false;
    const Scan scan = ScanNumber(body);
    return scan.end == body.size();
}

bool IsHexDigit(char c) { return IsDigitIn(c, 16); }

Long HexValue(const std::string& code) {
    const Scan scan = ScanRadix(code, 0, 16);
    if (code.empty() || scan.end != code.size()) Raise(kTypeMismatch);
    if (scan.value > std::numeric_limits<Long>::max()) Raise(kOverflow);
    return static_cast<Long>(scan.value);
}

namespace {

template <typename T>
T RoundInto(double value) {
    if (std::isnan(value)) Raise(kOverflow);
    const double rounded = std::nearbyint(value);  // default rounding: half to even
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max()))
        Raise(kOverflow);
    return static_cast<T>(rounded);
}

}  // namespace

Small ToSmall(double value) { return RoundInto<Small>(value); }
Long ToLong(double value) { return RoundInto<Long>(value); }
Byte ToByte(double value) { return RoundInto<Byte>(value); }

Small AddSmall(Small a, Small b) { return ToSmall(static_cast<double>(a) + b); }
Long AddLong(Long a, Long b) { return ToLong(static_cast<double>(a) + b); }

}  // namespace vornel
