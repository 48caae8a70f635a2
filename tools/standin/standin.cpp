// A stand-in for XyWrite in end-to-end tests: a window with a given title
// that logs every key message it receives and plays the macro's part. On its
// trigger chord it saves its document text as VN\<doc>.BAK and writes the
// document's name plus one character into VN\VORNEL.CTL.
//
//   standin.exe <title> <vn-dir> <doc> <text-file> <log-file> <command-file> <chord>
//
// The chord is a row of two-digit hex key codes; the last one, pressed while
// the others are down, fires the save. The test talks to it by writing one
// word into the command file: save, front, load (copy <doc>.VRN into the text
// file), quit, "slow BAK" / "slow CTL": the next save keeps that file open
// for writing six seconds after writing it, as a slow disk would, or "ctl
// crlf" / "ctl path" / "ctl plain": what later saves write into VORNEL.CTL
// (the name and CR LF, as a careless macro would; the full path of the
// document; the name and one character), or "ctl none": later chords save
// nothing at all, as a macro that broke.
//
// It can also play a DOS host starting a Windows program for the macro:
// "start <how> <exe> <arguments>" starts it, in one of the three ways hosts
// do: "nowait" goes on at once; "answering" keeps its window answering while
// the DOS program waits, so a chord meanwhile is answered only once the
// program has ended; "blocked" waits in its only thread, so keys sent
// meanwhile queue in Windows and reach it after the program has ended.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string g_vn, g_doc, g_textFile, g_logFile, g_commandFile;
std::vector<int> g_chord;
bool g_down[256] = {};
bool g_wasFront = false;
std::string g_slow;            // "BAK" or "CTL": held open by the next save
std::string g_ctl = "plain";   // how saves write VORNEL.CTL
FILE* g_held = nullptr;        // the file a slow save still has open
DWORD g_releaseAt = 0;
HANDLE g_child = nullptr;      // the program started "answering", while it runs
bool g_chordWaiting = false;   // a chord that came meanwhile, answered when it ends

void Log(const std::string& line) {
    if (FILE* f = std::fopen(g_logFile.c_str(), "ab")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// Writes a file of the save, keeping it open when this save is a slow one.
void SaveFile(const std::string& kind, const std::string& path, const std::string& bytes) {
    if (g_slow != kind || g_held) return WriteAll(path, bytes);
    g_held = std::fopen(path.c_str(), "wb");
    if (!g_held) return;
    std::fwrite(bytes.data(), 1, bytes.size(), g_held);
    std::fflush(g_held);
    g_releaseAt = GetTickCount() + 6000;
    g_slow.clear();
    Log("holding " + kind);
}

void Save() {
    if (g_ctl == "none") return Log("saved nothing");
    SaveFile("BAK", g_vn + "\\" + g_doc + ".BAK", ReadAll(g_textFile));
    const std::string name = g_ctl == "crlf"   ? g_doc + "\r\n"
                           : g_ctl == "path" ? g_vn + "\\" + g_doc + "\x1a"
                                             : g_doc + "\x1a";
    SaveFile("CTL", g_vn + "\\VORNEL.CTL", name);
    Log("saved");
}

void Front(HWND hwnd) {
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
    SetFocus(hwnd);
}

// Logs "down 25" or, for a key sent as an extended key (lParam bit 24), "down 25 ext".
void OnKey(WPARAM vk, LPARAM lp, bool down) {
    char line[32];
    std::snprintf(line, sizeof line, "%s %02X%s", down ? "down" : "up", static_cast<unsigned>(vk & 0xFF),
                  (lp & (1L << 24)) ? " ext" : "");
    Log(line);
    const bool wasDown = g_down[vk & 0xFF];
    g_down[vk & 0xFF] = down;
    if (!down || wasDown || g_chord.empty() || static_cast<int>(vk) != g_chord.back()) return;
    for (size_t i = 0; i + 1 < g_chord.size(); ++i)
        if (!g_down[g_chord[i]]) return;
    if (g_child) {  // the DOS side is waiting for the program it started
        g_chordWaiting = true;
        return Log("chord waits");
    }
    Save();
}

// Starts the program as the DOS host would for the macro's command.
void StartProgram(const std::string& how, const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    const ULONGLONG startedAt = GetTickCount64();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Log("start failed");
    CloseHandle(pi.hThread);
    Log("started " + how);
    if (how == "blocked") {
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        Log("program ended");
        Log("took " + std::to_string(GetTickCount64() - startedAt));  // as long as the host waited
    } else if (how == "answering") {
        g_child = pi.hProcess;
    } else {
        CloseHandle(pi.hProcess);
    }
}

void CheckProgram() {
    if (!g_child || WaitForSingleObject(g_child, 0) != WAIT_OBJECT_0) return;
    CloseHandle(g_child);
    g_child = nullptr;
    Log("program ended");
    if (g_chordWaiting) Save();
    g_chordWaiting = false;
}

void Poll(HWND hwnd) {
    const bool front = GetForegroundWindow() == hwnd;
    if (front && !g_wasFront) Log("front");
    g_wasFront = front;
    CheckProgram();
    if (g_held && static_cast<LONG>(GetTickCount() - g_releaseAt) >= 0) {
        std::fclose(g_held);
        g_held = nullptr;
        Log("released");
    }
    std::string command = ReadAll(g_commandFile);
    if (command.empty()) return;
    DeleteFileA(g_commandFile.c_str());
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
    if (command == "save") Save();
    if (command == "front") Front(hwnd);
    if (command == "load") {
        WriteAll(g_textFile, ReadAll(g_vn + "\\" + g_doc + ".VRN"));
        Log("loaded");
    }
    if (command == "quit") DestroyWindow(hwnd);
    if (command.rfind("slow ", 0) == 0) g_slow = command.substr(5);
    if (command.rfind("ctl ", 0) == 0) g_ctl = command.substr(4);
    if (command.rfind("start ", 0) == 0) {
        const std::string rest = command.substr(6);
        const auto blank = rest.find(' ');
        StartProgram(rest.substr(0, blank), blank == std::string::npos ? "" : rest.substr(blank + 1));
    }
    Log("done " + command);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: OnKey(wp, lp, true); return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP: OnKey(wp, lp, false); return 0;
        case WM_TIMER: Poll(hwnd); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 8) return 2;
    const std::string title = __argv[1];
    g_vn = __argv[2];
    g_doc = __argv[3];
    g_textFile = __argv[4];
    g_logFile = __argv[5];
    g_commandFile = __argv[6];
    const std::string chord = __argv[7];
    for (size_t i = 0; i + 1 < chord.size(); i += 2) g_chord.push_back(std::stoi(chord.substr(i, 2), nullptr, 16));

    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = "VornelStandIn";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                400, 200, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 3;
    Front(hwnd);
    SetTimer(hwnd, 1, 50, nullptr);
    Log("started");
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
