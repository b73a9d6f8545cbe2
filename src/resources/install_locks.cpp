#include "resources/install_locks.h"

#include "resources/control_text.h"

#include <glib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// The locks of dpkg's database and of apt's lists and downloads: a run of dpkg or apt holds
// some of them until it ends.
constexpr std::array<const char*, 4> kLocks{"/var/lib/dpkg/lock-frontend", "/var/lib/dpkg/lock",
                                            "/var/lib/apt/lists/lock",
                                            "/var/cache/apt/archives/lock"};

// A program's name: the file of its command, or of the script an interpreter runs
// ("unattended-upgrade" rather than "python3").
std::string programName(long pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string command;
    std::string script;
    std::getline(file, command, '\0');
    std::getline(file, script, '\0');
    gchar* name = g_path_get_basename(command.c_str());
    std::string program = name;
    g_free(name);
    for (const std::string_view interpreter : {"python", "perl", "sh", "bash"})
        if (program.starts_with(interpreter) && !script.empty() && !script.starts_with('-')) {
            name = g_path_get_basename(script.c_str());
            program = name;
            g_free(name);
            break;
        }
    return program.empty() ? std::to_string(pid) : program;
}

// Reads all of `text` as a number in `base`.
template <typename Number> bool readNumber(std::string_view text, Number& number, int base)
{
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, number, base);
    return error == std::errc() && last == end;
}

// Whether `path` lies on an overlay, as a live system's root does: the kernel lists a lock
// by the device of the layer that holds the file, not by the overlay's.
bool onOverlay(const char* path)
{
    constexpr long kOverlayMagic = 0x794c7630;
    struct statfs system = {};
    return statfs(path, &system) == 0 && static_cast<long>(system.f_type) == kOverlayMagic;
}

// Whether the process `pid` sees the mounts this one sees, as far as this one may tell: a
// program in a container of its own, over the same lower layer, holds a lock of its own.
bool sameMounts(long pid)
{
    std::array<char, 64> own{};
    std::array<char, 64> theirs{};
    const std::string link = "/proc/" + std::to_string(pid) + "/ns/mnt";
    const ssize_t ownSize = readlink("/proc/self/ns/mnt", own.data(), own.size());
    const ssize_t theirSize = readlink(link.c_str(), theirs.data(), theirs.size());
    return ownSize <= 0 || theirSize <= 0
        || std::string_view(own.data(), static_cast<std::size_t>(ownSize))
        == std::string_view(theirs.data(), static_cast<std::size_t>(theirSize));
}

}  // namespace

std::optional<LockHolder> heldInstallLock()
{
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: POSIX  ADVISORY  WRITE 1234 fe:00:408225 0 EOF"; a waiter's line has "->".
        std::istringstream fields(line);
        std::string skipped;
        long pid = 0;
        std::string device;
        if (!(fields >> skipped >> skipped >> skipped >> skipped >> pid >> device) || pid <= 0
            || pid == getpid())
            continue;
        const auto parts = lines(device, ':');
        unsigned major = 0;
        unsigned minor = 0;
        ino_t inode = 0;
        if (parts.size() != 3 || !readNumber(parts[0], major, 16)
            || !readNumber(parts[1], minor, 16) || !readNumber(parts[2], inode, 10))
            continue;
        for (const char* lock : kLocks) {
            struct stat file = {};
            if (stat(lock, &file) == 0 && file.st_ino == inode
                && ((::major(file.st_dev) == major && ::minor(file.st_dev) == minor)
                    || (onOverlay(lock) && sameMounts(pid))))
                return LockHolder{lock, programName(pid)};
        }
    }
    return std::nullopt;
}
