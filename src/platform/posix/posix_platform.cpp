#include "platform/posix/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

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

[[noreturn]] void RaiseErrno() { Raise(FailureForErrno(errno)); }

// Names in a directory that match a pattern, case folded.
std::vector<std::string> Matching(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (!WildcardMatch(pattern, name)) continue;
        if (e->d_type == DT_REG ? name[0] != '.' : IsListed(dir, name)) names.push_back(name);
    }
    ::closedir(d);
    return names;
}

}  // namespace

std::int32_t FailureForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return kFileNotFound;
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

std::string PosixPlatform::Resolve(const std::string& path) {
    const std::string mapped = Mapped(path);
    struct stat st {};
    if (::lstat(mapped.c_str(), &st) == 0) return mapped;
    const auto [dir, name] = Split(mapped);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return mapped;
    std::string found = mapped;
    while (const dirent* e = ::readdir(d)) {
        if (SameName(e->d_name, name)) {
            found = dir + "/" + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string PosixPlatform::ListFirst(const std::string& pattern) {
    const auto [dir, namePattern] = Split(Mapped(pattern));
    listed_ = 0;
    if (namePattern.find('*') == std::string::npos) {
        // An existence test: no need to read the whole directory when the
        // name is there as written.
        const std::string real = Resolve(pattern);
        const auto [realDir, realName] = Split(real);
        listing_.clear();
        if (IsListed(realDir, realName)) listing_.push_back(realName);
    } else {
        listing_ = Matching(dir, namePattern);
    }
    return ListNext();
}

std::string PosixPlatform::ListNext() {
    return listed_ < listing_.size() ? listing_[listed_++] : std::string();
}

void PosixPlatform::DeleteFile(const std::string& path) {
    const std::string real = Resolve(path);
    if (!IsRegularFile(real)) {
        errno = ::access(real.c_str(), F_OK) == 0 ? EACCES : ENOENT;
        RaiseErrno();
    }
    if (::unlink(real.c_str()) != 0) RaiseErrno();
}

void PosixPlatform::RenameFile(const std::string& from, const std::string& to) {
    const std::string realFrom = Resolve(from);
    const std::string realTo = Resolve(to);
    if (!IsRegularFile(realFrom)) {
        errno = ENOENT;
        RaiseErrno();
    }
    if (realTo != realFrom && ::access(realTo.c_str(), F_OK) == 0) Raise(kFileExists);
    // A new name that differs only in case replaces the old entry.
    if (::rename(realFrom.c_str(), realTo == realFrom ? Mapped(to).c_str() : realTo.c_str()) != 0)
        RaiseErrno();
}

void PosixPlatform::CopyFile(const std::string& from, const std::string& to) {
    const std::string realFrom = Resolve(from);
    if (!IsRegularFile(realFrom)) {
        errno = ENOENT;
        RaiseErrno();
    }
    const int in = ::open(realFrom.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) RaiseErrno();
    const int out = ::open(Resolve(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        Raise(FailureForErrno(error));
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
    if (error != 0) Raise(FailureForErrno(error));
}

std::string PosixPlatform::ReadWhole(const std::string& path) {
    const std::string real = Resolve(path);
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RaiseErrno();
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
    const int fd = ::open(Resolve(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) RaiseErrno();
    if (!WriteAll(fd, bytes.data(), bytes.size())) {
        const int error = errno;
        ::close(fd);
        Raise(FailureForErrno(error));
    }
    if (::close(fd) != 0) RaiseErrno();
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
