// A directory of a test's own for the files it writes, made afresh under the
// system's temporary directory with a unique name and removed with all it
// holds when the test ends: two test runs at once, or ctest -j, never share one.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchDirectory {
public:
    ScratchDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "fieldsearch-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch directory from " + pattern);
        }
        path_ = pattern;
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The path of a file named `name` inside the directory.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The scratch directory of this test process (made on first use, removed at
// exit), as a path with a trailing separator, for tests that only need
// somewhere of their own to write.
inline std::string process_scratch_directory()
{
    static const ScratchDirectory directory;
    return directory.path().string() + "/";
}
