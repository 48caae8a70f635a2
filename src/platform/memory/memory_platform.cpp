#include "platform/memory/memory_platform.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <stdexcept>

#include "platform/text.h"
#include "platform/wildcard.h"

namespace vornel {

namespace {

// Splits "dir\name" at the last backslash; the directory keeps its backslash.
// On a double-byte code page the second byte of a character is no backslash.
std::pair<std::string, std::string> SplitPath(const std::string& path, int codePage) {
    const std::size_t cut = LastOf(path, "\\", codePage);
    if (cut == std::string::npos) return {"", path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

}  // namespace

std::string MemoryPlatform::Key(const std::string& path) const { return Upper(path, codePages.ansi); }

MemoryPlatform::MemoryPlatform() : MemoryPlatform(std::make_shared<MemoryMachine>()) {}

MemoryPlatform::MemoryPlatform(std::shared_ptr<MemoryMachine> machine)
    : machine_(std::move(machine)),
      run_(machine_->runs++) {
    // A few real scan codes, so recorded key events read like Windows' own.
    const std::pair<int, int> known[] = {
        {0x08, 0x0E}, {0x0D, 0x1C}, {0x10, 0x2A}, {0x11, 0x1D}, {0x12, 0x38}, {0x14, 0x3A},
        {0x2D, 0x52}, {0x41, 0x1E}, {0x7B, 0x58}, {0x90, 0x45}, {0x91, 0x46}, {0xA0, 0x2A},
        {0xA1, 0x36}, {0xA2, 0x1D}, {0xA4, 0x38},
    };
    for (auto [vk, scan] : known) scanCodes[vk] = static_cast<std::uint8_t>(scan);
}

void MemoryPlatform::PutFile(const std::string& path, const std::string& bytes) {
    auto& e = machine_->entries[Key(path)];
    if (e.path.empty()) e.path = path;
    e.bytes = bytes;
    e.directory = false;
    e.time = ++machine_->clock;
}

void MemoryPlatform::PutDirectory(const std::string& path) {
    machine_->entries[Key(path)] = Entry{path, "", true, false};
}

void MemoryPlatform::PutHidden(const std::string& path, const std::string& bytes) {
    machine_->entries[Key(path)] = Entry{path, bytes, false, true};
}

void MemoryPlatform::PutReadOnly(const std::string& path, const std::string& bytes) {
    PutFile(path, bytes);
    machine_->entries[Key(path)].readOnly = true;
}

void MemoryPlatform::PutBeingWritten(const std::string& path, const std::string& bytes) {
    PutFile(path, bytes);
    machine_->entries[Key(path)].beingWritten = true;
}

void MemoryPlatform::HoldSharingAll(const std::string& path, bool held) { machine_->entries[Key(path)].heldSharingAll = held; }

void MemoryPlatform::SetTime(const std::string& path, std::int64_t time) { machine_->entries[Key(path)].time = time; }

void MemoryPlatform::Age(const std::string& path, std::int64_t milliseconds) {
    machine_->entries[Key(path)].time -= milliseconds * kClockPerMillisecond;
}

std::int64_t MemoryPlatform::TimeOf(const std::string& path) const {
    const auto it = machine_->entries.find(Key(path));
    return it == machine_->entries.end() ? 0 : it->second.time;
}

bool MemoryPlatform::IsReadOnly(const std::string& path) const {
    const auto it = machine_->entries.find(Key(path));
    return it != machine_->entries.end() && it->second.readOnly;
}

void MemoryPlatform::DropDirectory(const std::string& dir) {
    const std::string key = Key(dir);
    machine_->missingDirectories.push_back(key);
    for (auto it = machine_->entries.begin(); it != machine_->entries.end();)
        it = it->first.rfind(key, 0) == 0 ? machine_->entries.erase(it) : std::next(it);
}

void MemoryPlatform::CheckDirectory(const std::string& path) {
    const std::string key = Key(path);
    for (const std::string& dir : machine_->missingDirectories)
        if (key.rfind(dir, 0) == 0) Raise(kPathNotFound);
}

bool MemoryPlatform::Has(const std::string& path) const {
    const auto it = machine_->entries.find(Key(path));
    return it != machine_->entries.end() && !it->second.directory;
}

std::string MemoryPlatform::Content(const std::string& path) const {
    const auto it = machine_->entries.find(Key(path));
    return it == machine_->entries.end() ? std::string() : it->second.bytes;
}

std::vector<std::string> MemoryPlatform::Names() const {
    std::vector<std::string> names;
    for (const auto& [key, e] : machine_->entries)
        if (!e.directory) names.push_back(e.path);
    return names;
}

void MemoryPlatform::FailNth(Op kind, long n, std::int32_t number) {
    faults_.push_back(Fault{false, kind, n, number, false, 0, false, {}});
}

void MemoryPlatform::FailNthOperation(long n, std::int32_t number) {
    faults_.push_back(Fault{true, Op::CommandLine, n, number, false, 0, false, {}});
}

void MemoryPlatform::HoldNthOperation(long n, int times) {
    faults_.push_back(Fault{true, Op::CommandLine, n, kPermissionDenied, true, times, false, {}});
}

void MemoryPlatform::Tick(Op op, const std::string& path) {
    if (machine_->onOperation) machine_->onOperation(run_);
    ++operations;
    log.push_back(Operation{op, path});
    const long nth = ++counts[static_cast<int>(op)];
    // Letting go cannot fail; a kill there takes effect at the next operation.
    if (op == Op::Unlock || op == Op::Release) return;
    if (operations > maxOperations) {
        overBudget = true;
        throw SimulationStopped{};
    }
    if (killAt_ > 0 && operations >= killAt_) throw SimulationStopped{};
    for (Fault& f : faults_) {
        if (f.hold) {  // from the n-th operation on, on its file
            const bool begins = !f.begun && f.n == operations;
            const bool goesOn = f.begun && f.kind == op && f.path == path;
            if (f.times == 0 || !(begins || goesOn)) continue;
            if (begins) f.begun = true, f.kind = op, f.path = path;
            --f.times;
            RaiseInUse();
        }
        if (!(f.anyKind ? f.n == operations : (f.kind == op && f.n == nth))) continue;
        if (f.number == kBadAlloc) throw std::bad_alloc();
        throw MakeFailure(f.number);
    }
}

MemoryPlatform::Entry* MemoryPlatform::Lookup(const std::string& path) {
    touched.push_back(path);
    CheckDirectory(path);
    const auto it = machine_->entries.find(Key(path));
    if (it == machine_->entries.end() || it->second.directory) return nullptr;
    return &it->second;
}

MemoryPlatform::Entry& MemoryPlatform::Existing(const std::string& path) {
    Entry* e = Lookup(path);
    if (!e) Raise(kFileNotFound);
    return *e;
}

MemoryPlatform::Entry& MemoryPlatform::Unwritten(const std::string& path) {
    Entry& e = Existing(path);
    if (e.beingWritten) RaiseInUse();  // a sharing violation, as on Windows
    return e;
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
    LetGo();
    throw ProgramEnded{};
}

std::string MemoryPlatform::ListFirst(const std::string& pattern) {
    Tick(Op::ListFirst, pattern);
    touched.push_back(pattern);
    CheckDirectory(pattern);
    const auto [dir, namePattern] = SplitPath(pattern, codePages.ansi);
    listing_.clear();
    listed_ = 0;
    if (namePattern.find('*') == std::string::npos) {  // an existence test
        const auto it = machine_->entries.find(Key(pattern));
        if (it != machine_->entries.end() && !it->second.directory && !it->second.hidden)
            listing_.push_back(SplitPath(it->second.path, codePages.ansi).second);
        return ListNextName();
    }
    for (const auto& [key, e] : machine_->entries) {
        if (e.directory || e.hidden) continue;
        const auto [entryDir, name] = SplitPath(e.path, codePages.ansi);
        if (SameName(entryDir, dir, codePages.ansi) && WildcardMatch(namePattern, name, codePages.ansi))
            listing_.push_back(name);
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
    if (Unwritten(path).readOnly) Raise(kPathAccess);
    machine_->entries.erase(Key(path));
}

void MemoryPlatform::RenameFile(const std::string& from, const std::string& to) {
    Tick(Op::Rename, from);
    Entry moved = Unwritten(from);
    touched.push_back(to);
    CheckDirectory(to);
    const bool sameFile = Key(from) == Key(to);
    if (!sameFile && machine_->entries.count(Key(to))) Raise(kFileExists);
    machine_->entries.erase(Key(from));
    moved.path = to;
    machine_->entries[Key(to)] = moved;
}

void MemoryPlatform::CopyFile(const std::string& from, const std::string& to) {
    Tick(Op::Copy, from);
    const Entry source = Unwritten(from);
    touched.push_back(to);
    CheckDirectory(to);
    auto it = machine_->entries.find(Key(to));
    if (it != machine_->entries.end() && (it->second.directory || it->second.readOnly || it->second.beingWritten))
        Raise(kPathAccess);
    PutFile(to, source.bytes);  // the bytes and the time only: a read-only source gives an ordinary copy
    SetTime(to, source.time);
}

std::string MemoryPlatform::ReadWhole(const std::string& path) {
    Tick(Op::Read, path);
    reads.push_back(path);
    return Unwritten(path).bytes;
}

void MemoryPlatform::WriteWhole(const std::string& path, const std::string& bytes) {
    Tick(Op::Write, path);
    touched.push_back(path);
    CheckDirectory(path);
    auto it = machine_->entries.find(Key(path));
    if (it != machine_->entries.end() && it->second.beingWritten) RaiseInUse();
    if (it != machine_->entries.end() && (it->second.directory || it->second.readOnly)) Raise(kPathAccess);
    PutFile(path, bytes);
}

void MemoryPlatform::ReplaceFile(const std::string& from, const std::string& to) {
    try {
        Tick(Op::Replace, from);
        const Entry moved = Unwritten(from);
        touched.push_back(to);
        CheckDirectory(to);
        const auto it = machine_->entries.find(Key(to));
        const bool held = it != machine_->entries.end() &&
                          (it->second.beingWritten || (it->second.heldSharingAll && !machine_->replaceByHandle));
        if (held) RaiseInUse();
        if (it != machine_->entries.end() && (it->second.directory || it->second.readOnly)) Raise(kPathAccess);
        machine_->entries.erase(Key(from));
        machine_->entries[Key(to)] = moved;
        machine_->entries[Key(to)].path = to;
    } catch (const Failure& failure) {
        if (failure.inUse) throw;  // held for a moment: both files stay, to be tried again
        const auto it = machine_->entries.find(Key(from));
        if (it != machine_->entries.end() && !it->second.readOnly && !it->second.beingWritten) machine_->entries.erase(it);
        throw;
    }
}

std::int64_t MemoryPlatform::FileSize(const std::string& path) {
    Tick(Op::Size, path);
    reads.push_back(path);
    return static_cast<std::int64_t>(Unwritten(path).bytes.size());
}

bool MemoryPlatform::SameBytes(const std::string& a, const std::string& b) {
    Tick(Op::Compare, a);
    reads.push_back(a);
    reads.push_back(b);
    return Unwritten(a).bytes == Unwritten(b).bytes;
}

std::optional<FileStamp> MemoryPlatform::StampOf(const std::string& path) {
    Tick(Op::Stamp, path);
    const Entry* e = Lookup(path);
    if (!e || e->hidden) return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(e->bytes.size()), e->time};
}

std::optional<std::int64_t> MemoryPlatform::WrittenAgo(const std::string& path) {
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!stamp) return std::nullopt;
    return std::max<std::int64_t>(0, (machine_->clock - stamp->written) / kClockPerMillisecond);
}

bool MemoryPlatform::NameTaken(const std::string& path) {
    Tick(Op::NameTaken, path);
    touched.push_back(path);
    CheckDirectory(path);
    const std::string key = Key(path);
    if (machine_->entries.count(key) > 0) return true;
    // A folder is there unless dropped: the working directory, or any on the way to a file.
    const std::string folder = key + "\\";
    for (const std::string& dir : machine_->missingDirectories)
        if (folder.rfind(dir, 0) == 0) return false;
    if (key == Key(programDirectory + "\\VN")) return true;
    const auto next = machine_->entries.lower_bound(folder);
    return next != machine_->entries.end() && next->first.rfind(folder, 0) == 0;
}

namespace {

// Code page 437's upper half in Unicode; 0 for its line-drawing characters.
constexpr char16_t kOem437[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x20A7, 0x192,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0x2310, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x3B1, 0xDF, 0x393, 0x3C0, 0x3A3, 0x3C3, 0xB5, 0x3C4, 0x3A6, 0x398, 0x3A9, 0x3B4, 0x221E, 0x3C6, 0x3B5, 0x2229,
    0x2261, 0xB1, 0x2265, 0x2264, 0x2320, 0x2321, 0xF7, 0x2248, 0xB0, 0x2219, 0xB7, 0x221A, 0x207F, 0xB2, 0x25A0, 0xA0,
};

}  // namespace

std::string MemoryPlatform::OemReading(const std::string& name) {
    if (codePages.ansi == codePages.oem) return "";  // one code page for both: one reading
    std::string ansi;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            ansi += c;
            continue;
        }
        const char16_t u = kOem437[byte - 0x80];
        if (u >= 0xA0 && u <= 0xFF)
            ansi += static_cast<char>(u);  // code page 1252 holds Latin-1's upper half as it is
        else if (u == 0x192)
            ansi += '\x83';
        else
            return "";  // no ANSI spelling: no file by that reading can be reached
    }
    return ansi == name ? std::string() : ansi;
}

