#include "pages/run_failure.h"

#include "resources/control_text.h"

namespace {

bool isNameByte(char byte)
{
    return g_ascii_isalnum(byte) || byte == '.' || byte == '+' || byte == '-';
}

// Whether `line` names the package `name`, as a word of its own: dpkg names a package, or
// an archive whose file name starts with it ("NAME_1.0_i386.deb"), in any language.
bool names(std::string_view line, std::string_view name)
{
    for (std::size_t at = line.find(name); at != std::string_view::npos;
         at = line.find(name, at + 1)) {
        const std::string_view after = line.substr(at + name.size());
        if ((at == 0 || !isNameByte(line[at - 1]))
            && (after.empty() || !isNameByte(after.front()) || after.starts_with(".deb")))
            return true;
    }
    return false;
}

// dpkg's error about `package`: "dpkg: ..." naming it, followed by its reason, indented.
// The line before it that is neither dpkg's nor says which package dpkg works on ("Setting
// up NAME (1.0) ...") is what the package's script wrote; else the reason stands.
std::string wordsAbout(const Words& output, const std::string& package)
{
    for (std::size_t i = 0; i + 1 < output.size(); ++i) {
        if (!output[i].starts_with("dpkg: ") || !output[i + 1].starts_with(' ')
            || !names(output[i], package))
            continue;
        if (i > 0 && !output[i - 1].starts_with("dpkg") && !output[i - 1].starts_with(' ')
            && output[i - 1].find(package + " (") == std::string::npos && !output[i - 1].empty())
            return output[i - 1];
        return output[i + 1].substr(output[i + 1].find_first_not_of(' '));
    }
    return {};
}

}  // namespace

RunFailure readFailure(const RunProgress& progress, const Words& output)
{
    if (!progress.notUnpacked.empty() || !progress.notSetUp.empty()) {
        const bool unpack = !progress.notUnpacked.empty();
        const std::string& package
            = unpack ? progress.notUnpacked.front() : progress.notSetUp.front();
        return {unpack ? RunFailure::Unpack : RunFailure::SetUp, package,
                printable(wordsAbout(output, package))};
    }
    const auto apt = std::find_if(output.begin(), output.end(),
                                  [](const std::string& line) { return line.starts_with("E: "); });
    if (apt != output.end())
        return {RunFailure::Apt, {}, printable(apt->substr(3))};
    return {};
}
