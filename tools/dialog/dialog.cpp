// Finds a message box (dialog class "#32770"), prints its caption and text
// exactly (CR as \r, LF as \n) on two lines, then "topmost" or "not topmost"
// and "foreground" or "background" (whether the box took the foreground), and
// presses OK. With "enter", it answers as a keyboard user would instead:
// prints "taskbar" or "no taskbar" (whether the box has a taskbar button),
// activates it as Alt+Tab does ("activated" or "refused"), presses Enter,
// and prints "answered" when that closed it (else presses OK).
//
//   dialog.exe <timeout-ms> [enter]
//
// Exit code 1 when no box appeared in time.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string TextOf(HWND hwnd) {
    char buf[4096] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

BOOL CALLBACK FindStatic(HWND child, LPARAM result) {
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    const std::string text = TextOf(child);
    auto* best = reinterpret_cast<std::string*>(result);
    if (lstrcmpiA(cls, "Static") == 0 && text.size() > best->size()) *best = text;
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const DWORD timeout = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 10000;
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindWindowA("#32770", nullptr))) {
        if (GetTickCount() - start > timeout) {
            std::printf("no box\n");
            return 1;
        }
        Sleep(50);
    }
    Sleep(200);  // let the box finish filling in its text
    std::string text;
    EnumChildWindows(box, FindStatic, reinterpret_cast<LPARAM>(&text));
    const bool topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    const bool front = GetForegroundWindow() == box;
    std::printf("%s\n%s\n%s\n%s\n", Escaped(TextOf(box)).c_str(), Escaped(text).c_str(),
                topmost ? "topmost" : "not topmost", front ? "foreground" : "background");
    std::fflush(stdout);
    if (argc > 2 && std::string(argv[2]) == "enter") {
        const LONG ex = GetWindowLongA(box, GWL_EXSTYLE);
        const bool button = (ex & WS_EX_APPWINDOW) ||
                            (!GetWindow(box, GW_OWNER) && !(ex & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE)));
        std::printf("%s\n", button ? "taskbar" : "no taskbar");
        SetForegroundWindow(box);
        Sleep(300);
        std::printf("%s\n", GetForegroundWindow() == box ? "activated" : "refused");
        INPUT enter[2] = {};
        enter[0].type = enter[1].type = INPUT_KEYBOARD;
        enter[0].ki.wVk = enter[1].ki.wVk = VK_RETURN;
        enter[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, enter, sizeof(INPUT));
        for (int i = 0; i < 30 && IsWindow(box); ++i) Sleep(100);
        std::printf("%s\n", IsWindow(box) ? "not answered" : "answered");
        std::fflush(stdout);
        if (!IsWindow(box)) return 0;
    }
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}
