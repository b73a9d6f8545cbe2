#include "resources/locale_resources.h"

#include "installer.h"
#include "resources/package_problem.h"
#include "resources/utf8_text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace {

constexpr const char* kFallbackLocale = "en_US.UTF-8";
constexpr const char* kStringsTemplate = "%s/locale/%s/strings.txt";
constexpr const char* kLicenseTemplate = "%s/locale/%s/license.txt";

// Formats the locale file's path into `path` and opens it, then tries the fallback
// locale. A path that does not fit its buffer is left cut in `path` but never opened:
// the cut path could name some other file.
File openLocaleFile(char (&path)[kTextBufferSize], const char* pathTemplate, const char* cwd,
                    const char* locale, off_t maxSize, off_t& size)
{
    for (const char* name : {locale, kFallbackLocale}) {
        const int length = std::snprintf(path, std::size(path), pathTemplate, cwd, name);
        if (length < 0 || static_cast<std::size_t>(length) >= std::size(path))
            continue;
        if (File file = openRegularFile(path, maxSize, size))
            return file;
    }
    return {};
}

void storeText(char (&destination)[kTextBufferSize], std::string_view value)
{
    const std::string text = toValidUtf8(value, std::size(destination) - 1);
    std::memset(destination, 0, std::size(destination));
    std::memcpy(destination, text.data(), text.size());
}

// Faulting in a fresh block page by page while read() fills it costs more than the copy
// itself; one madvise maps all its pages at once. Best effort: a kernel without it simply
// leaves the faults to the read.
void prefault(char* block, std::size_t size)
{
    constexpr std::size_t kWorthIt = 1 << 20;
    if (size < kWorthIt)
        return;
    const auto intoPage = reinterpret_cast<std::uintptr_t>(block)
        % static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    madvise(block - intoPage, size + intoPage, MADV_POPULATE_WRITE);
}

void readAgreement(const char* cwd, const char* locale)
{
    off_t size = 0;
    const File file = openLocaleFile(installerState.licensePath, kLicenseTemplate, cwd, locale,
                                     std::numeric_limits<std::int32_t>::max(), size);
    if (!file)
        return;
    std::unique_ptr<char[]> data(new (std::nothrow) char[static_cast<std::size_t>(size)]);
    if (!data)
        return;
    prefault(data.get(), static_cast<std::size_t>(size));
    const std::size_t count = std::fread(data.get(), 1, static_cast<std::size_t>(size), file.get());
    if (!isValidUtf8({data.get(), count})) {
        const std::string text
            = toValidUtf8({data.get(), count}, std::numeric_limits<std::int32_t>::max());
        data.reset(new (std::nothrow) char[text.size()]);
        if (!data)
            return;
        std::memcpy(data.get(), text.data(), text.size());
        installerState.licenseDataSize = static_cast<std::int32_t>(text.size());
    } else {
        installerState.licenseDataSize = static_cast<std::int32_t>(count);
    }
    installerState.licenseData = std::move(data);
}

void readStrings(const char* cwd, const char* locale)
{
    off_t size = 0;
    const File file = openLocaleFile(installerState.localeStringPath, kStringsTemplate, cwd, locale,
                                     std::numeric_limits<off_t>::max(), size);
    if (file)
        readStringLines(file.get());
}

}  // namespace

File openRegularFile(const char* path, off_t maxSize, off_t& size)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxSize) {
        close(fd);
        return {};
    }
    FILE* file = fdopen(fd, "r");
    if (!file) {
        close(fd);
        return {};
    }
    size = info.st_size;
    return File{file};
}

void readStringLines(std::FILE* file)
{
    // 255 bytes a read: longer lines are taken in pieces, each piece a line of its own.
    char line[256];
    while (std::fgets(line, std::size(line), file))
        applyStringsLine(line);
}

