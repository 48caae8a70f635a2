// Files: listing, reading, writing, moving and replacing, each failure told
// as another program's hold (waited out) or a lasting refusal; and the code
// pages names are read in.
#include "platform/windows/win32_platform.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "platform/windows/win32_internal.h"

namespace vornel {

namespace {

Long AnsiCodePage() { return static_cast<Long>(::GetACP()); }

constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);

// The NT status behind the last error: Windows reports a file pending
// deletion as plain "access denied".
bool LastWasDeletePending() {
    using Getter = LONG(WINAPI*)();
    static const auto get = reinterpret_cast<Getter>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus")));
    return get && get() == kStatusDeletePending;
}

// The folder a path's file stands in, with its separator. Per character: the
// second byte of 表 is no separator.
std::string FolderOf(const std::string& path) {
    const auto cut = LastOf(path, "\\/", AnsiCodePage());
    return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

// True when the user may make files in the folder: a refusal there lasts.
bool MayWriteIn(const std::string& folder) {
    const HANDLE h = ::CreateFileA(folder.c_str(), FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() != ERROR_ACCESS_DENIED;
    ::CloseHandle(h);
    return true;
}

// True when "access denied" on an existing file is another program's open
// handle and not a lasting refusal. NTFS refuses to delete, rename or replace
// a file that another program holds without sharing delete, and to replace
// one that anyone holds at all, however it shares: a virus scanner, the
// indexer or a sync client reading it (they share read, write and delete),
// or a program that has it mapped into memory. A file pending deletion
// refuses everything until its last holder lets go. Lasting are a read-only
// file, a folder, a file the user may not delete, and a folder the user may
// not write. A file the operation deletes or replaces (Fate::Goes) is held by
// any holder; one that is only renamed or written, only by a holder that
// shares less.
enum class Fate { Stays, Goes };

bool HeldByAnother(const std::string& path, Fate fate) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError() == ERROR_ACCESS_DENIED && LastWasDeletePending();
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!MayWriteIn(FolderOf(path))) return false;
    // Delete access, sharing everything: refused only by a holder that does
    // not share delete, by the file's own rights, or a pending deletion.
    const HANDLE h = ::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && LastWasDeletePending());
    }
    ::CloseHandle(h);
    return fate == Fate::Goes;  // the user may delete it, so what refused it was another program's handle
}

// The failure for a file operation on `path` (and `other`, the second file
// of a rename or replace) that stopped with `error`: in use when another
// program holds one of them for now, otherwise the error's own. `fate`: what
// the operation does to `path`.
[[noreturn]] void RaiseFileError(DWORD error, const std::string& path, const std::string& other = {},
                                 Fate fate = Fate::Stays) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE)
        RaiseInUse();
    if (error == ERROR_ACCESS_DENIED &&
        (HeldByAnother(path, fate) || (!other.empty() && HeldByAnother(other, Fate::Stays))))
        RaiseInUse();
    Raise(FailureForWin32Error(error));
}

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
        if (handle_ == INVALID_HANDLE_VALUE) RaiseFileError(::GetLastError(), path);
    }
    ~File() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    HANDLE get() const { return handle_; }

    // For a file written: its bytes go to the disk and it is closed. A write
    // error that shows only now (a network drive reports some at the close)
    // is returned like any other, so a short file is never taken as whole.
    DWORD Finish() {
        DWORD error = ::FlushFileBuffers(handle_) ? ERROR_SUCCESS : ::GetLastError();
        if (!::CloseHandle(handle_) && error == ERROR_SUCCESS) error = ::GetLastError();
        handle_ = INVALID_HANDLE_VALUE;
        return error;
    }

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
        if (!::ReadFile(file, data + done, size - done, &got, nullptr)) RaiseFileError(::GetLastError(), {});
        if (got == 0) break;
        done += got;
    }
    return done;
}

// A file made in part is no file: it goes, and the failure is raised.
[[noreturn]] void Discard(const std::string& path, DWORD error) {
    ::DeleteFileA(path.c_str());
    RaiseFileError(error, path);
}

}  // namespace

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
    if (!::DeleteFileA(path.c_str())) RaiseFileError(::GetLastError(), path, {}, Fate::Goes);
}

void Win32Platform::RenameFile(const std::string& from, const std::string& to) {
    if (!::MoveFileA(from.c_str(), to.c_str())) RaiseFileError(::GetLastError(), from, to);
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
        const DWORD finished = out.Finish();
        if (error == ERROR_SUCCESS) error = finished;
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
        const DWORD finished = file.Finish();
        if (error == ERROR_SUCCESS) error = finished;
    }
    if (error != ERROR_SUCCESS) Discard(path, error);
}

