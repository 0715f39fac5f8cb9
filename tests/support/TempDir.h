// A scratch directory for one test, removed with everything in it at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace testsupport {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (made == nullptr)
            std::abort();
        m_path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// Points the registry store at a fresh directory for the life of the object,
// so tests never touch the user's settings.
class ScopedRegistryDir {
public:
    ScopedRegistryDir() { ::setenv("BRINDLE_REGISTRY_DIR", m_dir.str().c_str(), 1); }
    ~ScopedRegistryDir() { ::unsetenv("BRINDLE_REGISTRY_DIR"); }
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
};

} // namespace testsupport
