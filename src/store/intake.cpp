#include "store/intake.h"

#include <algorithm>

#include "store/inventory.h"
#include "store/names.h"

namespace vornel {

namespace {

// Sizes first: a copy of another length is new without reading a byte of
// either file; one of the same length is compared chunk by chunk.
bool DiffersFromNewest(RunState& rs) {
    const std::int64_t size = rs.platform.FileSize(TransferPath(rs));
    SetCheckpoint(rs, 12);
    // The highest counted number may come from an odd name (DOC.1E2) with no
    // file under its three digits; the copy is compared with the newest file
    // that is there, so a stray name never makes an unchanged save look new.
    if (rs.newest < 0) return true;  // only odd names: nothing to compare with
    const std::string newest = SnapshotPath(rs, Fmt3(rs.newest));
    if (rs.platform.FileSize(newest) != size) return true;
    return !rs.platform.SameBytes(TransferPath(rs), newest);
}

// Deletes the oldest snapshot filed under its three digits, at or above the
// lowest number; the next one up becomes the lowest.
void RetireOldest(RunState& rs) {
    for (Small n = std::max<Small>(rs.lowest, 0); n <= 999; ++n) {
        if (!SnapshotExists(rs, n)) continue;
        rs.platform.DeleteFile(SnapshotPath(rs, Fmt3(n)));
        rs.lowest = AddSmall(n, 1);
        return;
    }
}

// A name the listing does not show (a hidden or system file, a folder) still
// takes its number: it is never deleted or written over, only passed by.
bool NumberTaken(RunState& rs, Small n) { return rs.platform.NameTaken(SnapshotPath(rs, Fmt3(n))); }

// The first number from `from` up to 999 whose name is free; 1000 when none is.
Small FreeNumber(RunState& rs, Small from) {
    Small n = std::max<Small>(from, 1);
    while (n <= 999 && NumberTaken(rs, n)) n = AddSmall(n, 1);
    return n;
}

// Renames the snapshots from number `from` up to 999, in order, onto the
// free numbers from 1 up. Missing numbers are skipped, so gaps close instead
// of failing.
void Renumber(RunState& rs, Small from) {
    rs.highest = 0;
    Small next = 1;
    for (Small c = std::max<Small>(from, 1); c <= 999; ++c) {
        if (!SnapshotExists(rs, c)) continue;
        while (next < c && NumberTaken(rs, next)) next = AddSmall(next, 1);
        if (c != next) rs.platform.RenameFile(SnapshotPath(rs, Fmt3(c)), SnapshotPath(rs, Fmt3(next)));
        rs.highest = next;
        next = AddSmall(next, 1);
    }
    rs.lowest = 1;
}

// At the depth the oldest goes; above it (a capture, a lowered depth) the
// next oldest too, so the store comes back to its depth one copy at a time
// and a mistyped depth never wipes a history in one sweep.
void Retire(RunState& rs) {
    if (rs.depth < 1 || rs.count < rs.depth) return;
    RetireOldest(rs);
    if (rs.count > rs.depth) RetireOldest(rs);
}

// The number the transfer file is filed under, after retention has made
// room. The number is known to be free before anything is retired.
Small MakeRoom(RunState& rs) {
    if (rs.exists == 0) {  // first snapshot: nothing to retire yet
        const Small first = FreeNumber(rs, 1);
        if (first > 999) Raise(kFileExists);
        return first;
    }
    if (rs.highest < 999) {
        const Small free = FreeNumber(rs, AddSmall(rs.highest, 1));
        if (free <= 999) {
            Retire(rs);
            return free;
        }
    }
    // Numbers stop at 999: close the gaps first, and when all 999 are taken,
    // retire the oldest as retention would.
    Retire(rs);
    Renumber(rs, rs.lowest);
    if (rs.highest == 999) {
        RetireOldest(rs);
        Renumber(rs, 2);
    }
    const Small free = FreeNumber(rs, AddSmall(rs.highest, 1));
    if (free > 999) Raise(kFileExists);  // every number taken by names the listing hides
    return free;
}

}  // namespace

std::string NameInControlFile(const std::string& text) { return Left(text, Len(text) - 1); }

bool SaveArrived(RunState& rs) {
    Platform& platform = rs.platform;
    if (!FileExists(platform, rs.controlFilePath) || platform.BeingWritten(rs.controlFilePath)) return false;
    const std::string text = platform.ReadWhole(rs.controlFilePath);
    if (text.empty()) return true;
    const std::string name = NameInControlFile(text);
    if (!IsPlainStem(name, rs.codePage)) return true;
    // A name in the other code page's reading is waited for as long as ever.
    const std::string transfer = TransferPath(rs, name);
    return FileExists(platform, transfer) && !platform.BeingWritten(transfer);
}

void Intake(RunState& rs) {
    if (!FileExists(rs.platform, rs.controlFilePath)) return;
    // The word processor's macro takes no turn: a save still going on is not
    // there yet, and a later pass takes it.
    if (rs.platform.BeingWritten(rs.controlFilePath)) return;
    rs.documentName = rs.platform.ReadWhole(rs.controlFilePath);
    rs.platform.DeleteFile(rs.controlFilePath);
    SetCheckpoint(rs, 11);
    rs.documentName = NameInControlFile(rs.documentName);
    SettleNameReading(rs);

    Small isNew = 1;
    Inventory(rs);
    if (!FileExists(rs.platform, TransferPath(rs))) {
        isNew = 0;
    } else if (rs.platform.BeingWritten(TransferPath(rs))) {
        return;  // left in place, nothing filed: the next save brings a new control file
    } else if (rs.exists > 0 && !DiffersFromNewest(rs)) {
        isNew = 0;
    }
    SetCheckpoint(rs, 13);
    if (isNew == 1) {
        const Small number = MakeRoom(rs);
        rs.platform.RenameFile(TransferPath(rs), SnapshotPath(rs, Fmt3(number)));
        rs.filed = number;
    } else if (FileExists(rs.platform, TransferPath(rs))) {
        rs.platform.DeleteFile(TransferPath(rs));
    }
}

}  // namespace vornel
