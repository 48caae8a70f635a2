#include "platform/posix/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <thread>

#include "platform/text.h"
#include "platform/wildcard.h"

namespace vornel {

namespace {

std::string Mapped(const std::string& path) {
    std::string out = path;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::pair<std::string, std::string> Split(const std::string& mapped) {
    const auto cut = mapped.find_last_of('/');
    if (cut == std::string::npos) return {".", mapped};
    return {cut == 0 ? "/" : mapped.substr(0, cut), mapped.substr(cut + 1)};
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsListed(const std::string& dir, const std::string& name) {
    // Dot files stand in for Windows' hidden files.
    return !name.empty() && name[0] != '.' && IsRegularFile(dir + "/" + name);
}

// Writes every byte; false with errno set when the disk will not take them.
bool WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, data + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A name that is missing because its directory is missing is "path not found",
// as on Windows: a missing VN\ must not read as a missing file.
[[noreturn]] void RaiseErrorAt(int error, const std::string& mappedPath) {
    if (error == ENOENT && !IsDirectory(Split(mappedPath).first)) Raise(kPathNotFound);
    Raise(FailureForErrno(error));
}
[[noreturn]] void RaiseErrnoAt(const std::string& mappedPath) { RaiseErrorAt(errno, mappedPath); }

constexpr std::size_t kChunk = 64 * 1024;  // no document is held whole in memory

// Reads up to size bytes, fewer only at the end of the file; -1 on failure.
ssize_t GetChunk(int fd, char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// One descriptor, closed whatever happens.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// The watch mode of a directory is whoever has bound this abstract socket,
// named after the directory's real path: the kernel lets it go with the
// process, and it leaves no file anywhere.
// Named after the directory itself (its device and inode), so that every
// path that reaches it, through a link or a bind mount, meets the same one.
sockaddr_un WatchAddress(const std::string& dir, socklen_t& length) {
    struct stat st {};
    char real[PATH_MAX];
    const std::string path = ::realpath(dir.c_str(), real) ? real : dir;
    const std::string id = ::stat(dir.c_str(), &st) == 0
                               ? std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino)
                               : FoldedHash(path);  // not there: no watch mode can be either
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int n = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "vornel-watch-%s", id.c_str());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    return address;
}

template <typename Names>
bool SameStat(const struct stat& a, const Names& b) {
    return a.st_dev == b.device && a.st_ino == b.inode && a.st_mtim.tv_sec == b.seconds &&
           a.st_mtim.tv_nsec == b.nanoseconds;
}

template <typename Names>
void Remember(const struct stat& st, Names& names) {
    names.device = st.st_dev;
    names.inode = st.st_ino;
    names.seconds = st.st_mtim.tv_sec;
    names.nanoseconds = st.st_mtim.tv_nsec;
}

}  // namespace

std::int32_t FailureForErrno(int error) {
    switch (error) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EEXIST: return kFileExists;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return kPathAccess;
        case EBUSY:
        case ETXTBSY: return kPermissionDenied;
        case ENOSPC:
        case EDQUOT: return kDiskFull;
        case ENAMETOOLONG:
        case EINVAL: return kBadFileName;
        case ENOMEM: return kOutOfMemory;
        default: return kPathAccess;
    }
}

PosixPlatform::PosixPlatform(std::string commandLine, std::string programDirectory)
    : commandLine_(std::move(commandLine)), programDirectory_(std::move(programDirectory)) {}

PosixPlatform::~PosixPlatform() {
    for (const auto& [dir, fd] : locks_) ::close(fd);
    ReleaseWatch("");
}

std::string PosixPlatform::CommandLine() { return commandLine_; }
std::string PosixPlatform::ProgramDirectory() { return programDirectory_; }
void PosixPlatform::End() { std::_Exit(0); }  // the kernel lets go of the flocks and the socket

const std::vector<PosixPlatform::Listed>& PosixPlatform::ReadDirectory(const std::string& dir, bool strict) {
    if (NamesCurrent(dir)) return names_.entries;
    names_ = Names{};
    struct stat before {};
    const bool known = ::stat(dir.c_str(), &before) == 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        if (strict) RaiseErrnoAt(dir + "/");
        return names_.entries;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(d);
        if (!e) {
            error = errno;
            break;
        }
        names_.entries.push_back(Listed{e->d_name, e->d_type});
    }
    ::closedir(d);
    if (error != 0) {
        names_ = Names{};
        if (strict) Raise(FailureForErrno(error));  // a listing broken off part-way
        return names_.entries;
    }
    // Stat taken before the scan: a change during it shows as a new mtime.
    names_.valid = known;
    names_.dir = dir;
    names_.readAt = std::chrono::steady_clock::now();
    Remember(before, names_);
    return names_.entries;
}

