#include "platform/file_contract.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <thread>

#include "platform/memory/memory_platform.h"

namespace vornel::test {
namespace {

int FailureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure.number;
    }
    return 0;
}

std::set<std::string> ListAll(Platform& p, const std::string& pattern) {
    std::set<std::string> names;
    for (std::string n = p.ListFirst(pattern); !n.empty(); n = p.ListNext()) names.insert(n);
    return names;
}

TEST_P(FileContract, WholeFilesRoundTripByteForByte) {
    const std::string bytes("line\r\nnul\0high\xff\x80 end", 21);
    p().WriteWhole(at("DOC.BAK"), bytes);
    EXPECT_EQ(p().ReadWhole(at("DOC.BAK")), bytes);
    p().WriteWhole(at("EMPTY.DAT"), "");
    EXPECT_EQ(p().ReadWhole(at("EMPTY.DAT")), "");
}

TEST_P(FileContract, MissingFilesFailWithFileNotFound) {
    EXPECT_EQ(FailureOf([&] { p().ReadWhole(at("NONE.001")); }), kFileNotFound);
    EXPECT_EQ(FailureOf([&] { p().DeleteFile(at("NONE.001")); }), kFileNotFound);
    EXPECT_EQ(FailureOf([&] { p().RenameFile(at("NONE.001"), at("NONE.002")); }), kFileNotFound);
    EXPECT_EQ(FailureOf([&] { p().CopyFile(at("NONE.001"), at("NONE.VRN")); }), kFileNotFound);
    EXPECT_EQ(p().ListFirst(at("NONE.001")), "");
    EXPECT_EQ(p().ListFirst(at("NONE.*")), "");
}

TEST_P(FileContract, RenameOntoAnExistingNameFails) {
    p().WriteWhole(at("DOC.001"), "one");
    p().WriteWhole(at("DOC.002"), "two");
    EXPECT_EQ(FailureOf([&] { p().RenameFile(at("DOC.001"), at("DOC.002")); }), kFileExists);
    EXPECT_EQ(p().ReadWhole(at("DOC.001")), "one");
    EXPECT_EQ(p().ReadWhole(at("DOC.002")), "two");
}

TEST_P(FileContract, RenameCopyAndDelete) {
    p().WriteWhole(at("DOC.BAK"), "saved");
    p().RenameFile(at("DOC.BAK"), at("DOC.001"));
    EXPECT_EQ(p().ListFirst(at("DOC.BAK")), "");
    EXPECT_EQ(p().ReadWhole(at("DOC.001")), "saved");
    p().CopyFile(at("DOC.001"), at("DOC.VRN"));
    EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "saved");
    EXPECT_EQ(p().ReadWhole(at("DOC.001")), "saved");
    p().DeleteFile(at("DOC.VRN"));
    EXPECT_EQ(p().ListFirst(at("DOC.VRN")), "");
}