CodePages MemoryPlatform::GetCodePages() { return codePages; }

bool MemoryPlatform::BeingWritten(const std::string& path) {
    Tick(Op::BeingWritten, path);
    touched.push_back(path);
    const auto it = machine_->entries.find(Key(path));
    return it != machine_->entries.end() && it->second.beingWritten;
}

bool MemoryPlatform::Take(std::map<std::string, int>& held, const std::string& dir) {
    const std::string key = Key(dir);
    for (;;) {
        const auto it = held.find(key);
        if (it == held.end()) break;
        if (it->second == run_) throw std::logic_error("a run takes a directory it already holds");
        if (&held == &machine_->watches) machine_->takeOverAsked.insert(key);
        // No other run to let go within the wait: it times out.
        if (!machine_->wait || !machine_->wait(run_)) return false;
    }
    held[key] = run_;
    return true;
}

void MemoryPlatform::LockDirectory(const std::string& dir, std::int32_t) {
    Tick(Op::Lock, dir);
    if (!Take(machine_->locks, dir)) Raise(kRunHolding);
}

void MemoryPlatform::UnlockDirectory(const std::string& dir) {
    Tick(Op::Unlock, dir);
    const auto it = machine_->locks.find(Key(dir));
    if (it != machine_->locks.end() && it->second == run_) machine_->locks.erase(it);
}

