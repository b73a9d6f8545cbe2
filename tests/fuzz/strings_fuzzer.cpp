// Arbitrary bytes as a strings file. Every text stays NUL-terminated inside its buffer and
// is valid UTF-8; when the file is valid UTF-8, each text is a piece of it but for at most
// three characters at its start: the byte skipped after "=" may fall inside a character,
// whose other bytes are then read one by one as Windows-1252.

#include "installer.h"
#include "resources/locale_resources.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    installerState = {};
    if (std::FILE* file = fmemopen(input.data(), size, "r"))
        readStringLines(file), std::fclose(file);
    const bool isText = g_utf8_validate(input.data(), static_cast<gssize>(size), nullptr);
    const InstallerState& s = installerState;
    for (const char* text : {s.str_processName, s.str_noticeLabel, s.str_checkButton, s.str_installButton,
                             s.str_finishLabel, s.str_doneButton}) {
        const std::size_t length = strnlen(text, kTextBufferSize);
        if (length == kTextBufferSize || !g_utf8_validate(text, static_cast<gssize>(length), nullptr))
            std::abort();
        const char* piece = text;
        for (int skipped = 0; isText && skipped < 3 && input.find(piece) == std::string::npos; ++skipped)
            piece = g_utf8_next_char(piece);
        if (isText && input.find(piece) == std::string::npos)
            std::abort();
    }
    return 0;
}
