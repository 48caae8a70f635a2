#include "platform/wildcard.h"

#include <cstdio>

#include "platform/text.h"

namespace vornel {

namespace {

char Folded(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchFrom(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni) {
    // Iterative glob with single-star backtracking: linear in practice.
    std::size_t starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && Folded(p[pi]) == Folded(n[ni])) {
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

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    // Listing a crowded directory matches every entry: no copies here.
    if (MatchFrom(pattern, 0, name, 0)) return true;
    const auto& p = pattern;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return MatchFrom(p.substr(0, p.size() - 2), 0, name, 0);
    return false;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

std::string FoldedHash(const std::string& path) {
    unsigned long long hash = 14695981039346656037ull;
    for (const unsigned char c : Upper(path)) hash = (hash ^ c) * 1099511628211ull;
    char digits[24];
    std::snprintf(digits, sizeof digits, "%016llx", hash);
    return digits;
}

}  // namespace vornel
