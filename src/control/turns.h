#pragma once
// Runs that overlap (watch mode all day, a U or R press beside it, a second
// start) take turns on the working directory. The turn is held only for a
// stretch of file work and let go before anything that waits: a sleep, a
// look for the word processor, the chord, a box.
#include "control/run_state.h"

namespace vornel {

// Runs hold their turn for milliseconds; one that keeps it this long is stuck.
inline constexpr std::int32_t kTurnWait = 30000;

// The working directory is this run's while the scope lasts; a failure lets
// go of it on its way to the box.
class DirectoryTurn {
public:
    explicit DirectoryTurn(RunState& rs) : rs_(rs) { rs.platform.LockDirectory(rs.workingDirectory, kTurnWait); }
    ~DirectoryTurn() { rs_.platform.UnlockDirectory(rs_.workingDirectory); }
    DirectoryTurn(const DirectoryTurn&) = delete;
    DirectoryTurn& operator=(const DirectoryTurn&) = delete;

private:
    RunState& rs_;
};

// This run is the working directory's one watch mode while the scope lasts:
// a running one is asked to end, and has ended, before the scope begins.
class WatchClaim {
public:
    explicit WatchClaim(RunState& rs) : rs_(rs) {
        if (!rs.platform.ClaimWatch(rs.workingDirectory, kTurnWait)) Raise(kRunHolding);
    }
    ~WatchClaim() { rs_.platform.ReleaseWatch(rs_.workingDirectory); }
    WatchClaim(const WatchClaim&) = delete;
    WatchClaim& operator=(const WatchClaim&) = delete;

private:
    RunState& rs_;
};

}  // namespace vornel
