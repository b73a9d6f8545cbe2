// Arbitrary entry names, NUL-separated after a directory: /bin/sh reads the package list
// back as exactly the paths of those entries.

#include "resources/package_discovery.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string directory = input.substr(0, input.find('\0'));
    std::string list, paths;
    for (std::size_t start = directory.size() + 1, end; start < size; start = end + 1) {
        end = std::min(input.find('\0', start), size);
        const std::string name = input.substr(start, end - start);
        if (!name.empty() && name.find('/') == std::string::npos)
            appendPackageEntry(list, directory, name), paths += directory + "/" + name + '\0';
    }
    if (list.empty())
        return 0;
    std::FILE* shell = popen(("printf '%s\\0' " + list).c_str(), "r");
    std::string words;
    for (int c; (c = std::fgetc(shell)) != EOF;)
        words += static_cast<char>(c);
    if (pclose(shell) != 0 || words != paths)
        std::abort();
    return 0;
}
