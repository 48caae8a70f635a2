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

// fold: letters match either case; without it the texts come folded already.
bool MatchFrom(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni, bool fold) {
    // Iterative glob with single-star backtracking: linear in practice.
    std::size_t starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && (fold ? Folded(p[pi]) == Folded(n[ni]) : p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

bool Matches(const std::string& p, const std::string& name, bool fold) {
    if (MatchFrom(p, 0, name, 0, fold)) return true;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return MatchFrom(p.substr(0, p.size() - 2), 0, name, 0, fold);
    return false;
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name, int codePage) {
    // Folded first where a trail byte could be taken for a letter; otherwise
    // (listing a crowded directory matches every entry) no copies here.
    if (HasLeadBytes(pattern, codePage) || HasLeadBytes(name, codePage))
        return Matches(Upper(pattern, codePage), Upper(name, codePage), false);
    return Matches(pattern, name, true);
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
