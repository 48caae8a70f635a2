#pragma once
// The real platform: Win32 calls, one for each operation of the seam.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vornel {

class ObjectSecurity;

class Win32Platform : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;

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
    void CloseListing();
    void LetGo();
    // A directory's object names and their security, worked out once a run:
    // watch mode takes a turn every pass.
    const std::string& NameOf(const std::string& kind, const std::string& dir);
    void* Security();  // the SECURITY_ATTRIBUTES, or nullptr for the defaults
    static std::string Folded(const std::string& dir);
    std::map<std::string, std::string> names_;
    std::unique_ptr<ObjectSecurity> security_;
    void* find_ = nullptr;  // the open FindFirstFile handle, if any
    std::map<std::string, void*> locks_;  // directory -> its held mutex
    // This process's integrity level, read at the first look for dropped
    // keys (the same all run); the inner one is empty when it cannot be read.
    std::optional<std::optional<unsigned long>> ownIntegrity_;
    void* watch_ = nullptr;     // the watch mutex this run holds
    void* takeOver_ = nullptr;  // the event a newer watch mode sets
};

// The name of a session-wide object of this kind for a directory: from the
// folder's final path as Windows resolves it, upper-cased, so that every run
// reaching it any way meets the same.
std::string ObjectName(const std::string& kind, const std::string& dir);

// Puts `from` in the place of `to` by the rename by handle of Windows 10,
// with POSIX semantics: 0 when done, else the error the call answered.
// `infoClass` 3 sends the same structure as the older FileRenameInfo, whose
// layout it shares (Flags in place of ReplaceIfExists), for a test where
// the newer call is not to be had.
unsigned long ReplaceByHandle(const std::string& from, const std::string& to, int infoClass = 22);

// The program's failure number for a Win32 error code.
std::int32_t FailureForWin32Error(unsigned long error);

// The argument text of a full command line: the program name (quoted or not) cut off.
std::string ArgumentsOf(const std::string& commandLine);

}  // namespace vornel