namespace {

struct StringKey {
    const char* name;
    char (InstallerState::*text)[kTextBufferSize];
    const char* builtIn;  // for a key that is absent or empty; null: stays empty
};

// No key's name is part of another's, so a line that names one key sets only that one.
constexpr StringKey kKeys[] = {
    {"str_processName", &InstallerState::str_processName, nullptr},
    {"str_noticeLabel", &InstallerState::str_noticeLabel, nullptr},
    {"str_checkButton", &InstallerState::str_checkButton, nullptr},
    {"str_installButton", &InstallerState::str_installButton, nullptr},
    {"str_finishLabel", &InstallerState::str_finishLabel, nullptr},
    {"str_doneButton", &InstallerState::str_doneButton, nullptr},
    {"str_installingMessage", &InstallerState::str_installingMessage,
     "Installing the packages. This can take a few minutes\u2026"},
    {"str_cancelledMessage", &InstallerState::str_cancelledMessage,
     "Nothing was installed: administrator rights were refused, or the password dialog was "
     "closed."},
    {"str_noRightsMessage", &InstallerState::str_noRightsMessage,
     "Nothing was installed: administrator rights could not be obtained. pkexec and an "
     "authentication agent are needed."},
    {"str_failedMessage", &InstallerState::str_failedMessage,
     "The package installer reported an error (exit code %s)."},
    {"str_refusedMessage", &InstallerState::str_refusedMessage, "Nothing was installed: %s."},
    {"str_tooLongMessage", &InstallerState::str_tooLongMessage,
     "Nothing was installed: there are too many packages for one installation."},
    {"str_reasonInstalledPackage", &InstallerState::str_reasonInstalledPackage,
     "the installed package %s"},
    {"str_reasonMore", &InstallerState::str_reasonMore, "and %s more"},
    {"str_planMessage", &InstallerState::str_planMessage,
     "Nothing was installed yet. %s Press Install again to install all of it together."},
    {"str_planArchitecture", &InstallerState::str_planArchitecture,
     "This system must first accept packages for the %s architecture and update its package "
     "lists."},
    {"str_planCount", &InstallerState::str_planCount, "Packages to install: %s."},
    {"str_planCountArchitecture", &InstallerState::str_planCountArchitecture,
     "Packages to install: %s, %s of them for the %s architecture."},
    {"str_planUpgrades", &InstallerState::str_planUpgrades, "Installed packages to upgrade: %s."},
    {"str_planSizes", &InstallerState::str_planSizes, "To download: %s; disk space needed: %s."},
    {"str_planInstallList", &InstallerState::str_planInstallList, "To install:"},
    {"str_planUpgradeList", &InstallerState::str_planUpgradeList, "To upgrade:"},
    {"str_planFetchingMessage", &InstallerState::str_planFetchingMessage,
     "Fetching the package lists, to find out what the installation needs\u2026"},
    {"str_planUnknownMessage", &InstallerState::str_planUnknownMessage,
     "Nothing was installed: what the installation needs cannot be known, as the package "
     "lists could not be fetched. Is the network reachable?"},
    {"str_planChangedMessage", &InstallerState::str_planChangedMessage,
     "Nothing was installed: the package sources changed since the plan was shown. %s Press "
     "Install again to install all of it together."},
    {"str_listsFailedMessage", &InstallerState::str_listsFailedMessage,
     "Nothing was installed: the package lists could not be updated. Is the network "
     "reachable?"},
    {"str_nothingMessage", &InstallerState::str_nothingMessage,
     "There is nothing to install: this folder holds no package."},
    {"str_waitingMessage", &InstallerState::str_waitingMessage,
     "Another program (%s) is installing software. The installation goes on by itself once "
     "it has finished\u2026"},
    {"str_closingMessage", &InstallerState::str_closingMessage,
     "The window closes once the installation has finished."},
    {"str_lockTakenMessage", &InstallerState::str_lockTakenMessage,
     "Nothing was installed: another program (%s) began to install software at the same "
     "time. Press Install again once it has finished."},
    {"str_setUpFailedMessage", &InstallerState::str_setUpFailedMessage,
     "%s: its set-up script failed: %s (exit code %s)."},
    {"str_unpackFailedMessage", &InstallerState::str_unpackFailedMessage,
     "%s could not be installed: %s (exit code %s)."},
    {"str_aptFailedMessage", &InstallerState::str_aptFailedMessage,
     "The package installer stopped: %s (exit code %s)."},
    {"str_stepArchitecture", &InstallerState::str_stepArchitecture,
     "Accepting packages for the %s architecture\u2026"},
    {"str_stepLists", &InstallerState::str_stepLists, "Updating the package lists\u2026"},
    {"str_stepDownloading", &InstallerState::str_stepDownloading, "Downloading the packages\u2026"},
    {"str_progressInstalling", &InstallerState::str_progressInstalling, "Installing %s (%s of %s)"},
    {"str_progressSettingUp", &InstallerState::str_progressSettingUp, "Setting up %s (%s of %s)"},
    {"str_detailsLabel", &InstallerState::str_detailsLabel, "Details"},
    {"str_cautionMessage", &InstallerState::str_cautionMessage,
     "Nothing was installed yet: %s. Press Install again to install it all the same."},
};

// Calls `use` with the key, the built-in text and the destination of every text of the
// strings file: those above, then the sentence for each kind of problem.
template <typename Use> void forEachKey(Use use)
{
    for (const StringKey& key : kKeys)
        use(key.name, key.builtIn, installerState.*key.text);
    for (std::size_t kind = 0; kind < kProblemKinds; ++kind) {
        const LocalText text = reasonText(static_cast<PackageProblem::Kind>(kind));
        use(text.key, text.builtIn, installerState.str_reasons[kind]);
    }
}

}  // namespace

void applyStringsLine(const char* line)
{
    forEachKey([line](const char* key, const char* /*builtIn*/, char(&text)[kTextBufferSize]) {
        if (!std::strstr(line, key))
            return;
        // The value starts two bytes past the first "=" and leaves out the line's last
        // byte (its newline); a character that byte cuts short goes with it. A line without
        // that much after the "=" has no value and leaves the key as it was.
        const char* equals = std::strchr(line, '=');
        if (!equals || std::strlen(equals + 1) < 2)
            return;
        const std::string_view rest(equals + 2);
        storeText(text, withoutCutCharacter(rest.substr(0, rest.size() - 1), rest.back()));
    });
}

void initialzeLocalStrings()
{
    const char* lang = std::getenv("LANG");
    reportLine(lang ? lang : "");

    char cwd[kTextBufferSize];
    if (getcwd(cwd, std::size(cwd))) {
        const char* locale = lang ? lang : kFallbackLocale;
        readAgreement(cwd, locale);
        readStrings(cwd, locale);
    }
    forEachKey([](const char* /*key*/, const char* builtIn, char(&text)[kTextBufferSize]) {
        if (builtIn && !*text)
            storeText(text, builtIn);
    });
}