namespace {

// FILE_RENAME_INFO as Windows 10 1607 has it, with Flags in place of
// ReplaceIfExists; older mingw-w64 headers lack the member.
struct RenameInfoEx {
    DWORD Flags;
    HANDLE RootDirectory;
    DWORD FileNameLength;
    WCHAR FileName[1];
};
constexpr DWORD kRenameReplaceIfExists = 0x1;  // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
constexpr DWORD kRenamePosixSemantics = 0x2;   // FILE_RENAME_FLAG_POSIX_SEMANTICS

}  // namespace

// The rename by handle of Windows 10: with POSIX semantics it replaces the
// target even while others hold it open (a sync client uploading it, sharing
// delete), and their handles stay valid. Not to be had on Windows before 10
// 1607, FAT and exFAT, many SMB servers (87, 50, 1), or where `from` cannot
// be opened for it; the move by name then does the job.
unsigned long ReplaceByHandle(const std::string& from, const std::string& to, int infoClass) {
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, to.c_str(), -1, nullptr, 0);
    if (wide <= 0) return ::GetLastError();
    std::wstring target(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, to.c_str(), -1, target.data(), wide);
    const DWORD full = ::GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
    if (full == 0) return ::GetLastError();
    std::wstring path(full, L'\0');
    const DWORD got = ::GetFullPathNameW(target.c_str(), full, path.data(), nullptr);
    if (got == 0 || got >= full) return got == 0 ? ::GetLastError() : ERROR_BUFFER_OVERFLOW;
    path.resize(got);
    const std::size_t bytes = sizeof(RenameInfoEx) + path.size() * sizeof(WCHAR);
    std::vector<ULONGLONG> buffer((bytes + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG), 0);
    auto* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
    info->Flags = kRenameReplaceIfExists | kRenamePosixSemantics;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(path.size() * sizeof(WCHAR));
    std::copy(path.begin(), path.end(), info->FileName);
    const HANDLE h = ::CreateFileA(from.c_str(), DELETE | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    const DWORD error =
        ::SetFileInformationByHandle(h, static_cast<FILE_INFO_BY_HANDLE_CLASS>(infoClass), info, static_cast<DWORD>(bytes))
            ? 0
            : ::GetLastError();
    ::CloseHandle(h);
    return error;
}

// By handle where the file system can, so that a holder that keeps the
// target open however long does not stop the step; by name elsewhere. Held
// by another program for a moment, both files stay as they are, for the
// move to be tried again; otherwise the file made aside goes.
void Win32Platform::ReplaceFile(const std::string& from, const std::string& to) {
    if (ReplaceByHandle(from, to) == 0) return;
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    const DWORD error = ::GetLastError();
    try {
        RaiseFileError(error, to, from, Fate::Goes);
    } catch (const Failure& failure) {
        if (!failure.inUse) ::DeleteFileA(from.c_str());
        throw;
    }
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

// From the directory entry: opening the file, even to read, could refuse
// the word processor's save that is writing it this moment.
std::optional<FileStamp> Win32Platform::StampOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = ::GetLastError();
        // Denied to a file in the folder: one pending deletion (an intake
        // deleted it while a scanner holds it), which is going.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED) return std::nullopt;
        Raise(FailureForWin32Error(error));
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) { return static_cast<std::int64_t>((ULONGLONG{high} << 32) | low); };
    return FileStamp{wide(data.nFileSizeHigh, data.nFileSizeLow),
                     wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

std::optional<std::int64_t> Win32Platform::WrittenAgo(const std::string& path) {
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!stamp) return std::nullopt;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = static_cast<std::int64_t>((ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    return std::max<std::int64_t>(0, (ticks - stamp->written) / 10000);  // FILETIME counts 100 ns
}

bool Win32Platform::NameTaken(const std::string& path) {
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return false;
    if (error == ERROR_ACCESS_DENIED) return true;  // pending deletion: the name is still taken
    Raise(FailureForWin32Error(error));
}

// DOS hosts that turn a DOS program's names into Unicode read them in the OEM
// code page; the A calls here spell names in the ANSI one.
std::string Win32Platform::OemReading(const std::string& name) {
    if (name.empty() || ::GetOEMCP() == ::GetACP()) return "";
    const int size = static_cast<int>(name.size());
    const int wide = ::MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
    if (wide <= 0) return "";
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, name.data(), size, text.data(), wide);
    BOOL lossy = FALSE;
    const int narrow = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, nullptr, &lossy);
    if (narrow <= 0 || lossy) return "";  // a character the ANSI code page lacks cannot be named here
    std::string ansi(static_cast<std::size_t>(narrow), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, ansi.data(), narrow, nullptr, &lossy);
    return lossy || ansi == name ? std::string() : ansi;
}

CodePages Win32Platform::GetCodePages() {
    return CodePages{static_cast<std::int32_t>(::GetACP()), static_cast<std::int32_t>(::GetOEMCP())};
}


}  // namespace vornel
