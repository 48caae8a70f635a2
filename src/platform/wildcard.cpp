#include "platform/wildcard.h"

#include <cstdio>

#include "platform/text.h"

namespace vornel {

namespace {

char Folded(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool HasLeadBytes(const std::string& s, int codePage) {
    if (!IsLeadByte(codePage, 0x81)) return false;  // 81 leads in every double-byte code page: none here
    for (const char c : s)
        if (IsLeadByte(codePage, static_cast<unsigned char>(c))) return true;
    return false;
}

// Iterative glob with single-star backtracking, linear in practice, over a
// text's characters: `same` compares the characters at two places and
// `width(s, i)` is the length in bytes of the one at i, so that a star steps
// over whole characters and a literal never matches the second byte of one.
template <typename Same, typename Width>
bool MatchFrom(const std::string& p, const std::string& n, Same same, Width width) {
    std::size_t pi = 0, ni = 0, starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && same(p, pi, n, ni)) {
            pi += width(p, pi);
            ni += width(n, ni);
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = starN += width(n, starN);
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

// Letters match either case; a name without double-byte characters.
bool MatchBytes(const std::string& p, const std::string& n) {
    return MatchFrom(
        p, n, [](const std::string& a, std::size_t i, const std::string& b, std::size_t j) { return Folded(a[i]) == Folded(b[j]); },
        [](const std::string&, std::size_t) { return std::size_t{1}; });
}

// Both texts come folded per character already.
bool MatchCharacters(const std::string& p, const std::string& n, int codePage) {
    const auto width = [codePage](const std::string& s, std::size_t i) {
        return IsLeadByte(codePage, static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? std::size_t{2} : std::size_t{1};
    };
    return MatchFrom(
        p, n,
        [&](const std::string& a, std::size_t i, const std::string& b, std::size_t j) {
            const std::size_t w = width(a, i);
            return w == width(b, j) && a.compare(i, w, b, j, w) == 0;
        },
        width);
}

template <typename Match>
bool Matches(const std::string& p, const std::string& name, Match match) {
    if (match(p, name)) return true;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return match(p.substr(0, p.size() - 2), name);
    return false;
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name, int codePage) {
    // Folded first where a trail byte could be taken for a letter; otherwise
    // (listing a crowded directory matches every entry) no copies here.
    if (HasLeadBytes(pattern, codePage) || HasLeadBytes(name, codePage))
        return Matches(Upper(pattern, codePage), Upper(name, codePage),
                       [codePage](const std::string& p, const std::string& n) { return MatchCharacters(p, n, codePage); });
    return Matches(pattern, name, MatchBytes);
}

bool SameName(const std::string& a, const std::string& b, int codePage) {
    if (a.size() != b.size()) return false;
    if (HasLeadBytes(a, codePage) || HasLeadBytes(b, codePage)) return Upper(a, codePage) == Upper(b, codePage);
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

std::string FoldedHash(const std::string& path, int codePage) {
    unsigned long long hash = 14695981039346656037ull;
    for (const unsigned char c : Upper(path, codePage)) hash = (hash ^ c) * 1099511628211ull;
    char digits[24];
    std::snprintf(digits, sizeof digits, "%016llx", hash);
    return digits;
}

}  // namespace vornel
