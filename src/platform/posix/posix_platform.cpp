#include "platform/posix/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
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

struct Entry {
    std::string name;
    unsigned char type;
};

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

std::string PosixPlatform::CommandLine() { return commandLine_; }
std::string PosixPlatform::ProgramDirectory() { return programDirectory_; }
void PosixPlatform::End() { std::_Exit(0); }

const std::vector<PosixPlatform::Listed>& PosixPlatform::ReadDirectory(const std::string& dir) {
    if (NamesCurrent(dir)) return names_.entries;
    names_ = Names{};
    struct stat before {};
    const bool known = ::stat(dir.c_str(), &before) == 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names_.entries;
    while (const dirent* e = ::readdir(d)) names_.entries.push_back(Listed{e->d_name, e->d_type});
    ::closedir(d);
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
    ReadDirectory(dir);
    if (names_.dir != dir) return mapped;
    const std::string found = FindFolded(name);
    return found.empty() ? mapped : dir + "/" + found;
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
        const std::string real = Resolve(pattern);
        const auto [realDir, realName] = Split(real);
        listing_.clear();
        struct stat st {};
        if (::stat(real.c_str(), &st) != 0) {
            if (errno != ENOENT) RaiseErrnoAt(real);
            if (!IsDirectory(realDir)) Raise(kPathNotFound);
        } else if (!realName.empty() && realName[0] != '.' && S_ISREG(st.st_mode)) {
            listing_.push_back(realName);
        }
    } else {
        // A listing goes through the names already read when they still
        // stand; otherwise it reads the directory, keeping only what matches.
        listing_.clear();
        const auto consider = [&](const std::string& name, unsigned char type) {
            if (name[0] == '.' || !WildcardMatch(namePattern, name)) return;
            if (type == DT_REG || (type == DT_UNKNOWN && IsListed(dir, name))) listing_.push_back(name);
        };
        if (NamesCurrent(dir)) {
            for (const Listed& e : names_.entries) consider(e.name, e.type);
        } else {
            DIR* d = ::opendir(dir.c_str());
            if (!d) RaiseErrnoAt(dir + "/");
            int error = 0;
            for (;;) {
                errno = 0;
                const dirent* e = ::readdir(d);
                if (!e) {
                    error = errno;
                    break;
                }
                consider(e->d_name, e->d_type);
            }
            ::closedir(d);
            if (error != 0) Raise(FailureForErrno(error));  // a listing broken off part-way
        }
    }
    return ListNext();
}

std::string PosixPlatform::ListNext() {
    return listed_ < listing_.size() ? listing_[listed_++] : std::string();
}

void PosixPlatform::DeleteFile(const std::string& path) {
    const std::string real = Resolve(path);
    const auto [dir, name] = Split(real);
    const bool current = NamesCurrent(dir);
    if (!IsRegularFile(real)) RaiseErrorAt(::access(real.c_str(), F_OK) == 0 ? EACCES : ENOENT, real);
    if (::unlink(real.c_str()) != 0) RaiseErrnoAt(real);
    Changed(dir, current, name, "");
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
    std::string buffer(1 << 20, '\0');
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
    ::close(in);
    if (::close(out) != 0 && error == 0) error = errno;
    if (error != 0) {
        // No half-written result file is left for the word processor to load.
        ::unlink(realTo.c_str());
        names_.valid = false;
        Raise(FailureForErrno(error));
    }
}

std::string PosixPlatform::ReadWhole(const std::string& path) {
    const std::string real = Resolve(path);
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RaiseErrnoAt(real);
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
    if (!WriteAll(fd, bytes.data(), bytes.size())) {
        const int error = errno;
        ::close(fd);
        Raise(FailureForErrno(error));
    }
    if (::close(fd) != 0) RaiseErrnoAt(real);
}

WindowHandle PosixPlatform::GetForegroundWindow() { return 0; }
void PosixPlatform::GetWindowTextA(WindowHandle, std::string&, std::int32_t) {}
void PosixPlatform::GetKeyboardState(KeyboardState& state) { state.fill(0); }
std::int32_t PosixPlatform::MapVirtualKeyA(std::int32_t, std::int32_t) { return 0; }
void PosixPlatform::keybd_event(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) {}

void PosixPlatform::Sleep(std::int32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PosixPlatform::Beep() { std::fputs("\a", stderr); }

void PosixPlatform::MessageBox(const std::string& text, std::int32_t, const std::optional<std::string>& caption,
                               const std::string&, std::int32_t) {
    std::fprintf(stderr, "[%s] %s\n", caption.value_or(kProgramTitle).c_str(), text.c_str());
}

}  // namespace vornel
