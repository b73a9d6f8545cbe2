#include "resources/list_fetch.h"

#include "resources/control_text.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// apt-config shell writes NAME='VALUE' lines; a value with a quote of its own is not read.
std::optional<std::string> shellValue(const std::string& line, std::string_view name)
{
    const std::string start = std::string(name) + "='";
    if (!line.starts_with(start) || !line.ends_with('\'') || line.size() <= start.size())
        return std::nullopt;
    std::string value = line.substr(start.size(), line.size() - start.size() - 1);
    if (value.find('\'') != std::string::npos)
        return std::nullopt;
    return value;
}

// Links in `to` to each list in `from`, apt's lock and working directories aside.
bool linkLists(const std::string& from, const std::string& to, std::string& why)
{
    std::error_code error;
    std::filesystem::create_directories(to + "partial", error);
    for (const auto& entry : std::filesystem::directory_iterator(from, error)) {
        const std::string name = entry.path().filename();
        if (name == "lock" || name == "partial" || name == "auxfiles")
            continue;
        if (symlink(entry.path().c_str(), (to + name).c_str()) != 0) {
            why = "cannot link ";
            why.append(to).append(name).append(": ").append(std::strerror(errno));
            return false;
        }
    }
    if (error)
        why = "cannot read " + from + ": " + error.message();
    return !error;
}

}  // namespace

std::optional<AptPlaces> aptPlaces(const std::string& scratch, std::string& why)
{
    const Words config = {"apt-config", "shell",
                          "L",          "Dir::State::lists/d",
                          "C",          "Dir::Cache::srcpkgcache/f",
                          "A",          "Dir::Cache::archives/d",
                          "E",          "Dir::State::extended_states/f"};
    const ToolRun run = runTool(config, scratch);
    const Words values = lines(run.output);
    AptPlaces places;
    std::string* const fields[]
        = {&places.lists, &places.sourceCache, &places.archives, &places.extendedStates};
    const char* const names[] = {"L", "C", "A", "E"};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        const auto value = i < values.size() ? shellValue(values[i], names[i]) : std::nullopt;
        if (!run.exitedWith(0) || !value) {
            why = run.exitedWith(0) ? "apt-config's answer could not be read"
                                    : toolFailure(config, run);
            return std::nullopt;
        }
        *fields[i] = *value;
    }
    return places;
}

std::optional<Words> fetchLists(const AptPlaces& places, const Words& accepted,
                                const std::string& architecture, const std::string& scratch,
                                std::string& why)
{
    const std::string lists = scratch + "/lists/";
    if (!linkLists(places.lists, lists, why))
        return std::nullopt;
    Words options = {"-o", "Dir::State::Lists=" + lists};
    for (const std::string& name : accepted)
        if (name != "all")
            options.insert(options.end(), {"-o", "APT::Architectures::=" + name});
    options.insert(options.end(), {"-o", "APT::Architectures::=" + architecture});
    Words update = {"apt-get",
                    "update",
                    "-q",
                    "-o",
                    "Debug::NoLocking=true",
                    "-o",
                    "Dir::Cache=" + scratch,
                    "-o",
                    "Dir::Log=" + scratch,
                    "-o",
                    "APT::Update::Error-Mode=any"};
    update.insert(update.end(), options.begin(), options.end());
    const ToolRun run = runTool(update, scratch, true);
    if (!run.exitedWith(0)) {
        why = toolFailure(update, run);
        return std::nullopt;
    }
    return options;
}