// T reads the macro's files by their directory entries while the macro may
// still be saving them: nothing opened, a holder changes nothing.
TEST_P(FileContract, StampsComeFromTheDirectoryEntry) {
    EXPECT_EQ(p().StampOf(at("NONE.BAK")), std::nullopt);
    EXPECT_EQ(FailureOf([&] { p().StampOf(backend_->MissingDirectory() + "DOC.BAK"); }), kPathNotFound);
    backend_->MakeDirectory("DOC.001");
    backend_->MakeHidden("DOC.002", "hidden");
    EXPECT_EQ(p().StampOf(at("DOC.001")), std::nullopt) << "a folder";
    EXPECT_EQ(p().StampOf(at("doc.002")), std::nullopt) << "a hidden file, which no listing shows";
    p().WriteWhole(at("DOC.BAK"), "saved");
    backend_->SetTime("DOC.BAK", 1'000'000'000);
    backend_->HoldSharingAll("DOC.BAK", true);
    const auto first = p().StampOf(at("doc.bak"));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size, 5);
    backend_->SetTime("DOC.BAK", 1'000'000'002);
    const auto second = p().StampOf(at("DOC.BAK"));
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*first, *second) << "a later write shows";
    EXPECT_EQ(p().StampOf(at("DOC.BAK")), second) << "and nothing else does";
    backend_->HoldSharingAll("DOC.BAK", false);
    // A start tells a save on its way from a stale one by its age.
    EXPECT_EQ(p().WrittenAgo(at("NONE.CTL")), std::nullopt);
    EXPECT_EQ(p().WrittenAgo(at("doc.002")), std::nullopt) << "hidden";
    p().WriteWhole(at("VORNEL.CTL"), "DOC.");
    const auto ago = p().WrittenAgo(at("vornel.ctl"));
    ASSERT_TRUE(ago.has_value());
    EXPECT_LT(*ago, 60000) << "written just now";
    backend_->SetTime("VORNEL.CTL", 4'000'000'000);  // 2096: a clock that is behind
    EXPECT_EQ(p().WrittenAgo(at("VORNEL.CTL")), 0);
    // Deleted (by a watch mode's intake) while a scanner still holds it: on
    // Windows it is pending deletion until the scanner lets go (Wine shows it
    // as it was). It is going, not a failure.
    backend_->HoldSharingAll("VORNEL.CTL", true);
    p().DeleteFile(at("VORNEL.CTL"));
    EXPECT_EQ(FailureOf([&] { p().StampOf(at("VORNEL.CTL")); }), 0);
    EXPECT_EQ(FailureOf([&] { p().WrittenAgo(at("VORNEL.CTL")); }), 0);
    backend_->HoldSharingAll("VORNEL.CTL", false);
}

TEST_P(FileContract, WritingReplacesTheWholeContent) {
    p().WriteWhole(at("DOC.DAT"), "2 100");
    p().WriteWhole(at("DOC.DAT"), "3 9");
    EXPECT_EQ(p().ReadWhole(at("DOC.DAT")), "3 9");
}

TEST_P(FileContract, NamesMatchWithoutRegardToCase) {
    p().WriteWhole(at("doc.001"), "lower");
    EXPECT_EQ(p().ListFirst(at("DOC.001")), "doc.001");
    EXPECT_EQ(p().ListFirst(at("Doc.*")), "doc.001");
    EXPECT_EQ(p().ReadWhole(at("DOC.001")), "lower");
    p().RenameFile(at("DOC.001"), at("DOC.002"));
    EXPECT_EQ(p().ReadWhole(at("doc.002")), "lower");
    p().DeleteFile(at("Doc.002"));
    EXPECT_EQ(p().ListFirst(at("doc.*")), "");
}

TEST_P(FileContract, ListingMatchesTheDocumentsOwnFilesOnly) {
    for (const char* name : {"DOC.001", "DOC.002", "DOC.BAK", "DOC.TXT.009", "DOC2.001", "XDOC.001", "DOCX", "DOC"})
        p().WriteWhole(at(name), name);
    // As on Windows, "DOC.*" also matches the bare "DOC".
    EXPECT_EQ(ListAll(p(), at("DOC.*")),
              (std::set<std::string>{"DOC.001", "DOC.002", "DOC.BAK", "DOC.TXT.009", "DOC"}));
    EXPECT_EQ(ListAll(p(), at("DOC2.*")), (std::set<std::string>{"DOC2.001"}));
}

TEST_P(FileContract, ListingSkipsDirectoriesAndHiddenFiles) {
    backend_->MakeDirectory("DOC.DIR");
    backend_->MakeHidden("DOC.HID", "hidden");
    p().WriteWhole(at("DOC.001"), "x");
    EXPECT_EQ(ListAll(p(), at("DOC.*")), (std::set<std::string>{"DOC.001"}));
    EXPECT_EQ(p().ListFirst(at("DOC.DIR")), "");
    // What the listing hides still holds its name.
    for (const char* name : {"DOC.DIR", "DOC.HID", "doc.hid", "DOC.001"}) EXPECT_TRUE(p().NameTaken(at(name))) << name;
    EXPECT_FALSE(p().NameTaken(at("DOC.002")));
}

TEST_P(FileContract, ListingSurvivesExhaustionAndRestarts) {
    p().WriteWhole(at("A.001"), "a");
    EXPECT_EQ(p().ListFirst(at("A.*")), "A.001");
    EXPECT_EQ(p().ListNext(), "");
    EXPECT_EQ(p().ListNext(), "");
    EXPECT_EQ(p().ListFirst(at("A.*")), "A.001");
}

// A missing directory is a failure of its own everywhere, listings included:
// a missing VN\ must never read as an empty store.
TEST_P(FileContract, AMissingDirectoryIsPathNotFound) {
    const std::string gone = backend_->MissingDirectory();
    p().WriteWhole(at("DOC.001"), "x");
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"list", [&] { p().ListFirst(gone + "DOC.*"); }},
        {"exists", [&] { p().ListFirst(gone + "VORNEL.CTL"); }},
        {"read", [&] { p().ReadWhole(gone + "DOC.001"); }},
        {"delete", [&] { p().DeleteFile(gone + "DOC.001"); }},
        {"rename", [&] { p().RenameFile(gone + "DOC.BAK", gone + "DOC.002"); }},
        {"rename into", [&] { p().RenameFile(at("DOC.001"), gone + "DOC.001"); }},
        {"copy", [&] { p().CopyFile(gone + "DOC.001", gone + "DOC.VRN"); }},
        {"copy into", [&] { p().CopyFile(at("DOC.001"), gone + "DOC.VRN"); }},
        {"write", [&] { p().WriteWhole(gone + "DOC.DAT", "2 1"); }},
        {"name taken", [&] { p().NameTaken(gone + "DOC.002"); }},
    };
    for (const auto& [what, operation] : cases) EXPECT_EQ(FailureOf(operation), kPathNotFound) << what;
    EXPECT_EQ(p().ReadWhole(at("DOC.001")), "x");
}

