#include "resources/package_check.h"

#include "resources/locale_resources.h"
#include "resources/utf8_text.h"

#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>

namespace {

struct StrvFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};

// The check's scratch directory, removed with all that the tools left in it.
struct ScratchRemover {
    void operator()(gchar* path) const
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        g_free(path);
    }
};
using Scratch = std::unique_ptr<gchar, ScratchRemover>;

using Words = std::vector<std::string>;

// Runs `args`, looked up on PATH, in `scratch`, with temporary files there, and in the C
// locale, whose messages are read; nothing else of this process's environment is passed,
// so no setting of the user's can change what the tools answer. Returns the exit code, -1
// when the tool could not run; `output` gets what it wrote, standard error last.
int runTool(const Words& args, const char* scratch, std::string& output)
{
    std::vector<gchar*> argv(args.size() + 1);
    std::transform(args.begin(), args.end(), argv.begin(),
                   [](const std::string& arg) { return const_cast<gchar*>(arg.c_str()); });
    const char* path = std::getenv("PATH");
    const std::string pathVariable = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
    const std::string tmpVariable = std::string("TMPDIR=") + scratch;
    std::array<gchar*, 4> environment{const_cast<gchar*>("LC_ALL=C"),
                                      const_cast<gchar*>(pathVariable.c_str()),
                                      const_cast<gchar*>(tmpVariable.c_str()), nullptr};
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    if (!g_spawn_sync(scratch, argv.data(), environment.data(), G_SPAWN_SEARCH_PATH_FROM_ENVP,
                      nullptr, nullptr, &out, &err, &status, nullptr))
        return -1;
    output = std::string(out) + err;
    g_free(out);
    g_free(err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Words lines(std::string_view text)
{
    Words result;
    for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        result.emplace_back(text.substr(start, end - start));
    }
    return result;
}

// Whether `path` is a regular file that starts as every Debian package does: an ar archive.
// Only a first sieve, so that a folder, a FIFO, a text or an empty file never reaches apt,
// which would stop at the first of them.
bool isArArchive(const char* path)
{
    off_t size = 0;
    const File file = openRegularFile(path, std::numeric_limits<off_t>::max(), size);
    constexpr std::string_view kMagic = "!<arch>\n";
    char start[kMagic.size()];
    return file && std::fread(start, 1, std::size(start), file.get()) == std::size(start)
        && std::string_view(start, std::size(start)) == kMagic;
}

void add(std::vector<PackageProblem>& problems, PackageProblem problem)
{
    if (std::find(problems.begin(), problems.end(), problem) == problems.end())
        problems.push_back(std::move(problem));
}

// apt names a package of an architecture other than the system's own as NAME:ARCH.
void checkArchitecture(std::string_view name, std::string_view architecture, const Words& accepted,
                       std::vector<PackageProblem>& problems)
{
    name = name.substr(0, name.find(':'));
    if (!architecture.empty()
        && std::find(accepted.begin(), accepted.end(), architecture) == accepted.end())
        add(problems, {PackageProblem::Architecture, printable(name), printable(architecture)});
}

// One dependency in apt's list of unmet ones, with its alternatives, which stand on lines of
// their own after an " or".
struct Unmet {
    std::string type;
    std::string targets;
    std::string why;
    int alternatives = 0;
    bool onlyConsequences = true;
};

void readUnmetLine(std::string_view line, const Words& accepted, Unmet& unmet,
                   std::vector<PackageProblem>& problems)
{
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (const std::size_t subject = line.find(" : "); subject != std::string_view::npos) {
        const std::string_view name = line.substr(0, subject);
        const std::size_t colon = name.find(':');
        checkArchitecture(name, colon == std::string_view::npos ? "" : name.substr(colon + 1),
                          accepted, problems);
        line.remove_prefix(subject + 3);
    }
    for (const std::string_view type : {"PreDepends: ", "Depends: ", "Conflicts: ", "Breaks: "}) {
        if (line.starts_with(type)) {
            unmet.type = type.substr(0, type.size() - 2);
            line.remove_prefix(type.size());
        }
    }
    const bool more = line.ends_with(" or");
    line = line.substr(0, line.size() - (more ? 3 : 0));
    const std::size_t but = std::min(line.find(" but "), line.size());
    const std::string_view target = line.substr(0, but);
    unmet.why = line.substr(std::min(but + 5, line.size()));
    unmet.targets += (unmet.alternatives++ ? " | " : "") + printable(target);
    // A shipped package that cannot be installed itself: its own line says why.
    unmet.onlyConsequences
        = unmet.onlyConsequences && unmet.why == "it is not going to be installed";
    if (more)
        return;
    std::string_view version = unmet.why;
    const bool installed
        = version.ends_with(" is to be installed") || version.ends_with(" is installed");
    version = version.substr(0, version.find(" is "));
    if (unmet.type == "Conflicts" || unmet.type == "Breaks")
        add(problems, {PackageProblem::Conflict, printable(target.substr(0, target.find(' ')))});
    else if (unmet.alternatives == 1 && installed)
        add(problems, {PackageProblem::TooOld, unmet.targets, printable(version)});
    else if (!unmet.onlyConsequences)
        add(problems, {PackageProblem::Missing, unmet.targets});
    unmet = {};
}

// Reads what `apt-get -s install` printed: the packages it would install (with their
// architecture) and remove, and the dependencies it found unmet. Returns whether that is an
// answer: a plan, or a refusal with a reason found.
bool readSimulation(const std::string& output, int status, const Words& accepted,
                    std::vector<PackageProblem>& problems)
{
    // On a system broken already, apt judges every installed package, not just these.
    if (output.find("--fix-broken") != std::string::npos)
        return false;
    const std::size_t known = problems.size();
    bool inUnmetList = false;
    Unmet unmet;
    for (const std::string& line : lines(output)) {
        if (line == "The following packages have unmet dependencies:") {
            inUnmetList = true;
        } else if (inUnmetList && line.starts_with(' ')) {
            readUnmetLine(line, accepted, unmet, problems);
        } else {
            inUnmetList = false;
            const std::string_view words(line);
            const auto name = [&] { return words.substr(5, words.find(' ', 5) - 5); };
            if (words.starts_with("Inst ")) {
                const std::size_t open = words.rfind('[');
                const std::size_t close = words.find(']', open);
                if (open != std::string_view::npos && close != std::string_view::npos)
                    checkArchitecture(name(), words.substr(open + 1, close - open - 1), accepted,
                                      problems);
            } else if (words.starts_with("Remv ")) {
                add(problems, {PackageProblem::Conflict, printable(name())});
            }
        }
    }
    return status == 0 || problems.size() > known;
}

std::string entryName(const char* path)
{
    gchar* name = g_path_get_basename(path);
    std::string shown = printable(name);
    g_free(name);
    return shown;
}

}  // namespace

