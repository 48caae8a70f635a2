#include "platform/wildcard.h"

#include "platform/text.h"

namespace vornel {

namespace {

bool MatchFrom(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni) {
    // Iterative glob with single-star backtracking: linear in practice.
    std::size_t starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && p[pi] == n[ni]) {
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
    const std::string p = Upper(pattern), n = Upper(name);
    if (MatchFrom(p, 0, n, 0)) return true;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && n.find('.') == std::string::npos)
        return MatchFrom(p.substr(0, p.size() - 2), 0, n, 0);
    return false;
}

bool SameName(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

}  // namespace vornel