// A copy is an ordinary, writable file whatever the source's attributes, so a
// read-only snapshot cannot make the result file unreplaceable.
TEST_P(FileContract, ACopyOfAReadOnlyFileIsAnOrdinaryFile) {
    backend_->MakeReadOnly("DOC.002", "two");
    for (int step = 0; step < 2; ++step) {
        if (!p().ListFirst(at("DOC.VRN")).empty()) p().DeleteFile(at("DOC.VRN"));
        p().CopyFile(at("DOC.002"), at("DOC.VRN"));
        EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "two");
        EXPECT_FALSE(backend_->IsReadOnly("DOC.VRN")) << step;
    }
    p().WriteWhole(at("DOC.VRN"), "overwritten");
    EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "overwritten");
    EXPECT_TRUE(backend_->IsReadOnly("DOC.002"));
    EXPECT_EQ(p().ReadWhole(at("DOC.002")), "two");
}

// A step's result appears whole: made aside, then moved over the old one in
// one operation. A move that fails leaves the old file and removes the new.
TEST_P(FileContract, ReplacingPutsAWholeFileInPlace) {
    p().WriteWhole(at("DOC.VRN"), "old result");
    p().WriteWhole(at("DOC.VN~"), "new result");
    p().ReplaceFile(at("DOC.VN~"), at("DOC.VRN"));
    EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "new result");
    EXPECT_EQ(p().ListFirst(at("DOC.VN~")), "");
    p().WriteWhole(at("DOC.VN~"), "first");
    p().ReplaceFile(at("DOC.VN~"), at("DOC.DAT"));  // nothing there to replace
    EXPECT_EQ(p().ReadWhole(at("DOC.DAT")), "first");

    backend_->MakeDirectory("DOC.DIR");
    p().WriteWhole(at("DOC.VN~"), "cannot go there");
    EXPECT_NE(FailureOf([&] { p().ReplaceFile(at("DOC.VN~"), at("DOC.DIR")); }), 0);
    EXPECT_EQ(p().ListFirst(at("DOC.VN~")), "");
    EXPECT_EQ(FailureOf([&] { p().ReplaceFile(at("NONE.VN~"), at("DOC.VRN")); }), kFileNotFound);
    EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "new result");
}