// The names read stand while the directory's mtime stays put, for a second at
// most: a change made by someone else in the same clock tick as one of ours
// leaves the mtime as it was, and must not go unseen for long.
bool PosixPlatform::NamesCurrent(const std::string& dir) {
    struct stat now {};
    return names_.valid && names_.dir == dir && std::chrono::steady_clock::now() - names_.readAt < std::chrono::seconds(1) &&
           ::stat(dir.c_str(), &now) == 0 && SameStat(now, names_);
}

// A few lookups go through the names as read; a run of them (a renumbering)
// gets a map of folded names.
std::string PosixPlatform::FindFolded(const std::string& name) {
    if (!names_.folded && ++names_.lookups > 16) {
        for (const Listed& e : names_.entries) names_.byFolded.emplace(Upper(e.name), e.name);
        names_.folded = true;
    }
    if (names_.folded) {
        const auto it = names_.byFolded.find(Upper(name));
        return it == names_.byFolded.end() ? std::string() : it->second;
    }
    for (const Listed& e : names_.entries)
        if (SameName(e.name, name)) return e.name;
    return "";
}

std::string PosixPlatform::Resolve(const std::string& path) {
    const std::string mapped = Mapped(path);
    struct stat st {};
    if (::lstat(mapped.c_str(), &st) == 0) return mapped;
    const auto [dir, name] = Split(mapped);
    ReadDirectory(dir, false);
    if (names_.dir != dir) return mapped;
    const std::string found = FindFolded(name);
    return found.empty() ? mapped : dir + "/" + found;
}

// Opens a file for reading: as named first, which is the common case, and
// only when that name is not there under its case-folded name.
int PosixPlatform::OpenRead(const std::string& path) {
    const std::string mapped = Mapped(path);
    int fd = ::open(mapped.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) {
        if (fd < 0) RaiseErrnoAt(mapped);
        return fd;
    }
    const std::string real = Resolve(path);
    fd = real == mapped ? -1 : ::open(real.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RaiseErrorAt(real == mapped ? ENOENT : errno, real);
    return fd;
}

void PosixPlatform::Changed(const std::string& dir, bool wasCurrent, const std::string& removed,
                            const std::string& added) {
    // Our own change is applied to the kept names, so that a run of renames
    // (a renumbering) does not reread the directory for every number. Any
    // other change since the last look moved the mtime: read it again then.
    struct stat now {};
    if (!wasCurrent || ::stat(dir.c_str(), &now) != 0) {
        names_.valid = false;
        return;
    }
    auto& entries = names_.entries;
    if (!removed.empty())
        entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const Listed& e) { return e.name == removed; }),
                      entries.end());
    if (!added.empty() && std::none_of(entries.begin(), entries.end(), [&](const Listed& e) { return e.name == added; }))
        entries.push_back(Listed{added, DT_REG});
    if (names_.folded) {
        if (!removed.empty()) names_.byFolded.erase(Upper(removed));
        if (!added.empty()) names_.byFolded[Upper(added)] = added;
    }
    Remember(now, names_);
}

