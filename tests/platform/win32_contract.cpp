#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/file_contract.h"
#include "platform/windows/win32_platform.h"

namespace vornel::test {
namespace {

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(h, &data));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

struct Win32Backend : FileBackend {
    Win32Backend() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int serial = 0;
        root = std::string(temp) + "vornel-contract-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++serial);
        CreateDirectoryA(root.c_str(), nullptr);
    }
    ~Win32Backend() override { RemoveTree(root); }
    Platform& platform() override { return win32; }
    std::string dir() override { return root + "\\"; }
    void MakeDirectory(const std::string& name) override { CreateDirectoryA((dir() + name).c_str(), nullptr); }
    void MakeHidden(const std::string& name, const std::string& bytes) override {
        win32.WriteWhole(dir() + name, bytes);
        SetFileAttributesA((dir() + name).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    void MakeReadOnly(const std::string& name, const std::string& bytes) override {
        win32.WriteWhole(dir() + name, bytes);
        SetFileAttributesA((dir() + name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    bool IsReadOnly(const std::string& name) override {
        const DWORD attributes = GetFileAttributesA((dir() + name).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    std::string MissingDirectory() override { return dir() + "GONE\\"; }
    // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
    void SetTime(const std::string& name, std::int64_t seconds) override {
        const ULONGLONG ticks = static_cast<ULONGLONG>(seconds + 11644473600LL) * 10000000ULL;
        FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        HANDLE h = CreateFileA((dir() + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(h, nullptr, nullptr, &t);
        CloseHandle(h);
    }
    std::int64_t TimeOf(const std::string& name) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExA((dir() + name).c_str(), GetFileExInfoStandard, &data);
        const ULONGLONG ticks = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                data.ftLastWriteTime.dwLowDateTime;
        return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
    }
    std::string root;
    Win32Platform win32;
};

INSTANTIATE_TEST_SUITE_P(Win32, FileContract,
                         ::testing::Values(Backend{"Win32", [] { return std::make_unique<Win32Backend>(); }}),
                         BackendName);

TEST(Win32CommandLine, ProgramNameIsCutOff) {
    EXPECT_EQ(ArgumentsOf("vornel.exe U DOC"), " U DOC");
    EXPECT_EQ(ArgumentsOf("\"C:\\Program Files\\vornel.exe\" R  DOC"), " R  DOC");
    EXPECT_EQ(ArgumentsOf("\"C:\\a b\\vornel.exe\""), "");
    EXPECT_EQ(ArgumentsOf("vornel"), "");
}

TEST(Win32Errors, MapOntoTheProgramsNumbers) {
    EXPECT_EQ(FailureForWin32Error(ERROR_FILE_NOT_FOUND), kFileNotFound);
    EXPECT_EQ(FailureForWin32Error(ERROR_PATH_NOT_FOUND), kPathNotFound);
    EXPECT_EQ(FailureForWin32Error(ERROR_FILE_NOT_FOUND), kFileNotFound);
    EXPECT_EQ(FailureForWin32Error(ERROR_ALREADY_EXISTS), kFileExists);
    EXPECT_EQ(FailureForWin32Error(ERROR_SHARING_VIOLATION), kPermissionDenied);
    EXPECT_EQ(FailureForWin32Error(ERROR_DISK_FULL), kDiskFull);
    EXPECT_EQ(FailureForWin32Error(ERROR_INVALID_NAME), kBadFileName);
}

// Every run that names VN\ in its own way meets the same objects, and a deep
// folder's name still fits.
TEST(Win32Turns, ObjectNamesComeFromTheFullPathInAnyCase) {
    EXPECT_EQ(ObjectName("lock", "C:\\XY\\VN\\"), "Local\\Vornel lock C:/XY/VN");
    EXPECT_EQ(ObjectName("lock", "c:\\xy\\vn"), ObjectName("lock", "C:\\XY\\VN\\"));
    EXPECT_EQ(ObjectName("lock", "C:\\XY\\..\\XY\\VN\\"), ObjectName("lock", "C:\\XY\\VN\\"));
    EXPECT_NE(ObjectName("watch", "C:\\XY\\VN\\"), ObjectName("lock", "C:\\XY\\VN\\"));
    const std::string deep = "C:\\" + std::string(300, 'a') + "\\VN\\";
    EXPECT_LT(ObjectName("lock", deep).size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_NE(ObjectName("lock", deep), ObjectName("lock", "C:\\" + std::string(300, 'b') + "\\VN\\"));
}

DWORD WINAPI DiesHolding(LPVOID dir) {
    (new Win32Platform)->LockDirectory(*static_cast<std::string*>(dir), 0);  // never let go
    return 0;
}

// The turn is a mutex: another holder makes a run wait and then fail with 10;
// a holder that died without letting go counts as gone.
TEST(Win32Turns, AHeldTurnTimesOutAndAnAbandonedOneIsTaken) {
    const std::string dir = "C:\\VORNEL-TEST-" + std::to_string(GetCurrentProcessId()) + "\\VN\\";
    Win32Platform run;
    std::atomic<int> stage{0};  // 1: the other holds it; 2: it may let go
    std::thread holder([&] {
        Win32Platform other;
        other.LockDirectory(dir, 0);
        stage = 1;
        while (stage != 2) Sleep(1);
        Sleep(100);
        other.UnlockDirectory(dir);
    });
    while (stage != 1) Sleep(1);
    int number = 0;
    try {
        run.LockDirectory(dir, 50);
    } catch (const Failure& f) {
        number = f.number;
    }
    EXPECT_EQ(number, kRunHolding);
    stage = 2;
    run.LockDirectory(dir, 5000);  // the holder lets go within the wait
    run.UnlockDirectory(dir);
    holder.join();
    // A thread that takes the turn and ends without letting go leaves it abandoned.
    std::string copy = dir;
    const HANDLE dies = CreateThread(nullptr, 0, DiesHolding, &copy, 0, nullptr);
    WaitForSingleObject(dies, INFINITE);
    CloseHandle(dies);
    run.LockDirectory(dir, 0);
    run.UnlockDirectory(dir);
}

TEST(Win32Window, NoForegroundWindowGivesABlankTitle) {
    Win32Platform win32;
    std::string buffer(255, ' ');
    win32.GetWindowTextA(0, buffer, 255);
    EXPECT_EQ(buffer, std::string(255, ' '));
}

}  // namespace
}  // namespace vornel::test