bool MemoryPlatform::ClaimWatch(const std::string& dir, std::int32_t) {
    Tick(Op::Claim, dir);
    const bool taken = Take(machine_->watches, dir);
    machine_->takeOverAsked.erase(Key(dir));  // granted or given up: the request is over
    return taken;
}

void MemoryPlatform::ReleaseWatch(const std::string& dir) {
    Tick(Op::Release, dir);
    const auto it = machine_->watches.find(Key(dir));
    if (it != machine_->watches.end() && it->second == run_) machine_->watches.erase(it);
}

bool MemoryPlatform::WatchRunning(const std::string& dir) {
    const auto it = machine_->watches.find(Key(dir));
    return it != machine_->watches.end() && it->second != run_;
}

std::string MemoryPlatform::ResolvedPath(const std::string& dir) { return dir; }

bool MemoryPlatform::SleepUnlessTakenOver(std::int32_t milliseconds) {
    Sleep(milliseconds);
    for (const auto& [dir, run] : machine_->watches)
        if (run == run_ && machine_->takeOverAsked.count(dir)) return true;
    return false;
}

bool MemoryPlatform::HoldsAnything() const {
    for (const auto* held : {&machine_->locks, &machine_->watches})
        for (const auto& [dir, run] : *held)
            if (run == run_) return true;
    return false;
}

