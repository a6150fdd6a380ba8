// Helpers that the native tests (on Linux) and the Win32 tests (under Wine)
// share: the text of a port-access trace and a scratch current directory for
// the log file. Standard C++ only, so that both builds compile the same code.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace test_shared {

// "R 378=0001 W 37A=000B": each access as R (read) or W (write), its address
// and its value in hexadecimal with at least `digits` digits, joined by
// blanks; easy to compare and to print in a failure message. `Access` has
// isWrite, address and value.
template <typename Access>
std::string DescribeAccesses(const std::vector<Access>& accesses, int digits)
{
    std::string text;
    for (const Access& access : accesses) {
        char item[32];
        std::snprintf(item, sizeof item, "%s%c %X=%0*X", text.empty() ? "" : " ",
                      access.isWrite ? 'W' : 'R', unsigned{access.address}, digits,
                      unsigned{access.value});
        text += item;
    }
    return text;
}

// A whole file's bytes, or "" when it does not exist.
inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// Makes a fresh empty folder the current directory for the life of the
// object, so that the log file "RurSetupDebug.txt" starts absent; restores
// the old current directory and removes the folder after.
class ScratchDirectory {
public:
    ScratchDirectory() : previous(std::filesystem::current_path())
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                base / ("doruzeda-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) path = candidate.string();
        }
        if (path.empty()) throw std::runtime_error("no scratch directory in " + base.string());
        std::filesystem::current_path(path);
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return path; }
    // The log file's bytes, or "" when it does not exist.
    std::string LogFile() const
    {
        return ReadFile(std::filesystem::path(path) / "RurSetupDebug.txt");
    }

private:
    std::filesystem::path previous;
    std::string path;
};

}  // namespace test_shared
