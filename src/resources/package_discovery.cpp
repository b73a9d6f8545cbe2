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

}  // namespace

void appendQuotedPath(std::string& list, const std::string& path)
{
    gchar* quoted = g_shell_quote(path.c_str());
    list.append(quoted).push_back(' ');
    g_free(quoted);
}

void appendPackageEntry(std::string& list, std::string_view directory, std::string_view name)
{
    appendQuotedPath(list, std::string(directory) + "/" + std::string(name));
}

void initRPMPath()
{
    char cwd[kTextBufferSize];
    const std::unique_ptr<DIR, DirCloser> dir(getcwd(cwd, std::size(cwd)) ? opendir(cwd) : nullptr);
    if (!dir) {
        reportLine("opendir failed!");
        return;
    }
    std::string& list = installerState.rpmPath;
    while (const dirent* entry = readdir(dir.get())) {
        if (!std::strstr(entry->d_name, "i386.deb"))
            continue;
        appendPackageEntry(list, cwd, entry->d_name);
        // Past what one command can hold the installation cannot run anyway (Install then
        // says so), and the rest of a huge directory need not be read or kept.
        if (list.size() > kMaxCommandLength)
            break;
    }
}
