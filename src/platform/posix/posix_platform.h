#pragma once
// The POSIX substitute: real files in a real directory, with the Windows
// habits the logic relies on. '\' in a path is '/', file names match without
// regard to letter case, and the listing follows the Windows '*' rule. There
// is no window system: no window is ever in front, and keys go nowhere.
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace vornel {

class PosixPlatform : public Platform {
public:
    PosixPlatform(std::string commandLine, std::string programDirectory);
    ~PosixPlatform() override;

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
    struct Listed {
        std::string name;
        unsigned char type;  // dirent d_type
    };
    // The names of the directory last read, for case-folded lookups.
    struct Names {
        bool valid = false;
        std::string dir;
        std::uint64_t device = 0, inode = 0;
        std::int64_t seconds = 0, nanoseconds = 0;  // the directory's mtime
        std::vector<Listed> entries;
        std::chrono::steady_clock::time_point readAt;
        bool folded = false;
        int lookups = 0;
        std::unordered_map<std::string, std::string> byFolded;  // upper-cased -> as stored
    };
    // The real path of an existing file named case-insensitively, or the
    // mapped path itself when there is none.
    std::string Resolve(const std::string& path);
    int OpenRead(const std::string& path);  // a descriptor; fails as reading would
    // The names now in dir; strict: a directory that cannot be read fails.
    const std::vector<Listed>& ReadDirectory(const std::string& dir, bool strict);
    bool NamesCurrent(const std::string& dir);
    std::string FindFolded(const std::string& name);  // "" when no name folds to it
    void Changed(const std::string& dir, bool wasCurrent, const std::string& removed, const std::string& added);

    Names names_;
    std::map<std::string, int> locks_;  // directory -> the descriptor its flock is on
    int watch_ = -1;                    // the listening socket this watch mode holds
    std::string commandLine_;
    std::string programDirectory_;
    std::vector<std::string> listing_;
    std::size_t listed_ = 0;
};

// The error numbers of the program for an errno value.
std::int32_t FailureForErrno(int error);

}  // namespace vornel
