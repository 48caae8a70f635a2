#include <windows.h>
// The seam's names are plain words; the Windows headers make some of them macros.
#undef DeleteFile
#undef CopyFile
#undef MessageBox

#include "platform/windows/win32_platform.h"

#include <algorithm>
#include "platform/text.h"
#include "platform/wildcard.h"

namespace vornel {

namespace {

[[noreturn]] void RaiseLastError() { Raise(FailureForWin32Error(::GetLastError())); }

bool IsOrdinary(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

// Files are read and written in pieces of this size: no document is held
// whole in memory.
constexpr DWORD kChunk = 64 * 1024;

// One open file, closed whatever happens.
class File {
public:
    File(const std::string& path, DWORD access, DWORD disposition)
        : handle_(::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (handle_ == INVALID_HANDLE_VALUE) RaiseLastError();
    }
    ~File() { ::CloseHandle(handle_); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Writes every byte; the Win32 error that stopped it, or ERROR_SUCCESS.
DWORD PutAll(HANDLE file, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!::WriteFile(file, data + done, want, &put, nullptr)) return ::GetLastError();
        if (put == 0) return ERROR_DISK_FULL;
        done += put;
    }
    return ERROR_SUCCESS;
}

// Reads up to size bytes, fewer only at the end of the file.
DWORD GetChunk(HANDLE file, char* data, DWORD size) {
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!::ReadFile(file, data + done, size - done, &got, nullptr)) RaiseLastError();
        if (got == 0) break;
        done += got;
    }
    return done;
}

// A file made in part is no file: it goes, and the failure is raised.
[[noreturn]] void Discard(const std::string& path, DWORD error) {
    ::DeleteFileA(path.c_str());
    Raise(FailureForWin32Error(error));
}

void Release(void*& handle, bool owned) {
    if (!handle) return;
    if (owned) ::ReleaseMutex(static_cast<HANDLE>(handle));
    ::CloseHandle(static_cast<HANDLE>(handle));
    handle = nullptr;
}

// Waits for a named mutex; a holder that died (WAIT_ABANDONED) counts as gone.
bool Acquire(HANDLE mutex, DWORD milliseconds) {
    const DWORD got = ::WaitForSingleObject(mutex, milliseconds);
    if (got == WAIT_FAILED) RaiseLastError();
    return got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
}

HANDLE NamedMutex(const std::string& name) {
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
    if (!mutex) RaiseLastError();
    return mutex;
}

}  // namespace

std::string ObjectName(const std::string& kind, const std::string& dir) {
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD got = ::GetFullPathNameA(dir.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (got == 0) {
            full = dir;
            break;
        }
        if (got < full.size()) {
            full.resize(got);
            break;
        }
        full.resize(got);
    }
    full = Upper(full);
    while (!full.empty() && full.back() == '\\') full.pop_back();
    std::replace(full.begin(), full.end(), '\\', '/');  // not a namespace separator
    std::string name = "Local\\Vornel " + kind + " " + full;
    if (name.size() < MAX_PATH) return name;
    return "Local\\Vornel " + kind + " #" + FoldedHash(full);  // a deep folder: its hash stands for it
}

std::int32_t FailureForWin32Error(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return kPathNotFound;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return kFileExists;
        case ERROR_ACCESS_DENIED: return kPathAccess;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return kPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return kDiskFull;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY: return kBadFileName;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return kOutOfMemory;
        default: return kPathAccess;
    }
}

std::string ArgumentsOf(const std::string& commandLine) {
    std::size_t i = 0;
    if (i < commandLine.size() && commandLine[i] == '"') {
        const auto close = commandLine.find('"', 1);
        i = close == std::string::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
    return commandLine.substr(i);
}

Win32Platform::Win32Platform() = default;
Win32Platform::~Win32Platform() {
    CloseListing();
    LetGo();
}

// Whatever this run holds is let go as it ends, so that the next run gets it
// at once rather than as abandoned.
void Win32Platform::LetGo() {
    for (auto& [dir, mutex] : locks_) Release(mutex, true);
    locks_.clear();
    ReleaseWatch("");
}

std::string Win32Platform::CommandLine() { return ArgumentsOf(::GetCommandLineA()); }

std::string Win32Platform::ProgramDirectory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD got = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) RaiseLastError();
        if (got < path.size()) {
            path.resize(got);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto cut = path.find_last_of('\\');
    if (cut == std::string::npos) return path;
    // A drive's root keeps its separator, as "C:\".
    return path.substr(0, cut == 2 && path[1] == ':' ? cut + 1 : cut);
}

