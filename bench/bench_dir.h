#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"

// A scratch directory of one benchmark program, removed at exit.
class BenchDir {
public:
    BenchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fraglane-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_native = pattern + "/";
    }
    ~BenchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_native, ec);
    }
    std::string Program(const std::string& rel = {}) const {
        return fraglane::platform::FromNative(m_native + rel);
    }
    const std::string& Native() const { return m_native; }

private:
    std::string m_native;
};
