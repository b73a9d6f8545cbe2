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

void appendQuoted(std::string& line, std::string_view word)
{
    gchar* quoted = g_shell_quote(std::string(word).c_str());
    line.append(quoted).push_back(' ');
    g_free(quoted);
}

void initRPMPath()
{
    char cwd[kTextBufferSize];
    const std::unique_ptr<DIR, DirCloser> dir(getcwd(cwd, std::size(cwd)) ? opendir(cwd) : nullptr);
    if (!dir) {
        reportLine("opendir failed!");
        return;
    }
    std::string quoted;
    while (const dirent* entry = readdir(dir.get())) {
        if (!std::strstr(entry->d_name, "i386.deb"))
            continue;
        installerState.rpmPath.push_back(std::string(cwd) + "/" + entry->d_name);
        appendQuoted(quoted, installerState.rpmPath.back());
        // Past what one command can hold the installation cannot run anyway (Install then
        // says so), and the rest of a huge directory need not be read or kept.
        if (quoted.size() > kMaxCommandLength)
            break;
    }
}
