#include "resources/locale_resources.h"

#include "installer.h"
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

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Opens `path` for reading only if it is a regular file of at most `maxSize` bytes.
// A plain fopen would open a directory, and would block on a FIFO until some writer
// appeared, hanging start-up; O_NONBLOCK makes that open return at once.
File openRegularFile(const char* path, off_t maxSize, off_t& size)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info { };
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

// Formats the locale file's path into `path` and opens it, then tries the fallback
// locale. A path that does not fit its buffer is left cut in `path` but never opened:
// the cut path could name some other file.
File openLocaleFile(char (&path)[kTextBufferSize], const char* pathTemplate, const char* cwd, const char* locale,
                    off_t maxSize, off_t& size)
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
    const auto intoPage = reinterpret_cast<std::uintptr_t>(block) % static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
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
        const std::string text = toValidUtf8({data.get(), count}, std::numeric_limits<std::int32_t>::max());
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

void readStringLines(std::FILE* file)
{
    // 255 bytes a read: longer lines are taken in pieces, each piece a line of its own.
    char line[256];
    while (std::fgets(line, std::size(line), file))
        applyStringsLine(line);
}

void applyStringsLine(const char* line)
{
    InstallerState& s = installerState;
    const std::pair<const char*, char(&)[kTextBufferSize]> keys[] = {
        {"str_processName", s.str_processName}, {"str_noticeLabel", s.str_noticeLabel},
        {"str_checkButton", s.str_checkButton}, {"str_installButton", s.str_installButton},
        {"str_finishLabel", s.str_finishLabel}, {"str_doneButton", s.str_doneButton},
    };
    for (const auto& [key, destination] : keys) {
        if (!std::strstr(line, key))
            continue;
        // The value starts two bytes past the first "=" and leaves out the line's last
        // byte (its newline); a character that byte cuts short goes with it. A line without
        // that much after the "=" has no value and leaves the key as it was.
        const char* equals = std::strchr(line, '=');
        if (!equals || std::strlen(equals + 1) < 2)
            continue;
        const std::string_view rest(equals + 2);
        storeText(destination, withoutCutCharacter(rest.substr(0, rest.size() - 1), rest.back()));
    }
}

void initialzeLocalStrings()
{
    const char* lang = std::getenv("LANG");
    reportLine(lang ? lang : "");

    char cwd[kTextBufferSize];
    if (!getcwd(cwd, std::size(cwd)))
        return;
    const char* locale = lang ? lang : kFallbackLocale;
    readAgreement(cwd, locale);
    readStrings(cwd, locale);
}