void MemoryPlatform::LetGo() {
    for (auto* held : {&machine_->locks, &machine_->watches})
        for (auto it = held->begin(); it != held->end();)
            it = it->second == run_ ? held->erase(it) : std::next(it);
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

KeyDelivery MemoryPlatform::KeyDeliveryTo(WindowHandle) { return delivery; }
Starter MemoryPlatform::StartedBy(WindowHandle window) { return window != 0 ? starter : Starter::Outside; }

std::size_t MemoryPlatform::SendInput(const std::vector<KeyEvent>& events) {
    Tick(Op::KeyEvent);
    keyBatches.push_back(events);
    std::size_t taken = events.size();
    if (!inputTaken.empty()) {
        taken = std::min(taken, inputTaken.front());
        inputTaken.erase(inputTaken.begin());
    }
    for (std::size_t i = 0; i < taken; ++i) {
        keyEvents.push_back(events[i]);
        if (onKeyEvent) onKeyEvent(events[i]);
    }
    return taken;
}

void MemoryPlatform::Sleep(std::int32_t milliseconds) {
    Tick(Op::Sleep);
    sleeps.push_back(milliseconds);
    machine_->clock += (milliseconds + sleepOvershoot) * kClockPerMillisecond;
    if (onSleep) onSleep(milliseconds);
}

std::int64_t MemoryPlatform::Milliseconds() { return machine_->clock / kClockPerMillisecond; }

void MemoryPlatform::Beep() {
    Tick(Op::Beep);
    ++beeps;
}

void MemoryPlatform::MessageBox(const std::string& text, std::int32_t buttons,
                                const std::optional<std::string>& caption,
                                const std::string& helpFile, std::int32_t helpContext, BoxFocus focus) {
    Tick(Op::MessageBox);
    boxes.push_back(Box{text, buttons, caption.value_or(kProgramTitle), helpFile, helpContext, HoldsAnything(), focus});
}

}  // namespace vornel
