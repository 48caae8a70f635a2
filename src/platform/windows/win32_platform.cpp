#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>
// The seam's names are plain words; the Windows headers make some of them macros.
#undef DeleteFile
#undef CopyFile
#undef MessageBox
#undef ReplaceFile

#include "platform/windows/win32_platform.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "platform/wildcard.h"

namespace vornel {

namespace {

[[noreturn]] void RaiseLastError() { Raise(FailureForWin32Error(::GetLastError())); }

constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);

// The NT status behind the last error: Windows reports a file pending
// deletion as plain "access denied".
bool LastWasDeletePending() {
    using Getter = LONG(WINAPI*)();
    static const auto get = reinterpret_cast<Getter>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus")));
    return get && get() == kStatusDeletePending;
}

// The folder a path's file stands in, with its separator.
std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
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
// not write. `goes` says the operation deletes or replaces this file; a file
// that is only renamed or written is held only by a holder that shares less.
bool HeldByAnother(const std::string& path, bool goes) {
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
    return goes;  // the user may delete it, so what refused it was another program's handle
}

// The failure for a file operation on `path` (and `other`, the second file
// of a rename or replace) that stopped with `error`: in use when another
// program holds one of them for now, otherwise the error's own. `pathGoes`:
// the operation deletes or replaces `path`.
[[noreturn]] void RaiseFileError(DWORD error, const std::string& path, const std::string& other = {},
                                 bool pathGoes = false) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE)
        RaiseInUse();
    if (error == ERROR_ACCESS_DENIED &&
        (HeldByAnother(path, pathGoes) || (!other.empty() && HeldByAnother(other, false))))
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

// The objects are open to the user's own processes at any integrity level
// (ObjectSecurity): one that refuses this run was made by a run under
// another account.
[[noreturn]] void RaiseObjectError() {
    if (::GetLastError() == ERROR_ACCESS_DENIED) Raise(kOtherAccount);
    RaiseLastError();
}

HANDLE NamedMutex(const std::string& name, void* security) {
    const HANDLE mutex = ::CreateMutexA(static_cast<SECURITY_ATTRIBUTES*>(security), FALSE, name.c_str());
    if (!mutex) RaiseObjectError();
    return mutex;
}

HANDLE NamedEvent(const std::string& name, void* security) {
    const HANDLE event = ::CreateEventA(static_cast<SECURITY_ATTRIBUTES*>(security), FALSE, FALSE, name.c_str());
    if (!event) RaiseObjectError();
    return event;
}

// A token's information of one kind, in a buffer aligned for the structure
// it holds; empty when it cannot be read.
std::vector<ULONGLONG> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<ULONGLONG> buffer((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
    if (!::GetTokenInformation(token, kind, buffer.data(), size, &size)) return {};
    return buffer;
}

// A process's integrity level (the last sub-authority of its token's
// mandatory label: 0x2000 medium, 0x3000 high); false when it cannot be read.
bool IntegrityOf(HANDLE process, DWORD& level) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
    const std::vector<ULONGLONG> info = TokenInformation(token, TokenIntegrityLevel);
    ::CloseHandle(token);
    if (info.empty()) return false;
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(info.data())->Label.Sid;
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    if (count == 0) return false;
    level = *::GetSidSubAuthority(sid, count - 1u);
    return true;
}

// The path of an open file or folder, in the form asked for; "" when Windows cannot tell.
std::string PathByHandle(HANDLE h, DWORD kind) {
    std::string path(MAX_PATH, '\0');
    DWORD got = ::GetFinalPathNameByHandleA(h, path.data(), static_cast<DWORD>(path.size()), kind);
    if (got >= path.size()) {
        path.resize(got + 1);
        got = ::GetFinalPathNameByHandleA(h, path.data(), static_cast<DWORD>(path.size()), kind);
    }
    if (got == 0 || got >= path.size()) return "";
    path.resize(got);
    return path;
}

// The folder as Windows resolves it: the final path of the opened folder,
// whatever name reached it (letter case, "..", an 8.3 form, subst, another
// drive letter, a mapped drive or its share). "" when it cannot be opened.
std::string FinalPath(const std::string& dir) {
    const HANDLE h = ::CreateFileA(dir.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    // The normalized name resolves 8.3 forms too, but over SMB it reads every
    // component and fails with "access denied" on one the user may only pass
    // through (a traverse-only share root); the name as opened still names a
    // mapped drive by its \\server\share.
    std::string path;
    for (const DWORD kind : {FILE_NAME_NORMALIZED, FILE_NAME_OPENED}) {
        path = PathByHandle(h, kind);
        if (!path.empty()) break;
    }
    ::CloseHandle(h);
    if (path.empty()) return "";
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);  // \\?\UNC\srv\share -> \\srv\share
    if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

std::string FullPath(const std::string& dir) {
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD got = ::GetFullPathNameA(dir.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (got == 0) return dir;
        if (got < full.size()) {
            full.resize(got);
            return full;
        }
        full.resize(got);
    }
}

}  // namespace