std::string PosixPlatform::ListFirst(const std::string& pattern) {
    const auto split = Split(Mapped(pattern));
    const std::string& dir = split.first;
    const std::string& namePattern = split.second;
    listed_ = 0;
    if (namePattern.find('*') == std::string::npos) {
        // An existence test: no need to read the whole directory when the
        // name is there as written.
        const std::string mapped = Mapped(pattern);
        std::string real = mapped;
        struct stat st {};
        int found = ::stat(mapped.c_str(), &st);
        if (found != 0 && errno == ENOENT) {
            real = Resolve(pattern);
            found = real == mapped ? -1 : ::stat(real.c_str(), &st);
            if (real == mapped) errno = ENOENT;
        }
        const auto [realDir, realName] = Split(real);
        listing_.clear();
        if (found != 0) {
            if (errno != ENOENT) RaiseErrnoAt(real);
            if (!IsDirectory(realDir)) Raise(kPathNotFound);
        } else if (!realName.empty() && realName[0] != '.' && S_ISREG(st.st_mode)) {
            listing_.push_back(realName);
        }
    } else {
        // A listing goes through the names already read when they still
        // stand; otherwise it reads them, and keeps them for the lookups of
        // the intake or step that follows.
        listing_.clear();
        for (const Listed& e : ReadDirectory(dir, true)) {
            if (e.name[0] == '.' || !WildcardMatch(namePattern, e.name)) continue;
            if (e.type == DT_REG || (e.type == DT_UNKNOWN && IsListed(dir, e.name))) listing_.push_back(e.name);
        }
    }
    return ListNext();
}

std::string PosixPlatform::ListNext() {
    return listed_ < listing_.size() ? listing_[listed_++] : std::string();
}

void PosixPlatform::DeleteFile(const std::string& path) {
    std::string real = Mapped(path);
    const std::string dir = Split(real).first;
    const bool current = NamesCurrent(dir);
    // As named first; only a name that is not there is looked up case-folded.
    if (::unlink(real.c_str()) != 0) {
        if (errno != ENOENT) RaiseErrorAt(errno == EISDIR ? EACCES : errno, real);
        real = Resolve(path);
        if (real == Mapped(path)) RaiseErrorAt(ENOENT, real);
        if (::unlink(real.c_str()) != 0) RaiseErrorAt(errno == EISDIR ? EACCES : errno, real);
    }
    Changed(dir, current, Split(real).second, "");
}

void PosixPlatform::RenameFile(const std::string& from, const std::string& to) {
    const std::string realFrom = Resolve(from);
    const std::string realTo = Resolve(to);
    if (!IsRegularFile(realFrom)) RaiseErrorAt(ENOENT, realFrom);
    if (realTo != realFrom && ::access(realTo.c_str(), F_OK) == 0) Raise(kFileExists);
    // A new name that differs only in case replaces the old entry.
    const std::string target = realTo == realFrom ? Mapped(to) : realTo;
    const auto [dir, oldName] = Split(realFrom);
    const auto [toDir, newName] = Split(target);
    const bool current = toDir == dir && NamesCurrent(dir);
    if (::rename(realFrom.c_str(), target.c_str()) != 0) RaiseErrnoAt(target);
    Changed(dir, current, oldName, newName);
}

void PosixPlatform::CopyFile(const std::string& from, const std::string& to) {
    const std::string realFrom = Resolve(from);
    if (!IsRegularFile(realFrom)) RaiseErrorAt(ENOENT, realFrom);
    const int in = ::open(realFrom.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) RaiseErrnoAt(realFrom);
    const std::string realTo = Resolve(to);
    const auto [dir, name] = Split(realTo);
    const bool current = NamesCurrent(dir);
    const int out = ::open(realTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Changed(dir, current, "", out < 0 ? "" : name);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        RaiseErrorAt(error, realTo);
    }
    std::string buffer(kChunk, '\0');
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) {
            error = errno;
            break;
        }
    }
    struct stat source {};
    if (error == 0 && ::fstat(in, &source) == 0) {
        const timespec times[2] = {source.st_atim, source.st_mtim};
        if (::futimens(out, times) != 0) error = errno;
    }
    ::close(in);
    // On disk before it is moved into place; a write error that shows only
    // now fails the copy.
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    if (error != 0) {
        // No half-written copy is left behind.
        ::unlink(realTo.c_str());
        names_.valid = false;
        Raise(FailureForErrno(error));
    }
}

