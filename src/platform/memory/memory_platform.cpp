#include "platform/memory/memory_platform.h"

#include <iterator>
#include <new>

#include "platform/text.h"
#include "platform/wildcard.h"

namespace vornel {

namespace {

// Splits "dir\name" at the last backslash; the directory keeps its backslash.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const auto cut = path.find_last_of('\\');
    if (cut == std::string::npos) return {"", path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

}  // namespace

MemoryPlatform::MemoryPlatform() {
    // A few real scan codes, so recorded key events read like Windows' own.
    const std::pair<int, int> known[] = {
        {0x08, 0x0E}, {0x0D, 0x1C}, {0x10, 0x2A}, {0x11, 0x1D}, {0x12, 0x38}, {0x14, 0x3A},
        {0x2D, 0x52}, {0x41, 0x1E}, {0x7B, 0x58}, {0x90, 0x45}, {0x91, 0x46}, {0xA0, 0x2A},
        {0xA1, 0x36}, {0xA2, 0x1D}, {0xA4, 0x38},
    };
    for (auto [vk, scan] : known) scanCodes[vk] = static_cast<std::uint8_t>(scan);
}

void MemoryPlatform::PutFile(const std::string& path, const std::string& bytes) {
    auto& e = entries_[Upper(path)];
    if (e.path.empty()) e.path = path;
    e.bytes = bytes;
    e.directory = false;
}

void MemoryPlatform::PutDirectory(const std::string& path) {
    entries_[Upper(path)] = Entry{path, "", true, false};
}

void MemoryPlatform::PutHidden(const std::string& path, const std::string& bytes) {
    entries_[Upper(path)] = Entry{path, bytes, false, true};
}

void MemoryPlatform::PutReadOnly(const std::string& path, const std::string& bytes) {
    PutFile(path, bytes);
    entries_[Upper(path)].readOnly = true;
}

bool MemoryPlatform::IsReadOnly(const std::string& path) const {
    const auto it = entries_.find(Upper(path));
    return it != entries_.end() && it->second.readOnly;
}

void MemoryPlatform::DropDirectory(const std::string& dir) {
    const std::string key = Upper(dir);
    missingDirectories_.push_back(key);
    for (auto it = entries_.begin(); it != entries_.end();)
        it = it->first.rfind(key, 0) == 0 ? entries_.erase(it) : std::next(it);
}

void MemoryPlatform::CheckDirectory(const std::string& path) {
    const std::string key = Upper(path);
    for (const std::string& dir : missingDirectories_)
        if (key.rfind(dir, 0) == 0) Raise(kPathNotFound);
}

bool MemoryPlatform::Has(const std::string& path) const {
    const auto it = entries_.find(Upper(path));
    return it != entries_.end() && !it->second.directory;
}

std::string MemoryPlatform::Content(const std::string& path) const {
    const auto it = entries_.find(Upper(path));
    return it == entries_.end() ? std::string() : it->second.bytes;
}

std::vector<std::string> MemoryPlatform::Names() const {
    std::vector<std::string> names;
    for (const auto& [key, e] : entries_)
        if (!e.directory) names.push_back(e.path);
    return names;
}

void MemoryPlatform::FailNth(Op kind, long n, std::int32_t number) {
    faults_.push_back(Fault{false, kind, n, number});
}

void MemoryPlatform::FailNthOperation(long n, std::int32_t number) {
    faults_.push_back(Fault{true, Op::CommandLine, n, number});
}

void MemoryPlatform::Tick(Op op, const std::string& path) {
    ++operations;
    log.push_back(Operation{op, path});
    const long nth = ++counts[static_cast<int>(op)];
    if (operations > maxOperations) {
        overBudget = true;
        throw SimulationStopped{};
    }
    for (const Fault& f : faults_) {
        if (!(f.anyKind ? f.n == operations : (f.kind == op && f.n == nth))) continue;
        if (f.number == kBadAlloc) throw std::bad_alloc();
        throw MakeFailure(f.number);
    }
}

MemoryPlatform::Entry* MemoryPlatform::Lookup(const std::string& path) {
    touched.push_back(path);
    CheckDirectory(path);
    const auto it = entries_.find(Upper(path));
    if (it == entries_.end() || it->second.directory) return nullptr;
    return &it->second;
}

MemoryPlatform::Entry& MemoryPlatform::Existing(const std::string& path) {
    Entry* e = Lookup(path);
    if (!e) Raise(kFileNotFound);
    return *e;
}

std::string MemoryPlatform::CommandLine() {
    Tick(Op::CommandLine);
    return commandLine;
}

std::string MemoryPlatform::ProgramDirectory() {
    Tick(Op::ProgramDirectory);
    return programDirectory;
}

void MemoryPlatform::End() {
    ended = true;
    throw ProgramEnded{};
}

std::string MemoryPlatform::ListFirst(const std::string& pattern) {
    Tick(Op::ListFirst, pattern);
    touched.push_back(pattern);
    CheckDirectory(pattern);
    const auto [dir, namePattern] = SplitPath(pattern);
    listing_.clear();
    listed_ = 0;
    if (namePattern.find('*') == std::string::npos) {  // an existence test
        const auto it = entries_.find(Upper(pattern));
        if (it != entries_.end() && !it->second.directory && !it->second.hidden)
            listing_.push_back(SplitPath(it->second.path).second);
        return ListNextName();
    }
    for (const auto& [key, e] : entries_) {
        if (e.directory || e.hidden) continue;
        const auto [entryDir, name] = SplitPath(e.path);
        if (SameName(entryDir, dir) && WildcardMatch(namePattern, name)) listing_.push_back(name);
    }
    return ListNextName();
}

std::string MemoryPlatform::ListNext() {
    Tick(Op::ListNext);
    return ListNextName();
}

std::string MemoryPlatform::ListNextName() {
    return listed_ < listing_.size() ? listing_[listed_++] : std::string();
}

void MemoryPlatform::DeleteFile(const std::string& path) {
    Tick(Op::Delete, path);
    if (Existing(path).readOnly) Raise(kPathAccess);
    entries_.erase(Upper(path));
}

void MemoryPlatform::RenameFile(const std::string& from, const std::string& to) {
    Tick(Op::Rename, from);
    Entry moved = Existing(from);
    touched.push_back(to);
    CheckDirectory(to);
    const bool sameFile = Upper(from) == Upper(to);
    if (!sameFile && entries_.count(Upper(to))) Raise(kFileExists);
    entries_.erase(Upper(from));
    moved.path = to;
    entries_[Upper(to)] = moved;
}

void MemoryPlatform::CopyFile(const std::string& from, const std::string& to) {
    Tick(Op::Copy, from);
    const std::string bytes = Existing(from).bytes;
    touched.push_back(to);
    CheckDirectory(to);
    auto it = entries_.find(Upper(to));
    if (it != entries_.end() && (it->second.directory || it->second.readOnly)) Raise(kPathAccess);
    PutFile(to, bytes);  // the bytes only: a read-only source gives an ordinary copy
}

std::string MemoryPlatform::ReadWhole(const std::string& path) {
    Tick(Op::Read, path);
    reads.push_back(path);
    return Existing(path).bytes;
}

void MemoryPlatform::WriteWhole(const std::string& path, const std::string& bytes) {
    Tick(Op::Write, path);
    touched.push_back(path);
    CheckDirectory(path);
    auto it = entries_.find(Upper(path));
    if (it != entries_.end() && (it->second.directory || it->second.readOnly)) Raise(kPathAccess);
    PutFile(path, bytes);
}

WindowHandle MemoryPlatform::GetForegroundWindow() {
    Tick(Op::ForegroundWindow);
    ++foregroundQueries;
    if (foregroundQueries > maxForegroundQueries) throw SimulationStopped{};
    if (onForegroundQuery) onForegroundQuery(foregroundQueries);
    std::string title;
    if (!titles.empty())
        title = titles[std::min<std::size_t>(foregroundQueries - 1, titles.size() - 1)];
    if (title.empty()) return 0;  // no window in front
    shownTitles_.push_back(title);
    return shownTitles_.size();
}

void MemoryPlatform::GetWindowTextA(WindowHandle window, std::string& buffer, std::int32_t size) {
    Tick(Op::WindowText);
    if (window == 0 || window > shownTitles_.size() || size <= 0) return;
    std::string title = shownTitles_[window - 1];
    const std::size_t room = std::min<std::size_t>(static_cast<std::size_t>(size) - 1, buffer.size());
    if (title.size() > room) title.resize(room);
    buffer.replace(0, title.size(), title);
    if (title.size() < buffer.size()) buffer[title.size()] = '\0';
}

void MemoryPlatform::GetKeyboardState(KeyboardState& state) {
    Tick(Op::KeyState);
    state = keyboard;
}

std::int32_t MemoryPlatform::MapVirtualKeyA(std::int32_t code, std::int32_t) {
    Tick(Op::MapVirtualKey);
    return code >= 0 && code < 256 ? scanCodes[static_cast<std::size_t>(code)] : 0;
}

void MemoryPlatform::keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                                 std::uintptr_t) {
    Tick(Op::KeyEvent);
    keyEvents.push_back(KeyEvent{vk, scan, flags});
    if (onKeyEvent) onKeyEvent(keyEvents.back());
}

void MemoryPlatform::Sleep(std::int32_t milliseconds) {
    Tick(Op::Sleep);
    sleeps.push_back(milliseconds);
    if (onSleep) onSleep(milliseconds);
}

void MemoryPlatform::Beep() {
    Tick(Op::Beep);
    ++beeps;
}

void MemoryPlatform::MessageBox(const std::string& text, std::int32_t buttons,
                                const std::optional<std::string>& caption,
                                const std::string& helpFile, std::int32_t helpContext) {
    Tick(Op::MessageBox);
    boxes.push_back(Box{text, buttons, caption.value_or(kProgramTitle), helpFile, helpContext});
}

}  // namespace vornel
