// The window in front and the keys typed into it: its title, the keyboard,
// whether Windows would pass keys to it, whether its program started this
// run; and the boxes, which stay above every window.
#include "platform/windows/win32_platform.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/text.h"
#include "platform/windows/win32_internal.h"

namespace vornel {

WindowHandle Win32Platform::GetForegroundWindow() {
    return reinterpret_cast<WindowHandle>(::GetForegroundWindow());
}

void Win32Platform::GetWindowTextA(WindowHandle window, std::string& buffer, std::int32_t size) {
    if (window == 0 || size <= 0 || buffer.empty()) return;  // no window: the buffer stays blank
    std::string title(static_cast<std::size_t>(size), '\0');
    const int got = ::GetWindowTextA(reinterpret_cast<HWND>(window), title.data(), size);
    if (got <= 0) return;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(got), buffer.size());
    buffer.replace(0, n, title, 0, n);
    if (n < buffer.size()) buffer[n] = '\0';
}

// The live state, not the thread's own copy: a program without a window takes
// no keyboard messages, so GetKeyboardState would never see the keys the user
// holds or the locks toggled since it started. The down bit comes from
// GetAsyncKeyState; the toggle bit from GetKeyState, after GetKeyState(0) has
// brought this thread's state up to date.
void Win32Platform::GetKeyboardState(KeyboardState& state) {
    ::GetKeyState(0);
    for (int vk = 0; vk < 256; ++vk) {
        const bool down = (::GetAsyncKeyState(vk) & 0x8000) != 0;
        const bool on = (::GetKeyState(vk) & 0x0001) != 0;
        state[static_cast<std::size_t>(vk)] = static_cast<std::uint8_t>((down ? 0x80 : 0) | (on ? 0x01 : 0));
    }
}

// In the keyboard layout of the window in front, which Windows keeps per
// thread: the scan code of a letter differs between layouts (Z and Y swap on
// a German one), and hosts built on SDL read the scan code.
std::int32_t Win32Platform::MapVirtualKeyA(std::int32_t code, std::int32_t mapType) {
    const HWND front = ::GetForegroundWindow();
    const HKL layout = ::GetKeyboardLayout(front ? ::GetWindowThreadProcessId(front, nullptr) : 0);
    return static_cast<std::int32_t>(::MapVirtualKeyExA(static_cast<UINT>(code), static_cast<UINT>(mapType), layout));
}

// Windows drops, without a word, keys sent to a program of higher integrity
// (a DOS host run as administrator): compared before anything is sent. A
// console window counts as its client's (cmd.exe, ntvdm.exe), which is what
// Windows reports as its owner and whose rights decide.
KeyDelivery Win32Platform::KeyDeliveryTo(WindowHandle window) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    if (!hwnd) return KeyDelivery::CannotTell;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == 0) return KeyDelivery::CannotTell;
    if (pid == ::GetCurrentProcessId()) return KeyDelivery::Reaches;
    if (!ownIntegrity_) ownIntegrity_ = IntegrityOf(::GetCurrentProcess());  // watch mode looks every pass
    if (!*ownIntegrity_) return KeyDelivery::CannotTell;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return KeyDelivery::CannotTell;
    const std::optional<DWORD> theirs = IntegrityOf(process);
    ::CloseHandle(process);
    if (!theirs) return KeyDelivery::CannotTell;
    return *theirs > **ownIntegrity_ ? KeyDelivery::Dropped : KeyDelivery::Reaches;
}

namespace {

// When the process was started; 0 when it cannot be looked at.
ULONGLONG CreationOf(DWORD pid) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool got = ::GetProcessTimes(process, &created, &exited, &kernel, &user) != 0;
    ::CloseHandle(process);
    return got ? (ULONGLONG{created.dwHighDateTime} << 32) | created.dwLowDateTime : 0;
}

}  // namespace

// Up this run's line of parents in one Tool Help snapshot: the DOS host
// itself, or the command processor (cmd.exe) it started for the macro. A
// parent started after its child is a number Windows gave out again once
// the real parent had ended. When this run's own parent has ended (a cmd /c
// that did not wait), nobody can tell whose it was.
Starter Win32Platform::StartedBy(WindowHandle window) {
    DWORD owner = 0;
    if (!window || !::GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner) || owner == 0)
        return Starter::Outside;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return Starter::Outside;
    std::map<DWORD, DWORD> parents;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry))
        parents[entry.th32ProcessID] = entry.th32ParentProcessID;
    ::CloseHandle(snapshot);
    DWORD child = ::GetCurrentProcessId();
    for (int step = 0; step < 3; ++step) {
        const auto it = parents.find(child);
        if (it == parents.end() || it->second == 0 || it->second == child) return Starter::Outside;
        const DWORD parent = it->second;
        const ULONGLONG born = CreationOf(parent);
        const bool gone = parents.count(parent) == 0 || (born != 0 && born > CreationOf(child));
        if (gone && step == 0) return Starter::CannotTell;
        if (gone || born == 0) return Starter::Outside;
        if (parent == owner) return Starter::Window;
        child = parent;
    }
    return Starter::Outside;
}