void Win32Platform::End() {
    CloseListing();
    LetGo();
    ::ExitProcess(0);
}

void Win32Platform::CloseListing() {
    if (find_) ::FindClose(static_cast<HANDLE>(find_));
    find_ = nullptr;
}

std::string Win32Platform::ListFirst(const std::string& pattern) {
    CloseListing();
    WIN32_FIND_DATAA data{};
    const HANDLE h = ::FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        // Only these mean "no such file"; a missing directory, a path over the
        // limit or a denied listing must not read as an empty store.
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return "";
        Raise(FailureForWin32Error(error));
    }
    find_ = h;
    if (IsOrdinary(data)) return data.cFileName;
    return ListNext();
}

std::string Win32Platform::ListNext() {
    WIN32_FIND_DATAA data{};
    while (find_ && ::FindNextFileA(static_cast<HANDLE>(find_), &data)) {
        if (IsOrdinary(data)) return data.cFileName;
    }
    const DWORD error = ::GetLastError();
    const bool wasOpen = find_ != nullptr;
    CloseListing();
    // A listing that breaks off part-way (a dropped network drive) is a failure,
    // not the end of the names.
    if (wasOpen && error != ERROR_NO_MORE_FILES) Raise(FailureForWin32Error(error));
    return "";
}

void Win32Platform::DeleteFile(const std::string& path) {
    if (!::DeleteFileA(path.c_str())) RaiseLastError();
}

void Win32Platform::RenameFile(const std::string& from, const std::string& to) {
    if (!::MoveFileA(from.c_str(), to.c_str())) RaiseLastError();
}

// The bytes and the last-write time only: CopyFileA would carry a read-only
// snapshot's attributes over to the result file, and the next step could not
// replace it.
void Win32Platform::CopyFile(const std::string& from, const std::string& to) {
    File in(from, GENERIC_READ, OPEN_EXISTING);
    DWORD error = ERROR_SUCCESS;
    {
        File out(to, GENERIC_WRITE, CREATE_ALWAYS);
        std::string buffer(kChunk, '\0');
        DWORD got = 0;
        while (error == ERROR_SUCCESS) {
            if (!::ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
                error = ::GetLastError();
            else if (got == 0)
                break;
            else
                error = PutAll(out.get(), buffer.data(), got);
        }
        FILETIME written{};
        if (error == ERROR_SUCCESS && !(::GetFileTime(in.get(), nullptr, nullptr, &written) &&
                                        ::SetFileTime(out.get(), nullptr, nullptr, &written)))
            error = ::GetLastError();
    }
    if (error != ERROR_SUCCESS) Discard(to, error);
}

std::string Win32Platform::ReadWhole(const std::string& path) {
    File file(path, GENERIC_READ, OPEN_EXISTING);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) RaiseLastError();
    if (size.QuadPart > 0x7FFFFFFF) Raise(kOutOfMemory);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    // The file may have shrunk since: keep what was there.
    bytes.resize(GetChunk(file.get(), bytes.data(), static_cast<DWORD>(bytes.size())));
    return bytes;
}

void Win32Platform::WriteWhole(const std::string& path, const std::string& bytes) {
    DWORD error = ERROR_SUCCESS;
    {
        File file(path, GENERIC_WRITE, CREATE_ALWAYS);
        error = PutAll(file.get(), bytes.data(), bytes.size());
    }
    if (error != ERROR_SUCCESS) Discard(path, error);
}

void Win32Platform::ReplaceFile(const std::string& from, const std::string& to) {
    if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) Discard(from, ::GetLastError());
}

