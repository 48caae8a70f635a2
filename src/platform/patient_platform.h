#pragma once
// A platform that waits out brief holds. Virus scanners, the indexer, sync
// and backup clients open a file for a moment when it is closed or renamed;
// while they do, a delete, rename or replace of it fails. A file operation
// that fails as "in use" is tried again after short pauses, for about three
// seconds in all; a hold that lasts longer is failure 70. Every other failure,
// and every other operation, passes straight through.
#include "platform/platform.h"

namespace vornel {

// The pauses between tries add up to this much.
inline constexpr std::int32_t kHoldWait = 3000;

class PatientPlatform : public Platform {
public:
    explicit PatientPlatform(Platform& inner) : inner_(inner) {}

    std::string CommandLine() override { return inner_.CommandLine(); }
    std::string ProgramDirectory() override { return inner_.ProgramDirectory(); }
    [[noreturn]] void End() override { EndProgram(inner_); }
    std::string ListFirst(const std::string& pattern) override { return inner_.ListFirst(pattern); }
    std::string ListNext() override { return inner_.ListNext(); }
    void DeleteFile(const std::string& path) override;
    void RenameFile(const std::string& from, const std::string& to) override;
    void CopyFile(const std::string& from, const std::string& to) override;
    std::string ReadWhole(const std::string& path) override;
    void WriteWhole(const std::string& path, const std::string& bytes) override;
    void ReplaceFile(const std::string& from, const std::string& to) override;
    std::int64_t FileSize(const std::string& path) override;
    bool SameBytes(const std::string& a, const std::string& b) override;
    bool BeingWritten(const std::string& path) override { return inner_.BeingWritten(path); }
    std::optional<FileStamp> StampOf(const std::string& path) override { return inner_.StampOf(path); }
    std::optional<std::int64_t> WrittenAgo(const std::string& path) override { return inner_.WrittenAgo(path); }
    bool NameTaken(const std::string& path) override { return inner_.NameTaken(path); }
    std::string OemReading(const std::string& name) override { return inner_.OemReading(name); }
    CodePages GetCodePages() override { return inner_.GetCodePages(); }
    void LockDirectory(const std::string& dir, std::int32_t ms) override { inner_.LockDirectory(dir, ms); }
    void UnlockDirectory(const std::string& dir) override { inner_.UnlockDirectory(dir); }
    bool ClaimWatch(const std::string& dir, std::int32_t ms) override { return inner_.ClaimWatch(dir, ms); }
    void ReleaseWatch(const std::string& dir) override { inner_.ReleaseWatch(dir); }
    bool WatchRunning(const std::string& dir) override { return inner_.WatchRunning(dir); }
    std::string ResolvedPath(const std::string& dir) override { return inner_.ResolvedPath(dir); }
    bool SleepUnlessTakenOver(std::int32_t ms) override { return inner_.SleepUnlessTakenOver(ms); }
    WindowHandle GetForegroundWindow() override { return inner_.GetForegroundWindow(); }
    void GetWindowTextA(WindowHandle window, std::string& buffer, std::int32_t size) override {
        inner_.GetWindowTextA(window, buffer, size);
    }
    void GetKeyboardState(KeyboardState& state) override { inner_.GetKeyboardState(state); }
    std::int32_t MapVirtualKeyA(std::int32_t code, std::int32_t mapType) override {
        return inner_.MapVirtualKeyA(code, mapType);
    }
    KeyDelivery KeyDeliveryTo(WindowHandle window) override { return inner_.KeyDeliveryTo(window); }
    Starter StartedBy(WindowHandle window) override { return inner_.StartedBy(window); }
    std::size_t SendInput(const std::vector<KeyEvent>& events) override { return inner_.SendInput(events); }
    void Sleep(std::int32_t ms) override { inner_.Sleep(ms); }
    std::int64_t Milliseconds() override { return inner_.Milliseconds(); }
    void Beep() override { inner_.Beep(); }
    void MessageBox(const std::string& text, std::int32_t buttons, const std::optional<std::string>& caption,
                    const std::string& helpFile, std::int32_t helpContext, BoxFocus focus) override {
        inner_.MessageBox(text, buttons, caption, helpFile, helpContext, focus);
    }

private:
    template <typename Operation>
    auto Patiently(Operation operation) -> decltype(operation());

    Platform& inner_;
};

}  // namespace vornel
