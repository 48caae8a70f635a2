// The simulation itself must be right, or every test built on it proves nothing.
#include "platform/memory/memory_platform.h"

#include <gtest/gtest.h>

namespace vornel {
namespace {

TEST(MemoryPlatform, FailsTheNthOperationOfAKind) {
    MemoryPlatform p;
    p.PutFile("C:\\A", "x");
    p.FailNth(Op::Read, 2, kPermissionDenied);
    EXPECT_EQ(p.ReadWhole("C:\\A"), "x");
    try {
        p.ReadWhole("C:\\A");
        FAIL() << "the second read should fail";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number, kPermissionDenied);
        EXPECT_EQ(f.description, "Permission denied");
        EXPECT_EQ(f.source, "Vornel");
    }
    EXPECT_EQ(p.ReadWhole("C:\\A"), "x");
}

TEST(MemoryPlatform, FailsTheNthOperationOfAnyKind) {
    MemoryPlatform p;
    p.FailNthOperation(3, kDiskFull);
    p.Beep();
    p.Sleep(1);
    EXPECT_THROW(p.WriteWhole("C:\\A", "x"), Failure);
    EXPECT_FALSE(p.Has("C:\\A"));
}

TEST(MemoryPlatform, ListsOnlyTheNamedDirectory) {
    MemoryPlatform p;
    p.PutFile("C:\\XY\\VN\\DOC.001", "a");
    p.PutFile("C:\\XY\\DOC.002", "b");
    p.PutFile("C:\\XY\\VN\\SUB\\DOC.003", "c");
    EXPECT_EQ(p.ListFirst("c:\\xy\\vn\\DOC.*"), "DOC.001");
    EXPECT_EQ(p.ListNext(), "");
}

TEST(MemoryPlatform, ScriptedWindowsAndTheOutsideStop) {
    MemoryPlatform p;
    p.titles = {"XyWrite", ""};
    p.maxForegroundQueries = 3;
    std::string buffer(10, ' ');
    p.GetWindowTextA(p.GetForegroundWindow(), buffer, 10);
    EXPECT_EQ(buffer.substr(0, 8), std::string("XyWrite\0", 8));
    EXPECT_EQ(p.GetForegroundWindow(), 0u);
    EXPECT_EQ(p.GetForegroundWindow(), 0u);  // the last title repeats
    EXPECT_THROW(p.GetForegroundWindow(), SimulationStopped);
}

}  // namespace
}  // namespace vornel
