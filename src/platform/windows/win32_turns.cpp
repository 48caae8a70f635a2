// Runs taking turns on VN\, and the one watch mode per VN\: named mutexes
// and an event, named after the folder as Windows resolves it (whatever path
// reached it) and open to the user's own processes at any integrity level;
// and the process's token, which says who the user is.
#include "platform/windows/win32_platform.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "platform/wildcard.h"
#include "platform/windows/win32_internal.h"

namespace vornel {

namespace {

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

std::vector<ULONGLONG> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<ULONGLONG> buffer((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
    if (!::GetTokenInformation(token, kind, buffer.data(), size, &size)) return {};
    return buffer;
}

std::optional<DWORD> IntegrityOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return std::nullopt;
    const std::vector<ULONGLONG> info = TokenInformation(token, TokenIntegrityLevel);
    ::CloseHandle(token);
    if (info.empty()) return std::nullopt;
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(info.data())->Label.Sid;
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    if (count == 0) return std::nullopt;
    return *::GetSidSubAuthority(sid, count - 1u);
}

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
    const Long codePage = static_cast<Long>(::GetACP());
    full = Upper(full, codePage);
    // Per character: the second byte of ソ or 表 is no backslash. Cut off or
    // turned into '/', it would leave both one invalid character, and two
    // folders one name.
    while (!full.empty() && LastOf(full, "\\", codePage) == full.size() - 1) full.pop_back();
    // Not a namespace separator.
    for (std::size_t at = FirstOf(full, "\\", codePage); at != std::string::npos; at = FirstOf(full, "\\", codePage))
        full[at] = '/';
    std::string name = "Local\\Vornel " + kind + " " + full;
    if (name.size() < MAX_PATH) return name;
    return "Local\\Vornel " + kind + " #" + FoldedHash(full, codePage);  // a deep folder: its hash stands for it
}

// Here, where ObjectSecurity is whole.
Win32Platform::Win32Platform() = default;

Win32Platform::~Win32Platform() {
    CloseListing();
    LetGo();
}

// The directory's key in this run's tables, per character in the ANSI code
// page: a trail byte is not upper-cased into another folder's name.
std::string Win32Platform::Folded(const std::string& dir) { return Upper(dir, static_cast<Long>(::GetACP())); }

const std::string& Win32Platform::NameOf(const std::string& kind, const std::string& dir) {
    std::string& name = names_[kind + "|" + Folded(dir)];
    if (name.empty()) name = ObjectName(kind, dir);
    return name;
}

void* Win32Platform::Security() {
    if (!security_) security_ = std::make_unique<ObjectSecurity>();
    return security_->get();
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
    std::swap(locks_[Folded(dir)], held);
    Release(held, true);  // taken twice: the mutex counts, let the older hold go
}

void Win32Platform::UnlockDirectory(const std::string& dir) {
    const auto it = locks_.find(Folded(dir));
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

// Whatever this run holds is let go as it ends, so that the next run gets it
// at once rather than as abandoned.
void Win32Platform::LetGo() {
    for (auto& [dir, mutex] : locks_) Release(mutex, true);
    locks_.clear();
    ReleaseWatch("");
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

}  // namespace vornel
