// Arbitrary bytes as an agreement: the fast check agrees with GLib's, the text shown is
// valid UTF-8, also when cut short, and text that was valid already is shown unchanged.

#include "resources/utf8_text.h"

#include <glib.h>

#include <cstdint>
#include <cstdlib>

namespace {

bool valid(std::string_view text)
{
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string shown = toValidUtf8(input, 3 * size);
    const std::string cut = toValidUtf8(input, size / 2);
    if (isValidUtf8(input) != valid(input) || !valid(shown) || (valid(input) && shown != input)
        || cut.size() > size / 2 || !valid(cut))
        std::abort();
    return 0;
}
