#pragma once
// The one seam between Vornel's logic and the operating system. Everything the
// program does outside its own memory goes through this interface, so the
// logic runs unchanged on Windows, on a POSIX substitute and in memory.
//
// Every operation that fails raises vornel::Failure; none returns an error code.
#include <array>
#include <exception>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace vornel {

inline constexpr const char* kProgramTitle = "Vornel";

using WindowHandle = std::uintptr_t;
using KeyboardState = std::array<std::uint8_t, 256>;

inline constexpr std::uint32_t kKeyEventExtended = 1;  // KEYEVENTF_EXTENDEDKEY
inline constexpr std::uint32_t kKeyEventKeyUp = 2;     // KEYEVENTF_KEYUP

struct KeyEvent {
    std::uint8_t vk = 0, scan = 0;
    std::uint32_t flags = 0;  // kKeyEventExtended, kKeyEventKeyUp
    bool operator==(const KeyEvent&) const = default;
};

// Whether keys sent to a window reach it. Windows drops, without a word,
// what a program sends to a window of a program that runs with more rights
// (an elevated DOS host).
enum class KeyDelivery {
    Reaches,
    Dropped,
    CannotTell,  // the window's program cannot be looked at (a console, another account)
};

// The code pages the system reads names in: the ANSI one (the file calls
// take names in it) and the DOS (OEM) one.
struct CodePages {
    std::int32_t ansi = 1252;
    std::int32_t oem = 437;
};

// What a file's directory entry says of it, read without opening the file.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t written = 0;  // last-write time, in the file system's own units
    bool operator==(const FileStamp&) const = default;
};

// Who started this run, asked of a window's program.
enum class Starter {
    Outside,     // someone else (Win+R, a shortcut, a command prompt of its own)
    Window,      // the window's program, itself or through a command processor it started
    CannotTell,  // the program that started this run has ended already (a cmd /c that did not wait)
};

// Which window a box may take the keyboard from.
enum class BoxFocus {
    Front,   // the user just started this run: the box comes to the front
    Behind,  // a background run: the box stays above all, but the user's window keeps the keys
};

class Platform {
public:
    virtual ~Platform() = default;

    // Program context.
    virtual std::string CommandLine() = 0;        // argument text after the program name
    virtual std::string ProgramDirectory() = 0;   // no trailing separator except at a root
    [[noreturn]] virtual void End() = 0;          // the only way out of the program

    // Files. Paths are plain texts; names match without regard to letter case.
    // A file operation that fails because another program has the file open
    // for a moment raises a Failure marked inUse; every other failure is not.
    // ListFirst returns the name (last component) of the first ordinary file
    // matching a pattern whose last component may hold '*', or "" when none.
    virtual std::string ListFirst(const std::string& pattern) = 0;
    virtual std::string ListNext() = 0;  // "" when the listing is exhausted
    virtual void DeleteFile(const std::string& path) = 0;
    virtual void RenameFile(const std::string& from, const std::string& to) = 0;
    // A copy is an ordinary, writable file with the source's bytes and
    // last-write time, made in chunks; a failed copy leaves no destination.
    virtual void CopyFile(const std::string& from, const std::string& to) = 0;
    virtual std::string ReadWhole(const std::string& path) = 0;
    // Replaces the file; a failed write leaves no half-written file behind.
    virtual void WriteWhole(const std::string& path, const std::string& bytes) = 0;
    // Puts `from` in the place of `to` in one operation, replacing it when it
    // exists: a reader sees the old file or the new one, never part of one.
    // A failed move leaves `to` as it was and removes `from`.
    virtual void ReplaceFile(const std::string& from, const std::string& to) = 0;
    // The length in bytes, with the file opened for reading as ReadWhole would.
    virtual std::int64_t FileSize(const std::string& path) = 0;
    // True when both files hold the same bytes; reads them in chunks and stops
    // at the first difference, so no document is held whole in memory.
    virtual bool SameBytes(const std::string& a, const std::string& b) = 0;
    // True when another program has the file open for writing right now (a
    // save still going on). Never fails: a file that cannot be looked at is
    // not being written, and the operation that follows reports why.
    virtual bool BeingWritten(const std::string& path) = 0;
    // The size and last-write time of an ordinary file, from its directory
    // entry: the file is not opened, so a save going on is not disturbed.
    // Nothing when the listing would not show such a file, or when it is
    // going (deleted while another program still holds it).
    virtual std::optional<FileStamp> StampOf(const std::string& path) = 0;
    // How long ago, in milliseconds by the system's clock, the file the
    // listing would show was last written; 0 for a time ahead of the clock.
    // Nothing when there is no such file. The file is not opened.
    virtual std::optional<std::int64_t> WrittenAgo(const std::string& path) = 0;
    // True when anything has this name, whether the listing shows it or not:
    // a hidden or system file, or a folder.
    virtual bool NameTaken(const std::string& path) = 0;
    // The same name's bytes read in the DOS code page and spelt in the one
    // the file operations take; "" when the two code pages agree on them or
    // that spelling cannot name a file.
    virtual std::string OemReading(const std::string& name) = 0;
    virtual CodePages GetCodePages() = 0;

