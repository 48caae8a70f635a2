#pragma once
// One set of file-operation cases, run over every file backend.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vornel::test {

struct FileBackend {
    virtual ~FileBackend() = default;
    virtual Platform& platform() = 0;
    virtual std::string dir() = 0;  // a fresh, empty directory, ending in '\'
    virtual void MakeDirectory(const std::string& name) = 0;
    virtual void MakeHidden(const std::string& name, const std::string& bytes) = 0;
    virtual void MakeReadOnly(const std::string& name, const std::string& bytes) = 0;
    virtual bool IsReadOnly(const std::string& name) = 0;
    virtual std::string MissingDirectory() = 0;  // a directory that is not there, ending in '\'
    // Last-write times, in seconds since 1970.
    virtual void SetTime(const std::string& name, std::int64_t seconds) = 0;
    virtual std::int64_t TimeOf(const std::string& name) = 0;
    // Another program (a scanner, the indexer) opens the file sharing read,
    // write and delete, or (held false) lets go of it.
    virtual void HoldSharingAll(const std::string& name, bool held) = 0;
    // Whether a replace goes through while such a holder has the target open:
    // nothing when the file system decides (Windows: by handle on NTFS, by
    // name elsewhere).
    virtual std::optional<bool> ReplacesHeldFiles() { return std::nullopt; }
    // Another run on the same machine, for the turn and the watch claim.
    virtual std::unique_ptr<Platform> Another() = 0;
};

struct Backend {
    std::string name;
    std::function<std::unique_ptr<FileBackend>()> make;
};

class FileContract : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { backend_ = GetParam().make(); }
    void TearDown() override { backend_.reset(); }
    Platform& p() { return backend_->platform(); }
    std::string at(const std::string& name) { return backend_->dir() + name; }
    std::unique_ptr<FileBackend> backend_;
};

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) { return info.param.name; }

}  // namespace vornel::test