std::string PosixPlatform::ReadWhole(const std::string& path) {
    const int fd = OpenRead(path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        Raise(FailureForErrno(error));
    }
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (...) {
        ::close(fd);
        throw;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the file shrank under us: keep what was there
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    ::close(fd);
    return bytes;
}

void PosixPlatform::WriteWhole(const std::string& path, const std::string& bytes) {
    const std::string real = Resolve(path);
    const auto [dir, name] = Split(real);
    const bool current = NamesCurrent(dir);
    const int fd = ::open(real.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int openError = errno;
    Changed(dir, current, "", fd < 0 ? "" : name);
    if (fd < 0) RaiseErrorAt(openError, real);
    int error = WriteAll(fd, bytes.data(), bytes.size()) ? 0 : errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0) return;
    ::unlink(real.c_str());  // no half-written file is left behind
    names_.valid = false;
    Raise(FailureForErrno(error));
}

void PosixPlatform::ReplaceFile(const std::string& from, const std::string& to) {
    const std::string realFrom = Resolve(from);
    const std::string realTo = Resolve(to);
    const auto [dir, oldName] = Split(realFrom);
    const auto [toDir, newName] = Split(realTo);
    const bool current = toDir == dir && NamesCurrent(dir);
    const int error = !IsRegularFile(realFrom) ? ENOENT : ::rename(realFrom.c_str(), realTo.c_str()) == 0 ? 0 : errno;
    if (error != 0) {
        ::unlink(realFrom.c_str());
        names_.valid = false;
        RaiseErrorAt(error, error == ENOENT ? realFrom : realTo);
    }
    Changed(dir, current, oldName, newName);
}

std::int64_t PosixPlatform::FileSize(const std::string& path) {
    const Descriptor file{OpenRead(path)};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) Raise(FailureForErrno(errno));
    if (S_ISDIR(st.st_mode)) Raise(FailureForErrno(EISDIR));
    return static_cast<std::int64_t>(st.st_size);
}

bool PosixPlatform::SameBytes(const std::string& a, const std::string& b) {
    const Descriptor first{OpenRead(a)};
    const Descriptor second{OpenRead(b)};
    std::string x(kChunk, '\0'), y(kChunk, '\0');
    for (;;) {
        const ssize_t gotX = GetChunk(first.fd, x.data(), kChunk);
        const ssize_t gotY = GetChunk(second.fd, y.data(), kChunk);
        if (gotX < 0 || gotY < 0) Raise(FailureForErrno(errno));
        if (gotX != gotY || std::memcmp(x.data(), y.data(), static_cast<std::size_t>(gotX)) != 0) return false;
        if (static_cast<std::size_t>(gotX) < kChunk) return true;
    }
}

// Nothing here tells who has a file open for writing: a save still going on
// shows as a shorter or different copy, as any other change does.
bool PosixPlatform::BeingWritten(const std::string&) { return false; }

std::optional<FileStamp> PosixPlatform::StampOf(const std::string& path) {
    const std::string real = Resolve(path);
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) {
        if (errno != ENOENT) RaiseErrnoAt(real);
        if (!IsDirectory(Split(real).first)) Raise(kPathNotFound);
        return std::nullopt;
    }
    if (!IsListed(Split(real).first, Split(real).second)) return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

std::optional<std::int64_t> PosixPlatform::WrittenAgo(const std::string& path) {
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!stamp) return std::nullopt;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t ns = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    return std::max<std::int64_t>(0, (ns - stamp->written) / 1'000'000);
}

// Dot files stand for hidden ones: the listing leaves them out, but they
// keep their names.
bool PosixPlatform::NameTaken(const std::string& path) {
    const std::string mapped = Mapped(path);
    const auto [dir, name] = Split(mapped);
    const std::string hidden = dir + "/." + name;
    struct stat st {};
    if (::lstat(mapped.c_str(), &st) == 0 || ::lstat(hidden.c_str(), &st) == 0) return true;
    if (errno != ENOENT) RaiseErrnoAt(mapped);
    ReadDirectory(dir, false);  // one look at the names, for both in any letter case
    if (names_.dir == dir) return !FindFolded(name).empty() || !FindFolded("." + name).empty();
    if (!IsDirectory(dir)) Raise(kPathNotFound);
    return false;
}

// File names here are bytes: there is no second code page to read them in.
std::string PosixPlatform::OemReading(const std::string&) { return ""; }
CodePages PosixPlatform::GetCodePages() { return CodePages{}; }

