// Arbitrary directory entry names appended to a package list: the list must never pass
// its buffer, hold only whole entries, and read back, word by word as the POSIX shell
// splits and unquotes it, as exactly the paths that were accepted. Every 256th input
// with a list is also read back by the real /bin/sh.
// Input: a directory path, then entry names, separated by NUL bytes.

#include "installer.h"
#include "resources/package_discovery.h"
#include "support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The words the POSIX shell makes of `text`, for the constructs the list uses:
// single quotes, backslash escapes and blanks between words.
std::vector<std::string> shellWords(const char* text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\n') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else if (*p == '\'') {
            const char* close = std::strchr(p + 1, '\'');
            if (!close)
                std::abort();  // an unterminated quote would make the shell fail
            word.append(p + 1, close);
            p = close;
            inWord = true;
        } else if (*p == '\\' && p[1]) {
            word += *++p;
            inWord = true;
        } else if (std::strchr("\"`$;&|<>()*?[#~", *p)) {
            std::abort();  // unquoted, the shell would read this byte as syntax
        } else {
            word += *p;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = input.find('\0', start);
        parts.push_back(input.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    char list[kTextBufferSize] = {};
    std::size_t used = 0;
    std::vector<std::string> accepted;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t before = used;
        if (appendPackageEntry(list, used, parts[0], parts[i]))
            accepted.push_back(parts[0] + "/" + parts[i]);
        else if (used != before)
            std::abort();
        if (used >= kTextBufferSize || std::strlen(list) != used)
            std::abort();
    }
    if (shellWords(list) != accepted)
        std::abort();
    static unsigned lists = 0;
    if (!accepted.empty() && ++lists % 256 == 0 && shellWordsOf(list) != accepted)
        std::abort();
    return 0;
}