// The turn's and the watch claim's objects: the user's own processes may
// open them at any integrity level, so an elevated watch mode and a U started
// normally share one turn. Without a descriptor they would carry the
// elevated token's defaults, which a normal process cannot open.
class ObjectSecurity {
public:
    ObjectSecurity() {
        // Without the user's SID, the interactive users' group stands in: an
        // elevated token holds it too, so elevated and normal runs still meet.
        std::string who = "IU";
        HANDLE token = nullptr;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            const std::vector<ULONGLONG> info = TokenInformation(token, TokenUser);
            char* sid = nullptr;
            if (!info.empty() && ::ConvertSidToStringSidA(reinterpret_cast<const TOKEN_USER*>(info.data())->User.Sid, &sid)) {
                who = sid;
                ::LocalFree(sid);
            }
            ::CloseHandle(token);
        }
        const std::string sddl = "D:(A;;GA;;;" + who + ")(A;;GA;;;SY)S:(ML;;NW;;;LW)";
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr))
            attributes_ = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor_, FALSE};
    }
    ~ObjectSecurity() {
        if (descriptor_) ::LocalFree(descriptor_);
    }
    ObjectSecurity(const ObjectSecurity&) = delete;
    ObjectSecurity& operator=(const ObjectSecurity&) = delete;
    // nullptr (the defaults) where the descriptor could not be made.
    SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// A folder that cannot be opened (not there yet, or gone) is named by its
// full path instead: its file operations fail on their own.
std::string ObjectName(const std::string& kind, const std::string& dir) {
    std::string full = FinalPath(dir);
    if (full.empty()) full = FullPath(dir);
    full = Upper(full, static_cast<Long>(::GetACP()));
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

const std::string& Win32Platform::NameOf(const std::string& kind, const std::string& dir) {
    std::string& name = names_[kind + "|" + Upper(dir)];
    if (name.empty()) name = ObjectName(kind, dir);
    return name;
}

void* Win32Platform::Security() {
    if (!security_) security_ = std::make_unique<ObjectSecurity>();
    return security_->get();
}
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
    if (!::DeleteFileA(path.c_str())) RaiseFileError(::GetLastError(), path, {}, true);
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

// Held by another program for a moment, both files stay as they are, for
// the move to be tried again; otherwise the file made aside goes.
void Win32Platform::ReplaceFile(const std::string& from, const std::string& to) {
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    const DWORD error = ::GetLastError();
    try {
        RaiseFileError(error, to, from, true);
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
        if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
        Raise(FailureForWin32Error(error));
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) { return static_cast<std::int64_t>((ULONGLONG{high} << 32) | low); };
    return FileStamp{wide(data.nFileSizeHigh, data.nFileSizeLow),
                     wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
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

void Win32Platform::LockDirectory(const std::string& dir, std::int32_t milliseconds) {
    const HANDLE mutex = NamedMutex(NameOf("lock", dir), Security());
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
bool Win32Platform::ClaimWatch(const std::string& dir, std::int32_t milliseconds) {
    ReleaseWatch(dir);
    watch_ = NamedMutex(NameOf("watch", dir), Security());
    takeOver_ = NamedEvent(NameOf("take-over", dir), Security());
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    bool mine = Acquire(watch_, 0);
    while (!mine) {
        if (::GetTickCount64() >= deadline) {
            // Withdrawn: a request left standing would end the running one later.
            ::ResetEvent(takeOver_);
            Release(takeOver_, false);
            Release(watch_, false);  // not ours
            return false;
        }
        ::SetEvent(takeOver_);
        mine = Acquire(watch_, 100);
    }
    ::ResetEvent(takeOver_);  // our own asking is not meant for us
    return true;
}

void Win32Platform::ReleaseWatch(const std::string&) {
    Release(watch_, true);
    Release(takeOver_, false);
}

// Looked at without asking: the running watch mode holds its mutex for life.
bool Win32Platform::WatchRunning(const std::string& dir) {
    const HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, NameOf("watch", dir).c_str());
    if (!mutex) return ::GetLastError() == ERROR_ACCESS_DENIED;  // another account's runs, running
    const DWORD got = ::WaitForSingleObject(mutex, 0);
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return got == WAIT_TIMEOUT;
}

std::string Win32Platform::ResolvedPath(const std::string& dir) {
    const std::string path = FinalPath(dir);
    return path.empty() ? FullPath(dir) : path;
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
// console's window belongs to the console host, which tells nothing of the
// program in it.
KeyDelivery Win32Platform::KeyDeliveryTo(WindowHandle window) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    if (!hwnd) return KeyDelivery::CannotTell;
    char name[32] = {};
    if (::GetClassNameA(hwnd, name, sizeof name) > 0 && lstrcmpA(name, "ConsoleWindowClass") == 0)
        return KeyDelivery::CannotTell;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == 0) return KeyDelivery::CannotTell;
    if (pid == ::GetCurrentProcessId()) return KeyDelivery::Reaches;
    if (ownIntegrity_ == -1) {  // the same all run: watch mode looks every pass
        DWORD ours = 0;
        ownIntegrity_ = IntegrityOf(::GetCurrentProcess(), ours) ? static_cast<long>(ours) : -2;
    }
    if (ownIntegrity_ < 0) return KeyDelivery::CannotTell;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return KeyDelivery::CannotTell;
    DWORD theirs = 0;
    const bool known = IntegrityOf(process, theirs);
    ::CloseHandle(process);
    if (!known) return KeyDelivery::CannotTell;
    return static_cast<long>(theirs) > ownIntegrity_ ? KeyDelivery::Dropped : KeyDelivery::Reaches;
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
// the real parent had ended.
bool Win32Platform::StartedBy(WindowHandle window) {
    DWORD owner = 0;
    if (!window || !::GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner) || owner == 0) return false;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    std::map<DWORD, DWORD> parents;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry))
        parents[entry.th32ProcessID] = entry.th32ParentProcessID;
    ::CloseHandle(snapshot);
    DWORD child = ::GetCurrentProcessId();
    for (int step = 0; step < 3; ++step) {
        const auto it = parents.find(child);
        if (it == parents.end() || it->second == 0 || it->second == child) return false;
        const DWORD parent = it->second;
        const ULONGLONG born = CreationOf(parent);
        if (born == 0 || born > CreationOf(child)) return false;
        if (parent == owner) return true;
        child = parent;
    }
    return false;
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