std::int64_t Win32Platform::FileSize(const std::string& path) {
    File file(path, GENERIC_READ, OPEN_EXISTING);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) RaiseLastError();
    return size.QuadPart;
}

bool Win32Platform::SameBytes(const std::string& a, const std::string& b) {
    File first(a, GENERIC_READ, OPEN_EXISTING);
    File second(b, GENERIC_READ, OPEN_EXISTING);
    std::string x(kChunk, '\0'), y(kChunk, '\0');
    for (;;) {
        const DWORD gotX = GetChunk(first.get(), x.data(), kChunk);
        const DWORD gotY = GetChunk(second.get(), y.data(), kChunk);
        if (gotX != gotY || x.compare(0, gotX, y, 0, gotY) != 0) return false;
        if (gotX < kChunk) return true;
    }
}

// Opened without letting others write: that fails with a sharing violation
// exactly while someone has the file open for writing.
bool Win32Platform::BeingWritten(const std::string& path) {
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(h);
    return false;
}

void Win32Platform::LockDirectory(const std::string& dir, std::int32_t milliseconds) {
    const HANDLE mutex = NamedMutex(ObjectName("lock", dir));
    try {
        if (!Acquire(mutex, static_cast<DWORD>(milliseconds))) Raise(kRunHolding);
    } catch (...) {
        ::CloseHandle(mutex);
        throw;
    }
    void* held = mutex;
    std::swap(locks_[Upper(dir)], held);
    Release(held, true);  // taken twice: the mutex counts, let the older hold go
}

void Win32Platform::UnlockDirectory(const std::string& dir) {
    const auto it = locks_.find(Upper(dir));
    if (it == locks_.end()) return;
    Release(it->second, true);
    locks_.erase(it);
}

// The watch mutex is held for a watch mode's life. A newer one sets the
// take-over event, again every 100 ms (a third start may have reset it), until
// the running one has seen it, ended, and let the mutex go.
void Win32Platform::ClaimWatch(const std::string& dir, std::int32_t milliseconds) {
    ReleaseWatch(dir);
    watch_ = NamedMutex(ObjectName("watch", dir));
    takeOver_ = ::CreateEventA(nullptr, FALSE, FALSE, ObjectName("take-over", dir).c_str());
    if (!takeOver_) RaiseLastError();
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    bool mine = Acquire(watch_, 0);
    while (!mine) {
        if (::GetTickCount64() >= deadline) {
            ReleaseWatch(dir);  // not ours: letting go of it does nothing
            Raise(kRunHolding);
        }
        ::SetEvent(takeOver_);
        mine = Acquire(watch_, 100);
    }
    ::ResetEvent(takeOver_);  // our own asking is not meant for us
}

void Win32Platform::ReleaseWatch(const std::string&) {
    Release(watch_, true);
    Release(takeOver_, false);
}

bool Win32Platform::SleepUnlessTakenOver(std::int32_t milliseconds) {
    if (!takeOver_) {
        Sleep(milliseconds);
        return false;
    }
    const DWORD wait = milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds);
    return ::WaitForSingleObject(static_cast<HANDLE>(takeOver_), wait) == WAIT_OBJECT_0;
}

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

std::int32_t Win32Platform::MapVirtualKeyA(std::int32_t code, std::int32_t mapType) {
    return static_cast<std::int32_t>(::MapVirtualKeyA(static_cast<UINT>(code), static_cast<UINT>(mapType)));
}

void Win32Platform::keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                                std::uintptr_t extraInfo) {
    ::keybd_event(vk, scan, flags, static_cast<ULONG_PTR>(extraInfo));
}

void Win32Platform::Sleep(std::int32_t milliseconds) {
    ::Sleep(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds));
}

void Win32Platform::Beep() { ::MessageBeep(MB_OK); }

void Win32Platform::MessageBox(const std::string& text, std::int32_t buttons,
                               const std::optional<std::string>& caption, const std::string&,
                               std::int32_t) {
    ::MessageBoxA(nullptr, text.c_str(), caption.value_or(kProgramTitle).c_str(),
                  static_cast<UINT>(buttons) | MB_SETFOREGROUND);
}

}  // namespace vornel