// One call for the whole chord: Windows puts no other input between its events.
std::size_t Win32Platform::SendInput(const std::vector<KeyEvent>& events) {
    std::vector<INPUT> inputs(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = events[i].vk;
        inputs[i].ki.wScan = events[i].scan;
        inputs[i].ki.dwFlags = events[i].flags;  // the seam's flags are KEYEVENTF_EXTENDEDKEY and _KEYUP
    }
    // What UIPI drops (a window of an elevated program) is not reported here
    // (KeyDeliveryTo looks first); a locked or secure desktop takes none.
    return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void Win32Platform::Sleep(std::int32_t milliseconds) {
    ::Sleep(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds));
}

std::int64_t Win32Platform::Milliseconds() { return static_cast<std::int64_t>(::GetTickCount64()); }

void Win32Platform::Beep() { ::MessageBeep(MB_OK); }

namespace {

thread_local HHOOK t_topmostHook = nullptr;
thread_local HHOOK t_focusHook = nullptr;
thread_local HWND t_box = nullptr;       // the background box being shown
thread_local bool t_arriving = false;  // it has not been shown yet

bool IsBox(HWND window) {
    char name[16] = {};
    return ::GetClassNameA(window, name, sizeof name) > 0 && lstrcmpA(name, "#32770") == 0;
}

// Once the box is made, it goes above every window; MB_TOPMOST alone is not
// honoured everywhere.
LRESULT CALLBACK MakeTopmost(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_INITDIALOG && IsBox(message->hwnd))
        ::SetWindowPos(message->hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return ::CallNextHookEx(t_topmostHook, code, wParam, lParam);
}

// A background box is not activated as it appears, so the window in front
// keeps the keyboard and the user's next Enter or Space goes on into their
// document instead of answering a box they have not read. Once it is up, it
// is an ordinary window: it has a taskbar button, and a click or Alt+Tab
// activates it, to be answered with Enter (a keyboard or screen-reader user
// can reach it).
LRESULT CALLBACK KeepFocusAway(int code, WPARAM wParam, LPARAM lParam) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && IsBox(window)) {
        t_box = window;
        ::SetWindowLongPtrA(window, GWL_EXSTYLE, ::GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    }
    if (code == HCBT_ACTIVATE && t_arriving && window == t_box) return 1;
    return ::CallNextHookEx(t_focusHook, code, wParam, lParam);
}

// The box's own loop runs this until the box is shown: the show's activation
// has been refused by then, and later ones (the user's) are let through.
void CALLBACK EndArrival(HWND, UINT, UINT_PTR timer, DWORD) {
    if (!t_box || !::IsWindowVisible(t_box)) return;
    t_arriving = false;
    ::KillTimer(nullptr, timer);
}

void Unhook(HHOOK& hook) {
    if (hook) ::UnhookWindowsHookEx(hook);
    hook = nullptr;
}

}  // namespace

// Above every window, so that a box never waits unseen behind a maximized DOS
// window while snapshots have stopped.
void Win32Platform::MessageBox(const std::string& text, std::int32_t buttons,
                               const std::optional<std::string>& caption, const std::string&,
                               std::int32_t, BoxFocus focus) {
    UINT style = static_cast<UINT>(buttons) | MB_TOPMOST;
    t_topmostHook = ::SetWindowsHookExA(WH_CALLWNDPROCRET, MakeTopmost, nullptr, ::GetCurrentThreadId());
    UINT_PTR arrival = 0;
    if (focus == BoxFocus::Front) {
        style |= MB_SETFOREGROUND;
    } else {
        t_box = nullptr;
        t_arriving = true;
        t_focusHook = ::SetWindowsHookExA(WH_CBT, KeepFocusAway, nullptr, ::GetCurrentThreadId());
        arrival = ::SetTimer(nullptr, 0, 100, EndArrival);
    }
    ::MessageBoxA(nullptr, text.c_str(), caption.value_or(kProgramTitle).c_str(), style);
    if (arrival) ::KillTimer(nullptr, arrival);
    t_box = nullptr;
    t_arriving = false;
    Unhook(t_focusHook);
    Unhook(t_topmostHook);
}


}  // namespace vornel
