#pragma once
// The real platform: Win32 calls, one for each operation of the seam.
#include <string>

#include "platform/platform.h"

namespace vornel {

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
    WindowHandle GetForegroundWindow() override;
    void GetWindowTextA(WindowHandle window, std::string& buffer, std::int32_t size) override;
    void GetKeyboardState(KeyboardState& state) override;
    std::int32_t MapVirtualKeyA(std::int32_t code, std::int32_t mapType) override;
    void keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                     std::uintptr_t extraInfo) override;
    void Sleep(std::int32_t milliseconds) override;
    void Beep() override;
    void MessageBox(const std::string& text, std::int32_t buttons,
                    const std::optional<std::string>& caption, const std::string& helpFile,
                    std::int32_t helpContext) override;

private:
    void CloseListing();
    void* find_ = nullptr;  // the open FindFirstFile handle, if any
};

// The program's failure number for a Win32 error code.
std::int32_t FailureForWin32Error(unsigned long error);

// The argument text of a full command line: the program name (quoted or not) cut off.
std::string ArgumentsOf(const std::string& commandLine);

}  // namespace vornel
