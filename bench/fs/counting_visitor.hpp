// A tree-walk visitor that only counts what it is shown, for the walk
// benchmarks on every platform.
#pragma once

#include <cstdint>

#include "corvane/fs.h"

class counting_visitor final : public IFileSystemVisitor {
public:
    bool Query(const char*, void**) override { return false; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnFile(const char*, const char*) override { ++entries; }
    void OnFolder(const char*, const char*) override { ++entries; }
    int64_t entries = 0;
};