void PosixPlatform::LockDirectory(const std::string& dir, std::int32_t milliseconds) {
    const std::string mapped = Mapped(dir);
    const int fd = ::open(mapped.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Raise(errno == ENOENT ? kPathNotFound : FailureForErrno(errno));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            const int error = errno;
            ::close(fd);
            Raise(error == EWOULDBLOCK ? kRunHolding : FailureForErrno(error));
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
    int& held = locks_[mapped];
    if (held > 0) ::close(held);
    held = fd;
}

void PosixPlatform::UnlockDirectory(const std::string& dir) {
    const auto it = locks_.find(Mapped(dir));
    if (it == locks_.end()) return;
    ::close(it->second);  // closing the descriptor lets go of its flock
    locks_.erase(it);
}

// A newer watch mode asks by keeping a connection open until the running one
// has gone; one that gives up closes it, and the running one, finding it
// closed, goes on.
bool PosixPlatform::ClaimWatch(const std::string& dir, std::int32_t milliseconds) {
    ReleaseWatch(dir);
    socklen_t length = 0;
    const sockaddr_un address = WatchAddress(Mapped(dir), length);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int asking = -1;
    for (;;) {
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) Raise(FailureForErrno(errno));
        if (::bind(s, reinterpret_cast<const sockaddr*>(&address), length) == 0 && ::listen(s, 8) == 0) {
            if (asking >= 0) ::close(asking);
            watch_ = s;
            return true;
        }
        const int error = errno;
        ::close(s);
        if (error != EADDRINUSE) {
            if (asking >= 0) ::close(asking);
            Raise(FailureForErrno(error));
        }
        if (asking < 0) {
            asking = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (asking >= 0 && ::connect(asking, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
                ::close(asking);
                asking = -1;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (asking >= 0) ::close(asking);  // withdrawn
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(asking >= 0 ? 20 : 5));
    }
}

void PosixPlatform::ReleaseWatch(const std::string&) {
    if (watch_ >= 0) ::close(watch_);
    watch_ = -1;
}

// The address is bound by the running watch mode: a bind that finds it taken
// asks nothing of it.
bool PosixPlatform::WatchRunning(const std::string& dir) {
    socklen_t length = 0;
    const sockaddr_un address = WatchAddress(Mapped(dir), length);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) Raise(FailureForErrno(errno));
    const bool taken = ::bind(s, reinterpret_cast<const sockaddr*>(&address), length) != 0 && errno == EADDRINUSE;
    ::close(s);
    return taken;
}

std::string PosixPlatform::ResolvedPath(const std::string& dir) { return Mapped(dir); }

bool PosixPlatform::SleepUnlessTakenOver(std::int32_t milliseconds) {
    if (watch_ < 0) {
        Sleep(milliseconds);
        return false;
    }
    pollfd p{watch_, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready > 0) {
            const int asker = ::accept(watch_, nullptr, nullptr);
            if (asker < 0) continue;
            char byte = 0;
            const ssize_t peeked = ::recv(asker, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
            ::close(asker);
            if (peeked == 0) continue;  // asked, then gave up
            return true;
        }
        if (ready == 0 || errno != EINTR) return false;
    }
}

WindowHandle PosixPlatform::GetForegroundWindow() { return 0; }
void PosixPlatform::GetWindowTextA(WindowHandle, std::string&, std::int32_t) {}
void PosixPlatform::GetKeyboardState(KeyboardState& state) { state.fill(0); }
std::int32_t PosixPlatform::MapVirtualKeyA(std::int32_t, std::int32_t) { return 0; }
KeyDelivery PosixPlatform::KeyDeliveryTo(WindowHandle) { return KeyDelivery::CannotTell; }
Starter PosixPlatform::StartedBy(WindowHandle) { return Starter::Outside; }  // no windows here
std::size_t PosixPlatform::SendInput(const std::vector<KeyEvent>& events) { return events.size(); }

void PosixPlatform::Sleep(std::int32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t PosixPlatform::Milliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PosixPlatform::Beep() { std::fputs("\a", stderr); }

void PosixPlatform::MessageBox(const std::string& text, std::int32_t, const std::optional<std::string>& caption,
                               const std::string&, std::int32_t, BoxFocus) {
    std::fprintf(stderr, "[%s] %s\n", caption.value_or(kProgramTitle).c_str(), text.c_str());
}

}  // namespace vornel
