// Arbitrary bytes as an agreement: the fast check agrees with GLib's, the text shown is
// valid UTF-8, also when cut short, and text that was valid already is shown unchanged.

#include "resources/utf8_text.h"

#include <glib.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool isText = g_utf8_validate(input.data(), static_cast<gssize>(size), nullptr);
    const std::string shown = toValidUtf8(input, 3 * size), cut = toValidUtf8(input, size / 2);
    if (isValidUtf8(input) != isText || !g_utf8_validate(shown.data(), static_cast<gssize>(shown.size()), nullptr)
        || (isText && shown != input) || cut.size() > size / 2
        || !g_utf8_validate(cut.data(), static_cast<gssize>(cut.size()), nullptr))
        std::abort();
    return 0;
}
