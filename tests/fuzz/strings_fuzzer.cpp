// Arbitrary bytes as a strings file (and as text for the fast UTF-8 check, which must
// agree with GLib's), and as one line far longer than any read from a
// file. Every text must stay NUL-terminated inside its buffer, zero past its end and
// valid UTF-8. When the input itself is valid UTF-8 the text is a copy of input bytes,
// but for its first and last characters: the byte skipped after "=", the byte dropped at
// the end and a line cut in 255-byte pieces may each split a character, leaving a stray
// byte that is shown as ISO-8859-1.

#include "installer.h"
#include "resources/locale_resources.h"
#include "resources/utf8_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void check(const char (&text)[kTextBufferSize], std::string_view input, bool inputIsText)
{
    const void* end = std::memchr(text, '\0', kTextBufferSize);
    if (!end)
        std::abort();
    const auto length = static_cast<std::size_t>(static_cast<const char*>(end) - text);
    for (std::size_t i = length; i < kTextBufferSize; ++i)
        if (text[i] != '\0')
            std::abort();
    if (!g_utf8_validate(text, static_cast<gssize>(length), nullptr))
        std::abort();
    const char* last = g_utf8_find_prev_char(text, text + length);
    const char* first = length ? g_utf8_next_char(text) : text;
    const std::string_view copied(first, last && last > first ? static_cast<std::size_t>(last - first) : 0);
    if (inputIsText && input.find(copied) == std::string_view::npos)
        std::abort();
}

void checkAll(std::string_view input)
{
    const bool inputIsText = g_utf8_validate(input.data(), static_cast<gssize>(input.size()), nullptr);
    const InstallerState& s = installerState;
    for (const auto* text : {&s.str_processName, &s.str_noticeLabel, &s.str_checkButton, &s.str_installButton,
                             &s.str_finishLabel, &s.str_doneButton})
        check(*text, input, inputIsText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (isValidUtf8(input) != static_cast<bool>(g_utf8_validate(input.data(), static_cast<gssize>(size), nullptr)))
        std::abort();
    installerState = {};
    if (std::FILE* file = fmemopen(const_cast<char*>(input.data()), input.size(), "r")) {
        readStringLines(file);
        std::fclose(file);
    }
    checkAll(input);

    installerState = {};
    applyStringsLine(input.c_str());
    checkAll(input);
    return 0;
}
