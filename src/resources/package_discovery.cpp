#include "resources/package_discovery.h"

#include "installer.h"

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Names may hold newlines and control bytes; the diagnostic stays one line.
void reportLeftOut(std::string_view directory, std::string_view name)
{
    static const std::string keepUtf8 = [] {
        std::string bytes;
        for (int byte = 0x80; byte <= 0xFF; ++byte)
            bytes += static_cast<char>(byte);
        return bytes;
    }();
    const std::string path = std::string(directory) + "/" + std::string(name);
    gchar* escaped = g_strescape(path.c_str(), keepUtf8.c_str());
    g_print("package list full, left out: %s\n", escaped);
    g_free(escaped);
}

}  // namespace

std::string shellQuoted(std::string_view text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

bool appendPackageEntry(std::span<char> list, std::size_t& used, std::string_view directory, std::string_view name)
{
    const std::string entry = shellQuoted(std::string(directory) + "/" + std::string(name)) + " ";
    if (used + entry.size() >= list.size())
        return false;
    std::memcpy(list.data() + used, entry.c_str(), entry.size() + 1);
    used += entry.size();
    return true;
}

void initRPMPath()
{
    char cwd[kTextBufferSize];
    const std::unique_ptr<DIR, DirCloser> dir(getcwd(cwd, std::size(cwd)) ? opendir(cwd) : nullptr);
    if (!dir) {
        g_print("opendir failed!\n");
        return;
    }
    std::size_t used = std::strlen(installerState.rpmPath);
    while (const dirent* entry = readdir(dir.get())) {
        if (std::strstr(entry->d_name, "i386.deb")
            && !appendPackageEntry(installerState.rpmPath, used, cwd, entry->d_name))
            reportLeftOut(cwd, entry->d_name);
    }
}
