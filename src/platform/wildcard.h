#pragma once
// The Windows wildcard rule for the listing, shared by the substitute platforms:
// '*' matches any run of characters (dots included), letter case is ignored,
// and a pattern ending in ".*" also matches a name that has no dot at all.
#include <string>

namespace vornel {

// A double-byte code page (codePage) folds case per character, never a trail byte.
bool WildcardMatch(const std::string& pattern, const std::string& name, int codePage = 0);
bool SameName(const std::string& a, const std::string& b, int codePage = 0);  // case-insensitive equality
// Sixteen hexadecimal digits that stand for a path, whatever its letter case
// (FNV-1a of the path upper-cased per character in the code page): for names
// of system objects that must be short.
std::string FoldedHash(const std::string& path, int codePage = 0);

}  // namespace vornel
