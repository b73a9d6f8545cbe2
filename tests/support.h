#pragma once

// Shared fixtures: a temporary working directory and small file helpers.

#include "installer.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

inline void writeFile(const fs::path& path, std::string_view bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Creates and returns a directory below `base` whose path is exactly `length` bytes.
inline fs::path deepDirectory(fs::path base, std::size_t length)
{
    while (base.string().size() + 101 < length)
        base /= std::string(100, 'd');
    base /= std::string(length - base.string().size() - 1, 'e');
    fs::create_directories(base);
    return base;
}

// A fresh directory that the test runs in, removed afterwards, with the installer
// state reset around it.
class WorkDir {
public:
    explicit WorkDir(std::string_view name = "installer test")
    {
        std::string pattern = (fs::temp_directory_path() / (std::string(name) + " XXXXXX")).string();
        path = mkdtemp(pattern.data());
        previous = fs::current_path();
        fs::current_path(path);
        installerState = {};
    }
    ~WorkDir()
    {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(path, ignored);
        installerState = {};
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    // Writes locale/<locale>/strings.txt and license.txt; an absent text is not written.
    void locale(std::string_view locale, const char* strings, const char* license) const
    {
        const fs::path dir = path / "locale" / locale;
        fs::create_directories(dir);
        if (strings)
            writeFile(dir / "strings.txt", strings);
        if (license)
            writeFile(dir / "license.txt", license);
    }

    fs::path path;

private:
    fs::path previous;
};
