#pragma once
// An in-memory platform for exercising the whole program: files in a map, a
// scripted foreground window, a keyboard state, and a record of every key
// event, sleep, beep and box. Any operation can be made to fail on its N-th
// call, so every failure path can be reached on purpose.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vornel {

// Thrown by End(): the program has ended the way it ends on Windows.
struct ProgramEnded {};
// Thrown when a script runs out (no more foreground windows to show, or the
// operation budget is spent): the program was stopped from outside.
struct SimulationStopped {};

enum class Op {
    CommandLine, ProgramDirectory, ListFirst, ListNext, Delete, Rename, Copy, Read, Write,
    ForegroundWindow, WindowText, KeyState, MapVirtualKey, KeyEvent, Sleep, Beep, MessageBox,
    Replace, Size, Compare, BeingWritten, Lock, Unlock, Claim, Release, NameTaken, Stamp,
};
inline constexpr int kOpKinds = 27;

struct Operation {
    Op op;
    std::string path;  // the file or pattern, for file operations
};

// An operation that makes, moves or deletes a file.
inline bool ChangesFiles(Op op) {
    return op == Op::Delete || op == Op::Rename || op == Op::Write || op == Op::Copy || op == Op::Replace;
}

struct Box {
    std::string text;
    std::int32_t buttons = 0;
    std::string caption;
    std::string helpFile;
    std::int32_t helpContext = 0;
    bool heldAnything = false;  // the run held a directory or a watch claim while it showed
    BoxFocus focus = BoxFocus::Front;
};

inline constexpr std::int32_t kBadAlloc = -1;

// What every run on one simulated machine shares: the files, and which run
// holds which working directory. Runs are numbered from 0 as they join.
struct MemoryMachine {
    struct Entry {
        std::string path;  // as first written
        std::string bytes;
        bool directory = false;
        bool hidden = false;
        bool readOnly = false;
        bool beingWritten = false;  // another program has it open for writing
        bool heldSharingAll = false;  // a scanner reads it sharing everything: it cannot be replaced
        std::int64_t time = 0;      // last write
    };
    std::map<std::string, Entry> entries;          // keyed by upper-cased path
    std::vector<std::string> missingDirectories;   // upper-cased, ending in '\'
    std::map<std::string, int> locks;              // upper-cased directory -> run
    std::map<std::string, int> watches;            // upper-cased directory -> watch mode's run
    std::set<std::string> takeOverAsked;           // directories a newer watch mode wants
    // The time: each write moves it on by one, each sleep by its length
    // (kClockPerMillisecond a millisecond), so writes are told apart.
    std::int64_t clock = 0;
    // The file system takes a rename by handle with POSIX semantics (NTFS on
    // Windows 10): a holder that shares delete no longer stops a replace.
    bool replaceByHandle = false;
    int runs = 0;

    // Scheduling, for tests that interleave runs. onOperation is called by
    // every operation of every run; wait by a run that finds a directory
    // held by another, and returns false when no other run can let go (the
    // wait then times out). Without them a held directory times out at once.
    std::function<void(int run)> onOperation;
    std::function<bool(int run)> wait;
};

inline constexpr std::int64_t kClockPerMillisecond = 10000;

class MemoryPlatform : public Platform {
public:
    MemoryPlatform();
    // Another run on the same machine: same files, same locks.
    explicit MemoryPlatform(std::shared_ptr<MemoryMachine> machine);
    std::shared_ptr<MemoryMachine> machine() const { return machine_; }
    int run() const { return run_; }

    // --- setting the scene ---
    std::string commandLine;
    std::string programDirectory = "C:\\XY";
    // Titles shown by successive foreground queries; the last one repeats
    // until maxForegroundQueries is reached, then the simulation stops.
    std::vector<std::string> titles;
    long maxForegroundQueries = 100;
    long maxOperations = 2'000'000;  // a guard against a program that never ends
    KeyboardState keyboard{};
    std::array<std::uint8_t, 256> scanCodes{};
    // Names fold per character in the ANSI code page; {932, 932} is Japanese Windows.
    CodePages codePages;
    KeyDelivery delivery = KeyDelivery::Reaches;  // what Windows does with keys for the window in front
    Starter starter = Starter::Outside;  // who started this run, asked of the window in front
    // How many events Windows takes of each SendInput in turn (a locked
    // desktop takes none); once the list is spent, all of them.
    std::vector<std::size_t> inputTaken;

    void PutFile(const std::string& path, const std::string& bytes);
    void PutDirectory(const std::string& path);
    void PutHidden(const std::string& path, const std::string& bytes);
    // A read-only file: reading and renaming work, deleting and writing fail with 75, as on Windows.
    void PutReadOnly(const std::string& path, const std::string& bytes);
    bool IsReadOnly(const std::string& path) const;
    // A file another program still has open for writing: reading, renaming
    // and deleting it fail with 70.
    void PutBeingWritten(const std::string& path, const std::string& bytes);
    // A scanner, the indexer or a sync client has the file open sharing read,
    // write and delete (or while `held` is false, no longer): NTFS refuses to
    // replace it, as in use, and lets everything else through.
    void HoldSharingAll(const std::string& path, bool held);
    void SetTime(const std::string& path, std::int64_t time);
    std::int64_t TimeOf(const std::string& path) const;
    // The file was last written that many milliseconds earlier than it was.
    void Age(const std::string& path, std::int64_t milliseconds);
    // The process is gone (killed from outside): whatever it held is let go.
    void LetGo();
    // The directory (ending in '\\') is gone: every operation on a path in it fails with 76.
    void DropDirectory(const std::string& dir);
    bool Has(const std::string& path) const;
    std::string Content(const std::string& path) const;
    std::vector<std::string> Names() const;  // full paths of every ordinary file, as stored

