#pragma once

// Shared fixtures: a temporary working directory and small file helpers.

#include "installer.h"
#include "resources/package_discovery.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

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

// What `command`, run by the shell, prints on standard output.
inline std::string commandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
            out.append(chunk, n);
        pclose(pipe);
    }
    return out;
}

// The NUL-terminated fields of `text`.
inline std::vector<std::string> nulFields(const std::string& text)
{
    std::vector<std::string> fields;
    for (std::size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        fields.push_back(text.substr(start, end - start));
    return fields;
}

// The words /bin/sh makes of `list`.
inline std::vector<std::string> shellWordsOf(const std::string& list)
{
    return nulFields(commandOutput("/bin/sh -c " + shellQuoted("printf '%s\\0' " + list)));
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