    // Runs that overlap take turns on a working directory, whichever path
    // names it (letter case, an 8.3 form, another drive letter, a share's
    // name): the folder itself decides. LockDirectory waits
    // at most `milliseconds` for the turn, then fails with kRunHolding; a
    // holder that died counts as gone. End() lets go of whatever is held.
    // Nothing is created in the directory for it.
    virtual void LockDirectory(const std::string& dir, std::int32_t milliseconds) = 0;
    virtual void UnlockDirectory(const std::string& dir) = 0;
    // One watch mode per working directory: asks the one that runs there to
    // end, and waits at most `milliseconds` until it has. False when it has
    // not: the request is withdrawn and the running one goes on.
    virtual bool ClaimWatch(const std::string& dir, std::int32_t milliseconds) = 0;
    virtual void ReleaseWatch(const std::string& dir) = 0;
    // True when a watch mode runs on the directory; it is not asked anything.
    virtual bool WatchRunning(const std::string& dir) = 0;
    // The directory as the system resolves it, for the user to read.
    virtual std::string ResolvedPath(const std::string& dir) = 0;
    // Sleeps like Sleep, but returns true at once when a newer watch mode has
    // asked for the directory this run claimed.
    virtual bool SleepUnlessTakenOver(std::int32_t milliseconds) = 0;

    // Windows and keyboard.
    virtual WindowHandle GetForegroundWindow() = 0;
    // Copies the window's title into the start of buffer (at most size - 1 characters).
    virtual void GetWindowTextA(WindowHandle window, std::string& buffer, std::int32_t size) = 0;
    virtual void GetKeyboardState(KeyboardState& state) = 0;
    virtual std::int32_t MapVirtualKeyA(std::int32_t code, std::int32_t mapType) = 0;
    virtual KeyDelivery KeyDeliveryTo(WindowHandle window) = 0;
    // Whether the program that owns the window started this run, itself or
    // through a command processor it started (a DOS host running the macro's
    // command). Never fails: what cannot be looked at is Outside.
    virtual Starter StartedBy(WindowHandle window) = 0;
    // Puts the events into the input stream in one piece: nothing the user
    // types lands between them. Returns how many Windows took, from the
    // first: fewer than all when input is blocked (a locked desktop).
    virtual std::size_t SendInput(const std::vector<KeyEvent>& events) = 0;
    virtual void Sleep(std::int32_t milliseconds) = 0;
    // A clock that only goes forward, in milliseconds from some start: what a
    // wait really took, which a sum of sleeps is not (Windows' timer makes a
    // Sleep(50) last up to 65 ms).
    virtual std::int64_t Milliseconds() = 0;

    // User feedback. Without a caption the box shows the program's title.
    // Every box stays above all other windows until it is answered.
    virtual void Beep() = 0;
    virtual void MessageBox(const std::string& text, std::int32_t buttons,
                            const std::optional<std::string>& caption,
                            const std::string& helpFile, std::int32_t helpContext, BoxFocus focus) = 0;
};

// Ends the program. End() never returns; this says so where a virtual call
// would leave the compiler unsure.
[[noreturn]] inline void EndProgram(Platform& platform) {
    platform.End();
    std::terminate();
}

// The existence test every caller uses: a listing of a path without wildcards.
inline bool FileExists(Platform& platform, const std::string& path) {
    return !platform.ListFirst(path).empty();
}

}  // namespace vornel