    // Fail the n-th (from 1) operation of a kind, or the n-th operation of any kind.
    // The number kBadAlloc throws std::bad_alloc instead of a failure.
    void FailNth(Op kind, long n, std::int32_t number);
    void FailNthOperation(long n, std::int32_t number);
    // Another program holds the file of the n-th operation for a moment: that
    // operation, and the next times - 1 of the same kind on the same path,
    // fail as in use (70, marked inUse).
    void HoldNthOperation(long n, int times);
    // The process is killed just before its n-th operation (or the next one
    // that can fail, after letting go): nothing more of the run happens, and
    // no box is shown.
    void KillAtOperation(long n) { killAt_ = n; }

    // Hooks for playing the word processor's part.
    std::function<void(const KeyEvent&)> onKeyEvent;
    std::function<void(std::int32_t)> onSleep;
    std::int32_t sleepOvershoot = 0;  // ms each sleep lasts longer than asked, as on Windows' default timer
    std::function<void(long)> onForegroundQuery;  // argument: 1-based query number

    // --- what happened ---
    std::vector<KeyEvent> keyEvents;                 // every event Windows took, in order
    std::vector<std::vector<KeyEvent>> keyBatches;   // as they were sent, one piece each
    std::vector<std::int32_t> sleeps;
    std::vector<Box> boxes;
    std::vector<std::string> touched;  // every path or pattern handed to a file operation
    std::vector<std::string> reads;    // every path read whole
    std::vector<Operation> log;        // every operation, in order
    bool overBudget = false;           // stopped because maxOperations was spent
    int beeps = 0;
    bool ended = false;
    long operations = 0;
    std::array<long, kOpKinds> counts{};
    long foregroundQueries = 0;

    // --- Platform ---
    std::string CommandLine() override;
    std::string ProgramDirectory() override;
    [[noreturn]] void End() override;
    std::string ListFirst(const std::string& pattern) override;
    std::string ListNext() override;
    void DeleteFile(const std::string& path) override;
    void RenameFile(const std::string& from, const std::string& to) override;
    void CopyFile(const std::string& from, const std::string& to) override;
    std::string ReadWhole(const std::string& path) override;
    void WriteWhole(const std::string& path, const std::string& bytes) override;
    void ReplaceFile(const std::string& from, const std::string& to) override;
    std::int64_t FileSize(const std::string& path) override;
    bool SameBytes(const std::string& a, const std::string& b) override;
    bool BeingWritten(const std::string& path) override;
    std::optional<FileStamp> StampOf(const std::string& path) override;
    std::optional<std::int64_t> WrittenAgo(const std::string& path) override;
    bool NameTaken(const std::string& path) override;
    // The DOS code page is 437 and the ANSI one 1252, as on a US or Western
    // European Windows.
    std::string OemReading(const std::string& name) override;
    CodePages GetCodePages() override;
    void LockDirectory(const std::string& dir, std::int32_t milliseconds) override;
    void UnlockDirectory(const std::string& dir) override;
    bool ClaimWatch(const std::string& dir, std::int32_t milliseconds) override;
    void ReleaseWatch(const std::string& dir) override;
    bool WatchRunning(const std::string& dir) override;
    std::string ResolvedPath(const std::string& dir) override;
    bool SleepUnlessTakenOver(std::int32_t milliseconds) override;
    WindowHandle GetForegroundWindow() override;
    void GetWindowTextA(WindowHandle window, std::string& buffer, std::int32_t size) override;
    void GetKeyboardState(KeyboardState& state) override;
    std::int32_t MapVirtualKeyA(std::int32_t code, std::int32_t mapType) override;
    KeyDelivery KeyDeliveryTo(WindowHandle window) override;
    Starter StartedBy(WindowHandle window) override;
    std::size_t SendInput(const std::vector<KeyEvent>& events) override;
    void Sleep(std::int32_t milliseconds) override;
    std::int64_t Milliseconds() override;
    void Beep() override;
    void MessageBox(const std::string& text, std::int32_t buttons,
                    const std::optional<std::string>& caption, const std::string& helpFile,
                    std::int32_t helpContext, BoxFocus focus) override;

private:
    using Entry = MemoryMachine::Entry;
    struct Fault {
        bool anyKind;
        Op kind;
        long n;
        std::int32_t number;
        bool hold = false;  // in use, for `times` tries in a row
        int times = 0;
        bool begun = false;  // the hold's operation and file, once it has begun
        std::string path;
    };
    void Tick(Op op, const std::string& path = {});
    std::string Key(const std::string& path) const;  // the path as the machine's files are keyed
    Entry* Lookup(const std::string& path);
    Entry& Existing(const std::string& path);
    std::string ListNextName();

    Entry& Unwritten(const std::string& path);  // existing, and not open for writing
    void CheckDirectory(const std::string& path);
    // Waits until the directory is free of other runs in `held`, then takes
    // it; false when the wait times out.
    bool Take(std::map<std::string, int>& held, const std::string& dir);
    bool HoldsAnything() const;  // a directory or a watch claim

    std::shared_ptr<MemoryMachine> machine_;
    int run_ = 0;
    std::vector<Fault> faults_;
    long killAt_ = 0;
    std::vector<std::string> listing_;
    std::size_t listed_ = 0;
    std::vector<std::string> shownTitles_;
};

}  // namespace vornel
