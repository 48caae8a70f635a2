#include "store/stepping.h"

#include <algorithm>
#include <bitset>

#include "store/inventory.h"
#include "store/names.h"

namespace vornel {

namespace {

// Probes snapshot numbers, each at most once, so that no search can run on
// without end: there are only 1000 three-digit numbers.
class Search {
public:
    explicit Search(RunState& rs) : rs_(rs) {}
    bool Has(Long n) {
        if (n < 0 || n > 999 || probed_[static_cast<std::size_t>(n)]) return false;
        probed_[static_cast<std::size_t>(n)] = true;
        return SnapshotExists(rs_, n);
    }

private:
    RunState& rs_;
    std::bitset<1000> probed_;
};

// Back from pointer p, moved = p - 1: moved; else p itself; else the highest
// number that has a snapshot. -1 when there is none at all.
Long LandBack(RunState& rs, Long moved) {
    Search search(rs);
    if (search.Has(moved)) return moved;
    if (search.Has(moved + 1)) return moved + 1;
    if (search.Has(rs.highest)) return rs.highest;
    for (Long n = 999; n >= 0; --n)
        if (search.Has(n)) return n;
    return -1;
}

// Forward from pointer p, moved = p + 1: moved; else down from p to the first
// that exists; else, from below every snapshot, the lowest one above it.
Long LandForward(RunState& rs, Long moved) {
    Search search(rs);
    if (search.Has(moved)) return moved;
    for (long long n = std::min<long long>(moved - 1LL, 999); n >= 0; --n)
        if (search.Has(static_cast<Long>(n))) return static_cast<Long>(n);
    for (long long n = std::max<long long>(moved + 1LL, 0); n <= 999; ++n)
        if (search.Has(static_cast<Long>(n))) return static_cast<Long>(n);
    return -1;
}

}  // namespace

bool ReadStateFile(RunState& rs) {
    if (!FileExists(rs.platform, StatePath(rs))) return false;
    SetCheckpoint(rs, 5);
    const std::string text = rs.platform.ReadWhole(StatePath(rs));
    rs.state = ToLong(LeadingNumber(Left(text, 1)));
    rs.pointer = ToLong(LeadingNumber(Mid(text, 3)));
    return true;
}

void Step(RunState& rs, bool inventoryIsFresh) {
    // After a capture pass the store (and even the document's name) may have
    // changed; straight from the preflight, its inventory still stands.
    if (!inventoryIsFresh) Inventory(rs);
    SetCheckpoint(rs, 17);
    if (rs.exists == 0) EndProgram(rs.platform);
    const Long moved = AddLong(rs.pointer, rs.mode == kStepBack ? -1 : 1);
    SetCheckpoint(rs, 18);
    const Long landed = rs.mode == kStepBack ? LandBack(rs, moved) : LandForward(rs, moved);
    if (landed < 0) EndProgram(rs.platform);  // nothing filed under a three-digit number
    rs.pointer = landed;
    const std::string chosen = SnapshotPath(rs, Fmt3(static_cast<Small>(rs.pointer)));

    // Both files are made aside and moved into place whole: a macro that waits
    // for DOC.VRN never loads half a document, and a failed step leaves the
    // old one. DOC.DAT follows DOC.VRN, so an interrupted step starts again
    // from the old pointer.
    SetCheckpoint(rs, 19);
    rs.platform.CopyFile(chosen, TemporaryPath(rs));
    rs.platform.ReplaceFile(TemporaryPath(rs), ResultPath(rs));
    rs.state = rs.mode == kStepBack ? 2 : 3;

    SetCheckpoint(rs, 20);
    rs.platform.WriteWhole(TemporaryPath(rs), Digits(rs.state) + " " + Digits(rs.pointer));
    rs.platform.ReplaceFile(TemporaryPath(rs), StatePath(rs));
    EndProgram(rs.platform);
}

}  // namespace vornel