// A scanner or a sync client that shares everything: where the file system
// takes the rename by handle, the replace goes through at once, however long
// the holder stays; where it does not (NTFS before Windows 10 1607, FAT, many
// shares), the move fails as in use with both files as they were, so that it
// is waited out, and goes through once the holder lets go.
TEST_P(FileContract, AReplaceOntoAFileHeldSharingEverything) {
    p().WriteWhole(at("DOC.VRN"), "old result");
    p().WriteWhole(at("DOC.VN~"), "new result");
    backend_->HoldSharingAll("DOC.VRN", true);
    bool moved = true;
    try {
        p().ReplaceFile(at("DOC.VN~"), at("DOC.VRN"));
    } catch (const Failure& failure) {
        moved = false;
        EXPECT_TRUE(failure.inUse) << failure.number;
        EXPECT_EQ(p().ReadWhole(at("DOC.VN~")), "new result");
        EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "old result");
    }
    if (const auto replaces = backend_->ReplacesHeldFiles())
        EXPECT_EQ(moved, *replaces);
    else  // nobody can say what this file system does: say what it did
        std::printf("   a replace onto a held file here: %s\n", moved ? "replaced at once" : "in use, waited out");
    if (moved) EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "new result") << "replaced while still held";
    backend_->HoldSharingAll("DOC.VRN", false);
    if (!moved) p().ReplaceFile(at("DOC.VN~"), at("DOC.VRN"));
    EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "new result");
    EXPECT_EQ(p().ListFirst(at("DOC.VN~")), "");
}

// The result file carries its snapshot's last-write time, as a Windows copy
// would, so a listing shows when the version being looked at was saved.
TEST_P(FileContract, AResultKeepsItsSnapshotsTimeAndIsWritable) {
    backend_->MakeReadOnly("DOC.002", "two");
    backend_->SetTime("DOC.002", 1577923200);  // 2020-01-02
    for (int step = 0; step < 2; ++step) {
        p().CopyFile(at("DOC.002"), at("DOC.VN~"));
        p().ReplaceFile(at("DOC.VN~"), at("DOC.VRN"));
        EXPECT_EQ(backend_->TimeOf("DOC.VRN"), 1577923200) << step;
        EXPECT_FALSE(backend_->IsReadOnly("DOC.VRN")) << step;
    }
    p().WriteWhole(at("DOC.VRN"), "edited");
    EXPECT_EQ(p().ReadWhole(at("DOC.VRN")), "edited");
    EXPECT_EQ(backend_->TimeOf("DOC.002"), 1577923200);
}