std::optional<std::vector<PackageProblem>> checkPackages(const std::string& list)
{
    gchar** parsed = nullptr;
    if (!g_shell_parse_argv(list.c_str(), nullptr, &parsed, nullptr))
        return std::nullopt;
    const std::unique_ptr<gchar*, StrvFree> paths(parsed);
    gchar* made = g_dir_make_tmp("installer-check-XXXXXX", nullptr);
    const Scratch scratch(made ? g_canonicalize_filename(made, nullptr) : nullptr);
    g_free(made);
    if (!scratch)
        return std::nullopt;
    const std::string directory = scratch.get();

    // apt takes a file only by a name ending in ".deb": it gets a link of that name to each
    // entry's real path, which is the name it uses when it reports one it cannot read.
    std::vector<PackageProblem> problems;
    std::vector<std::pair<std::string, const char*>> links;  // the link's target and the entry
    Words args = {"apt-get", "-s", "-q", "-o", "Debug::NoLocking=true",
                  // The installed packages alone: no package sources, no lists, no caches.
                  "-o", "Dir::Etc::SourceList=" + directory + "/sources.list", "-o",
                  "Dir::Etc::SourceParts=" + directory, "-o", "Dir::State::Lists=" + directory,
                  "-o", "Dir::Cache=" + directory, "-o", "Dir::Cache::pkgcache=", "-o",
                  "Dir::Cache::srcpkgcache=", "-o", "Dir::Log=" + directory, "-o",
                  "Dir::Log::Planner=", "install"};
    for (std::size_t i = 0; paths.get()[i]; ++i) {
        const char* path = paths.get()[i];
        const std::string link = directory + "/" + std::to_string(i) + ".deb";
        char* real = realpath(path, nullptr);
        if (real && isArArchive(real) && symlink(real, link.c_str()) == 0) {
            links.emplace_back(real, path);
            args.push_back(link);
        } else {
            add(problems, {PackageProblem::NotAPackage, entryName(path)});
        }
        std::free(real);  // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    }
    if (links.empty())
        return problems;  // not one package: nothing more to ask
    if (!g_file_set_contents((directory + "/sources.list").c_str(), "", 0, nullptr))
        return std::nullopt;

    std::string native;
    std::string foreign;
    if (runTool({"dpkg", "--print-architecture"}, scratch.get(), native) != 0
        || runTool({"dpkg", "--print-foreign-architectures"}, scratch.get(), foreign) != 0)
        return std::nullopt;
    Words accepted = lines(native + foreign);
    accepted.emplace_back("all");

    // apt stops at the first package it cannot read, and names it: that one is left out and
    // apt asked again, a few times at most.
    constexpr std::string_view kUnreadable = "Could not read meta data from ";
    std::string output;
    int status = -1;
    while (!links.empty()) {
        status = runTool(args, scratch.get(), output);
        const std::size_t at = output.find(kUnreadable);
        if (status < 0 || at == std::string::npos)
            break;
        const std::string_view rest = std::string_view(output).substr(at + kUnreadable.size());
        const std::string_view unreadable = rest.substr(0, rest.find('\n'));
        const auto entry = std::find_if(links.begin(), links.end(),
                                        [&](const auto& link) { return link.first == unreadable; });
        if (entry == links.end())
            return std::nullopt;
        add(problems, {PackageProblem::NotAPackage, entryName(entry->second)});
        args.erase(args.end() - static_cast<std::ptrdiff_t>(links.size())
                   + (entry - links.begin()));
        links.erase(entry);
        if (problems.size() >= kMaxProblems)
            return problems;
    }
    if (!links.empty() && !readSimulation(output, status, accepted, problems) && problems.empty())
        return std::nullopt;
    return problems;
}

std::string printable(std::string_view name)
{
    std::string text = toValidUtf8(name, name.size() * 3);
    std::replace_if(
        text.begin(), text.end(),
        [](char byte) { return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F; }, '?');
    return text;
}