// Sizes and comparisons go by chunks: a difference in the last byte of a
// file longer than one chunk still counts, and so does one in the first.
TEST_P(FileContract, SizesAndComparisons) {
    const std::string big(200 * 1024 + 7, 'x');
    std::string lastDiffers = big, firstDiffers = big;
    lastDiffers.back() = 'y';
    firstDiffers.front() = 'y';
    p().WriteWhole(at("DOC.BAK"), big);
    p().WriteWhole(at("DOC.001"), big);
    p().WriteWhole(at("DOC.002"), lastDiffers);
    p().WriteWhole(at("DOC.003"), firstDiffers);
    p().WriteWhole(at("DOC.004"), big + "z");
    p().WriteWhole(at("DOC.005"), "");
    EXPECT_EQ(p().FileSize(at("DOC.BAK")), static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(p().FileSize(at("DOC.005")), 0);
    EXPECT_TRUE(p().SameBytes(at("DOC.BAK"), at("DOC.001")));
    EXPECT_FALSE(p().SameBytes(at("DOC.BAK"), at("DOC.002")));
    EXPECT_FALSE(p().SameBytes(at("DOC.BAK"), at("DOC.003")));
    EXPECT_FALSE(p().SameBytes(at("DOC.BAK"), at("DOC.004")));
    EXPECT_TRUE(p().SameBytes(at("DOC.005"), at("DOC.005")));
    EXPECT_EQ(FailureOf([&] { p().FileSize(at("NONE.001")); }), kFileNotFound);
    EXPECT_EQ(FailureOf([&] { p().SameBytes(at("DOC.BAK"), at("NONE.001")); }), kFileNotFound);
    EXPECT_FALSE(p().BeingWritten(at("DOC.BAK")));  // nobody has it open
    EXPECT_FALSE(p().BeingWritten(at("NONE.001")));
}

// A newer watch mode that gives up withdraws its request: the running one,
// asked no more, goes on. (The other run is a thread of its own: on Windows
// a thread that holds a mutex takes it again at once.)
TEST_P(FileContract, ATakeOverThatGivesUpIsWithdrawn) {
    const std::string vn = backend_->dir();
    std::unique_ptr<Platform> newer = backend_->Another();
    ASSERT_TRUE(p().ClaimWatch(vn, 1000));
    bool taken = true;
    std::thread([&] { taken = newer->ClaimWatch(vn, 300); }).join();
    EXPECT_FALSE(taken);
    EXPECT_FALSE(p().SleepUnlessTakenOver(100)) << "a request left standing";
    p().ReleaseWatch(vn);
    std::thread([&] {
        taken = newer->ClaimWatch(vn, 1000);
        newer->ReleaseWatch(vn);
    }).join();
    EXPECT_TRUE(taken);
}

// T looks whether a watch mode runs without asking it anything: the running
// one is not taken over, and a later take-over still works.
TEST_P(FileContract, ALookAtTheWatchClaimAsksNothing) {
    const std::string vn = backend_->dir();
    std::unique_ptr<Platform> other = backend_->Another();
    bool running = true;
    std::thread([&] { running = other->WatchRunning(vn); }).join();
    EXPECT_FALSE(running);
    ASSERT_TRUE(p().ClaimWatch(vn, 1000));
    std::thread([&] { running = other->WatchRunning(vn); }).join();
    EXPECT_TRUE(running);
    EXPECT_FALSE(p().SleepUnlessTakenOver(100)) << "the look asked it to end";
    p().ReleaseWatch(vn);
    std::thread([&] { running = other->WatchRunning(vn); }).join();
    EXPECT_FALSE(running);
}

// The in-memory backend: the one most unit tests run on.
struct MemoryBackend : FileBackend {
    MemoryPlatform memory;
    Platform& platform() override { return memory; }
    std::string dir() override { return "C:\\T\\"; }
    void MakeDirectory(const std::string& name) override { memory.PutDirectory(dir() + name); }
    void MakeHidden(const std::string& name, const std::string& bytes) override {
        memory.PutHidden(dir() + name, bytes);
    }
    void MakeReadOnly(const std::string& name, const std::string& bytes) override {
        memory.PutReadOnly(dir() + name, bytes);
    }
    bool IsReadOnly(const std::string& name) override { return memory.IsReadOnly(dir() + name); }
    std::string MissingDirectory() override {
        memory.DropDirectory(dir() + "GONE\\");
        return dir() + "GONE\\";
    }
    void SetTime(const std::string& name, std::int64_t seconds) override { memory.SetTime(dir() + name, seconds); }
    std::int64_t TimeOf(const std::string& name) override { return memory.TimeOf(dir() + name); }
    void HoldSharingAll(const std::string& name, bool held) override { memory.HoldSharingAll(dir() + name, held); }
    std::optional<bool> ReplacesHeldFiles() override { return memory.machine()->replaceByHandle; }
    std::unique_ptr<Platform> Another() override { return std::make_unique<MemoryPlatform>(memory.machine()); }
};

std::unique_ptr<FileBackend> MemoryByHandle() {
    auto backend = std::make_unique<MemoryBackend>();
    backend->memory.machine()->replaceByHandle = true;
    return backend;
}

INSTANTIATE_TEST_SUITE_P(Memory, FileContract,
                         ::testing::Values(Backend{"Memory", [] { return std::make_unique<MemoryBackend>(); }},
                                           Backend{"MemoryByHandle", MemoryByHandle}),
                         BackendName);

}  // namespace
}  // namespace vornel::test
