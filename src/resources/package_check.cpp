#include "resources/package_check.h"

#include "resources/locale_resources.h"
#include "resources/utf8_text.h"

#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <thread>

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

Words lines(std::string_view text, char separator = '\n')
{
    Words result;
    for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find(separator, start), text.size());
        result.emplace_back(text.substr(start, end - start));
    }
    return result;
}

// Whether `path` is a regular file that starts as every Debian package does: an ar archive.
// Only a first sieve, so that a folder, a FIFO, a text or an empty file never reaches the
// tools, which would wait on a FIFO or stop at the first of them.
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

bool contains(const Words& words, std::string_view word)
{
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The package a relation names: "bash" of "bash:any (>= 1.0)".
std::string_view packageOf(std::string_view relation)
{
    return relation.substr(0, relation.find_first_of(" :("));
}

// apt writes Debian's relations << and >> as < and >.
std::string debianRelations(std::string_view relation)
{
    std::string text;
    for (std::size_t i = 0; i < relation.size(); ++i) {
        text += relation[i];
        if ((relation[i] == '<' || relation[i] == '>') && i > 0 && relation[i - 1] == '('
            && relation.substr(i + 1).starts_with(' '))
            text += relation[i];
    }
    return printable(text);
}

// apt names a package of an architecture other than the system's own as NAME:ARCH.
void checkArchitecture(std::string_view name, std::string_view architecture, const Words& accepted,
                       std::vector<PackageProblem>& problems)
{
    name = name.substr(0, name.find(':'));
    if (!architecture.empty() && !contains(accepted, architecture))
        add(problems, {PackageProblem::Architecture, printable(name), printable(architecture)});
}

// A reason stays short: alternatives past this many are left out.
constexpr int kAlternativesShown = 3;

// One dependency in apt's list of unmet ones, with its alternatives, which stand on lines of
// their own after an " or".
struct Unmet {
    std::string subject;
    std::string type;
    std::string targets;
    std::string last;  // the last alternative, and why apt cannot take it
    std::string why;
    int alternatives = 0;
    bool onlyConsequences = true;
};

struct AptInput {
    const Words& accepted;
    const Words& shipped;
};

void readUnmetLine(std::string_view line, const AptInput& set, Unmet& unmet,
                   std::vector<PackageProblem>& problems)
{
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (const std::size_t subject = line.find(" : "); subject != std::string_view::npos) {
        const std::string_view name = line.substr(0, subject);
        const std::size_t colon = name.find(':');
        checkArchitecture(name, colon == std::string_view::npos ? "" : name.substr(colon + 1),
                          set.accepted, problems);
        unmet.subject = printable(name.substr(0, colon));
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
    unmet.last = line.substr(0, but);
    unmet.why = line.substr(std::min(but + 5, line.size()));
    if (unmet.alternatives < kAlternativesShown)
        unmet.targets += (unmet.alternatives ? " | " : "") + debianRelations(unmet.last);
    else if (unmet.alternatives == kAlternativesShown)
        unmet.targets += " | \u2026";
    ++unmet.alternatives;
    // A shipped package that cannot be installed itself: its own line says why.
    unmet.onlyConsequences
        = unmet.onlyConsequences && unmet.why == "it is not going to be installed";
    if (more)
        return;
    const bool shippedSubject = contains(set.shipped, unmet.subject);
    const bool shippedTarget = contains(set.shipped, packageOf(unmet.last));
    std::string_view version(unmet.why);
    const bool versioned
        = version.ends_with(" is to be installed") || version.ends_with(" is installed");
    version = version.substr(0, version.find(" is "));
    if (unmet.type == "Conflicts" || unmet.type == "Breaks")
        add(problems,
            {unmet.type == "Breaks" ? PackageProblem::Breaks : PackageProblem::Conflicts,
             unmet.subject, unmet.targets, "", !shippedSubject, shippedSubject && !shippedTarget});
    else if (unmet.onlyConsequences)
        ;  // the reason stands on the line of the package not going to be installed
    else if (!shippedSubject)
        add(problems, {PackageProblem::Needs, unmet.subject, unmet.targets, "", true});
    else if (unmet.alternatives == 1 && versioned)
        add(problems,
            {shippedTarget ? PackageProblem::ShippedVersion : PackageProblem::TooOld, unmet.targets,
             printable(version)});
    else if (unmet.why.empty() || unmet.targets.find(":any") != std::string::npos)
        add(problems, {PackageProblem::Unsatisfied, unmet.targets});
    else
        add(problems, {PackageProblem::Missing, unmet.targets});
    // Further dependencies of the same package follow on lines without its name.
    std::string subject = std::move(unmet.subject);
    unmet = {};
    unmet.subject = std::move(subject);
}

}  // namespace

bool readAptAnswer(std::string_view output, int status, const Words& accepted, const Words& shipped,
                   const Words& conflicts, std::vector<PackageProblem>& problems, Words& order)
{
    // On a system broken already, apt judges every installed package, not just these.
    if (output.find("--fix-broken") != std::string_view::npos)
        return false;
    const std::size_t known = problems.size();
    const AptInput set{accepted, shipped};
    Words removed;
    bool inUnmetList = false;
    Unmet unmet;
    for (const std::string& line : lines(output)) {
        if (line == "The following packages have unmet dependencies:") {
            inUnmetList = true;
        } else if (inUnmetList && line.starts_with(' ')) {
            readUnmetLine(line, set, unmet, problems);
        } else {
            inUnmetList = false;
            const std::string_view words(line);
            const std::string_view name
                = words.size() > 5 ? words.substr(5, words.find(' ', 5) - 5) : "";
            if (words.starts_with("Inst ")) {
                order.emplace_back(name);
                const std::size_t open = words.rfind('[');
                const std::size_t close = words.find(']', open);
                if (open != std::string_view::npos && close != std::string_view::npos)
                    checkArchitecture(name, words.substr(open + 1, close - open - 1), accepted,
                                      problems);
            } else if (words.starts_with("Remv ")) {
                removed.push_back(printable(name.substr(0, name.find(':'))));
            }
        }
    }
    // apt removes first the installed packages that depend on the one a shipped package
    // conflicts with or breaks: that one is the cause, and the others go with it.
    bool named = false;
    for (const std::string& conflict : conflicts) {
        const std::size_t type = conflict.find(' ');
        const std::size_t other = conflict.find(": ", type);
        if (contains(removed, std::string_view(conflict).substr(other + 2))) {
            add(problems,
                {conflict.substr(type + 1).starts_with("Breaks") ? PackageProblem::Breaks
                                                                 : PackageProblem::Conflicts,
                 conflict.substr(0, type), conflict.substr(other + 2), "", false, true});
            named = true;
        }
    }
    for (const std::string& package : removed)
        if (!named)
            add(problems, {PackageProblem::Conflict, package});
    return status == 0 || problems.size() > known;
}

namespace {

// One entry of the list that is a package, as dpkg-deb reads it.
struct Entry {
    std::string path;  // as listed
    std::string real;  // its real path: what the tools are given
    std::string shown;  // its file name, printable
    std::string name;  // its Package field
    std::map<std::string, std::string, std::less<>> fields;
    Words files;  // what it installs but directories, which packages share
    std::optional<PackageProblem> problem;
};

constexpr std::array<const char*, 6> kFields{"Package",   "Depends", "Pre-Depends",
                                             "Conflicts", "Breaks",  "Replaces"};

// The last line of `text`, without the blanks it starts with.
std::string lastLine(std::string_view text)
{
    const Words all = lines(text);
    std::string line = all.empty() ? std::string() : all.back();
    return line.erase(0, line.find_first_not_of(' '));
}

// The package names a relation field lists, versions, qualifiers and alternatives aside.
Words namesIn(std::string_view field)
{
    Words names;
    for (std::size_t start = 0; start < field.size();) {
        start = field.find_first_not_of(" \n,|", start);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(field.find_first_of(",|", start), field.size());
        names.emplace_back(packageOf(field.substr(start, end - start)));
        start = end;
    }
    return names;
}

bool replaces(const Entry& entry, std::string_view other)
{
    const auto field = entry.fields.find("Replaces");
    return field != entry.fields.end() && contains(namesIn(field->second), other);
}

// Reads an entry's control fields and the files it installs. A control file that dpkg-deb
// cannot parse is a package dpkg refuses; an archive it cannot read (a truncated download)
// is no package at all.
void readEntry(Entry& entry, const char* scratch)
{
    std::string output;
    Words args = {"dpkg-deb", "-f", entry.real};
    args.insert(args.end(), kFields.begin(), kFields.end());
    if (runTool(args, scratch, output) != 0) {
        entry.problem = output.find("parsing file") != std::string::npos
            ? PackageProblem{PackageProblem::Dpkg, entry.shown, printable(lastLine(output))}
            : PackageProblem{PackageProblem::NotAPackage, entry.shown};
        return;
    }
    std::string* value = nullptr;
    for (const std::string& line : lines(output)) {
        const std::size_t colon = line.find(": ");
        if (line.starts_with(' ') && value)
            value->append("\n" + line);
        else if (colon != std::string::npos)
            value = &(entry.fields[line.substr(0, colon)] = line.substr(colon + 2));
    }
    entry.name = entry.fields["Package"];
    // dpkg cannot satisfy a relation to NAME:native, which only source packages may use.
    for (const char* field : {"Depends", "Pre-Depends"})
        if (entry.fields[field].find(":native") != std::string::npos)
            entry.problem = {PackageProblem::Dpkg, entry.shown,
                             std::string(field) + " names a package with :native"};
    if (runTool({"dpkg-deb", "-c", entry.real}, scratch, output) != 0) {
        entry.problem = {PackageProblem::NotAPackage, entry.shown};
        return;
    }
    // "-rw-r--r-- root/root 6 2026-12-07 16:00 ./opt/tool/file", with " -> TARGET" after a
    // symbolic link and " link to PATH" after a hard link.
    for (const std::string& line : lines(output)) {
        const std::size_t path = line.find(" ./");
        if (line.starts_with('d') || path == std::string::npos)
            continue;
        std::string file = line.substr(path + 2);
        if (line.starts_with('l') || line.starts_with('h'))
            file.resize(
                std::min(file.find(line.starts_with('l') ? " -> " : " link to "), file.size()));
        entry.files.push_back(file);
    }
}

// Runs `work` for each index below `count` on a few threads: the tools each entry needs run
// side by side, as the machine's cores allow.
template <typename Work> void inParallel(std::size_t count, Work work)
{
    std::atomic<std::size_t> next = 0;
    std::vector<std::thread> threads(
        std::min(count, std::size_t{2} * std::max(1U, std::thread::hardware_concurrency())));
    for (std::thread& thread : threads)
        thread = std::thread([&] {
            for (std::size_t i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread& thread : threads)
        thread.join();
}

// Packages dpkg has not fully installed (unpacked, half configured, awaiting triggers, or
// needing to be installed again): until an administrator repairs them, dpkg and apt would
// judge them with every new package.
std::string notFullyInstalled(const char* scratch)
{
    std::string output;
    if (runTool({"dpkg-query", "-W", "-f", "${db:Status-Abbrev}${binary:Package}\n"}, scratch,
                output)
        != 0)
        return {};
    std::string names;
    for (const std::string& line : lines(output))
        if (line.size() > 3
            && (std::string_view("inc").find(line[1]) == std::string::npos || line[2] == 'R'))
            names += (names.empty() ? "" : ", ") + printable(line.substr(3));
    return names;
}

// A file that two packages of the set contain, or that an installed package contains,
// stops dpkg, unless the package that brings it replaces the other. Directories are shared,
// a diverted file goes elsewhere, and a package may replace an older version of itself.
void findSameFiles(const std::vector<Entry>& entries, std::string_view owners,
                   std::vector<PackageProblem>& problems)
{
    std::map<std::string_view, const Entry*> shippedBy;
    for (const Entry& entry : entries)
        for (const std::string& file : entry.files)
            if (const auto [first, added] = shippedBy.emplace(file, &entry); !added
                && first->second->name != entry.name && !replaces(entry, first->second->name)
                && !replaces(*first->second, entry.name))
                add(problems,
                    {PackageProblem::SameFile, std::min(first->second->name, entry.name),
                     std::max(first->second->name, entry.name), printable(file)});
    const auto isDiversion = [](const std::string& line) {
        return line.starts_with("diversion by ") || line.starts_with("local diversion ");
    };
    std::set<std::string, std::less<>> diverted;
    for (const std::string& line : lines(owners))
        if (isDiversion(line))
            diverted.insert(line.substr(line.find(": ") + 2));
    for (const std::string& line : lines(owners)) {
        const std::size_t colon = line.find(": ");
        const auto shipped = colon == std::string::npos || isDiversion(line)
            ? shippedBy.end()
            : shippedBy.find(std::string_view(line).substr(colon + 2));
        if (shipped == shippedBy.end() || diverted.contains(shipped->first))
            continue;
        for (const std::string& owner : namesIn(std::string_view(line).substr(0, colon)))
            if (!replaces(*shipped->second, owner)
                && std::none_of(entries.begin(), entries.end(),
                                [&](const Entry& entry) { return entry.name == owner; }))
                add(problems,
                    {PackageProblem::SameFile, shipped->second->name, owner,
                     printable(shipped->first), false, true});
    }
}

// What `dpkg --dry-run -i` refuses: "dpkg: error processing archive PATH (--install):" and
// indented lines saying why, after a pre-dependency problem " NAME pre-depends on OTHER".
void readDryRun(std::string_view output, const std::vector<Entry>& entries,
                std::vector<PackageProblem>& problems)
{
    constexpr std::string_view kError = "dpkg: error processing archive ";
    const Words all = lines(output);
    std::string preDepends;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& line = all[i];
        if (const std::size_t on = line.find(" pre-depends on "); on != std::string::npos) {
            preDepends = line;
            add(problems,
                {PackageProblem::PreDepends, printable(packageOf(line.substr(1))),
                 debianRelations(line.substr(on + 16))});
        }
        if (!line.starts_with(kError))
            continue;
        const std::string path = line.substr(kError.size(), line.rfind(" (") - kError.size());
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const Entry& e) { return e.real == path; });
        std::string why;
        for (std::size_t next = i + 1;
             why.empty() && next < all.size() && all[next].starts_with(' '); ++next)
            if (!all[next].starts_with(" parsing file"))
                why = all[next].substr(1);
        // "installing app would break lib, and" goes on with what dpkg was not allowed to do.
        std::string_view reason(why);
        for (const std::string_view end : {" and", ",", ":"})
            if (reason.ends_with(end))
                reason.remove_suffix(end.size());
        // Conflicts and breaks depend on the order in which dpkg unpacks, which a dry run
        // does not follow: apt's plan, which dpkg gets, has the last word on them.
        if (preDepends.empty() && reason.find("conflicting packages") == std::string::npos
            && reason.find(" would break ") == std::string::npos)
            add(problems,
                {PackageProblem::Dpkg, entry == entries.end() ? printable(path) : entry->shown,
                 printable(reason)});
        preDepends.clear();
    }
}

// An installed package that apt would remove, but no shipped package conflicts with or
// breaks, goes because it needs a shipped package in another version: its own relation to
// it says so.
void explainRemovals(std::vector<PackageProblem>& problems, const Words& shipped,
                     const char* scratch)
{
    Words query = {"dpkg-query", "-W", "-f", "${Package}\t${Depends}, ${Pre-Depends}\n"};
    for (const PackageProblem& problem : problems)
        if (problem.kind == PackageProblem::Conflict)
            query.push_back(problem.name);
    std::string output;
    if (query.size() == 4 || runTool(query, scratch, output) != 0)
        return;
    for (const std::string& line : lines(output)) {
        const std::size_t tab = line.find('\t');
        const auto problem = std::find_if(problems.begin(), problems.end(), [&](const auto& p) {
            return p.kind == PackageProblem::Conflict && p.name == line.substr(0, tab);
        });
        for (std::size_t start = tab + 1; problem != problems.end() && start < line.size();) {
            const std::size_t end = std::min(line.find(", ", start), line.size());
            const std::string_view relation = std::string_view(line).substr(start, end - start);
            if (contains(shipped, packageOf(relation)))
                *problem = {PackageProblem::Needs, problem->name, printable(relation), "", true};
            start = end + 2;
        }
    }
}

// apt-get asked to simulate, never locking, writing only to `directory`: with the
// system's package sources and their lists as they are when `sources`, else with the
// installed packages alone.
Words aptSimulation(const std::string& directory, bool sources)
{
    Words options = {"Debug::NoLocking=true",    "Dir::Cache=" + directory, "Dir::Cache::pkgcache=",
                     "Dir::Cache::srcpkgcache=", "Dir::Log=" + directory,   "Dir::Log::Planner="};
    if (!sources)
        options.insert(options.end(),
                       {"Dir::Etc::SourceList=" + directory + "/sources.list",
                        "Dir::Etc::SourceParts=" + directory, "Dir::State::Lists=" + directory});
    Words apt = {"apt-get", "-s", "-q"};
    for (const std::string& option : options)
        apt.insert(apt.end(), {"-o", option});
    return apt;
}

// When only dependencies stand in the way, and perhaps an architecture that this machine
// runs: that architecture, or "" for none. Only i386 beside amd64 is certain to run; other
// pairs depend on the processor.
std::optional<std::string> onlyWanting(const std::vector<PackageProblem>& problems,
                                       std::string_view native)
{
    std::string architecture;
    for (const PackageProblem& problem : problems) {
        if (problem.kind == PackageProblem::Architecture && native == "amd64"
            && problem.detail == "i386")
            architecture = problem.detail;
        else if (problem.kind != PackageProblem::Missing && problem.kind != PackageProblem::TooOld
                 && problem.kind != PackageProblem::Unsatisfied)
            return std::nullopt;
    }
    return architecture;
}

// What apt would install from the package sources with the shipped packages (`links`),
// accepting `architecture` too when it is set, as the plan would run it.
std::optional<SourcesPlan> planFromSources(const AptInput& set, const Words& conflicts,
                                           const Words& links, const std::string& architecture,
                                           const std::string& directory)
{
    Words apt = aptSimulation(directory, true);
    Words accepted = set.accepted;
    if (!architecture.empty()) {
        accepted.push_back(architecture);
        for (const std::string& name : accepted)
            if (name != "all")
                apt.insert(apt.end(), {"-o", "APT::Architectures::=" + name});
    }
    const Words options = lines(kPlanOptions, ' ');
    apt.insert(apt.end(), options.begin(), options.end());
    apt.emplace_back("install");
    apt.insert(apt.end(), links.begin(), links.end());
    std::string output;
    const int status = runTool(apt, directory.c_str(), output);
    std::vector<PackageProblem> problems;
    Words planned;
    if (status < 0
        || !readAptAnswer(output, status, accepted, set.shipped, conflicts, problems, planned))
        return std::nullopt;
    SourcesPlan plan{architecture, {}};
    for (const PackageProblem& problem : problems) {
        // The lists of an architecture not yet accepted come only with an update: until
        // then, what it needs is not installable.
        if (architecture.empty() || problem.kind != PackageProblem::Missing
            || problem.name.find(":" + architecture) == std::string::npos)
            return std::nullopt;
        plan.packages.push_back(problem.name.substr(0, problem.name.find(" (")));
    }
    // apt names what it would install only when nothing is missing.
    for (const std::string& name : planned)
        if (!contains(set.shipped, packageOf(name)))
            plan.packages.push_back(printable(name));
    std::sort(plan.packages.begin(), plan.packages.end());
    return plan;
}

std::string entryName(const char* path)
{
    gchar* name = g_path_get_basename(path);
    std::string shown = printable(name);
    g_free(name);
    return shown;
}

// dpkg-query takes a path as a pattern, in which *, ?, [ and \ are special.
std::string asPattern(std::string_view path)
{
    std::string pattern;
    for (const char byte : path)
        pattern.append(std::string_view("*?[\\").find(byte) == std::string_view::npos ? "" : "\\")
            .push_back(byte);
    return pattern;
}

}  // namespace

std::optional<CheckAnswer> checkPackages(const std::string& list)
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

    CheckAnswer answer;
    std::vector<PackageProblem>& problems = answer.problems;
    std::string native;
    std::string foreign;
    if (runTool({"dpkg", "--print-architecture"}, scratch.get(), native) != 0
        || runTool({"dpkg", "--print-foreign-architectures"}, scratch.get(), foreign) != 0)
        return std::nullopt;
    if (const std::string broken = notFullyInstalled(scratch.get()); !broken.empty())
        return CheckAnswer{{{PackageProblem::Broken, broken}}, {}, {}};
    std::vector<Entry> entries;
    for (std::size_t i = 0; paths.get()[i]; ++i) {
        const char* path = paths.get()[i];
        char* real = realpath(path, nullptr);
        if (real && isArArchive(real)) {
            Entry& entry = entries.emplace_back();
            entry.path = path;
            entry.real = real;
            entry.shown = entryName(path);
        } else {
            add(problems, {PackageProblem::NotAPackage, entryName(path)});
        }
        std::free(real);  // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    }
    inParallel(entries.size(), [&](std::size_t i) { readEntry(entries[i], scratch.get()); });
    for (const Entry& entry : entries)
        if (entry.problem)
            add(problems, *entry.problem);
    std::erase_if(entries, [](const Entry& entry) { return entry.problem.has_value(); });
    if (entries.empty())
        return answer;

    // apt takes a file only by a name ending in ".deb": it gets a link of that name to each.
    Words links;
    Words query = {"dpkg-query", "-S"};
    Words shipped;
    Words conflicts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string link = directory + "/" + std::to_string(i) + ".deb";
        if (symlink(entries[i].real.c_str(), link.c_str()) != 0)
            return std::nullopt;
        links.push_back(link);
        shipped.push_back(printable(entries[i].name));
        for (const std::string type : {"Conflicts", "Breaks"}) {
            const Words others = namesIn(entries[i].fields[type]);
            std::transform(others.begin(), others.end(), std::back_inserter(conflicts),
                           [&](const std::string& other) {
                               return shipped.back() + " " + type + ": " + printable(other);
                           });
        }
        std::transform(entries[i].files.begin(), entries[i].files.end(), std::back_inserter(query),
                       asPattern);
    }
    if (!g_file_set_contents((directory + "/sources.list").c_str(), "", 0, nullptr))
        return std::nullopt;
    std::string aptOutput;
    std::string owners;
    int aptStatus = -1;
    int queryStatus = 0;
    Words apt = aptSimulation(directory, false);
    apt.emplace_back("install");
    apt.insert(apt.end(), links.begin(), links.end());
    inParallel(2, [&](std::size_t i) {
        if (i == 0)
            aptStatus = runTool(apt, scratch.get(), aptOutput);
        else if (query.size() > 2)
            queryStatus = runTool(query, scratch.get(), owners);
    });
    // dpkg-query ends with 1 when some file belongs to no package.
    if (queryStatus < 0 || queryStatus > 1)
        return std::nullopt;
    findSameFiles(entries, owners, problems);

    Words planned;
    const Words accepted = lines(native + foreign + "all");
    const bool understood
        = readAptAnswer(aptOutput, aptStatus, accepted, shipped, conflicts, problems, planned);
    explainRemovals(problems, shipped, scratch.get());
    // The order of apt's plan, which dpkg can take in one run; packages apt does not
    // mention (a version installed already) keep theirs, after the others.
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const auto rank = [&](const Entry& entry) {
            return std::find_if(planned.begin(), planned.end(),
                                [&](const std::string& name) {
                                    return name.substr(0, name.find(':')) == entry.name;
                                })
                - planned.begin();
        };
        return rank(a) < rank(b);
    });
    std::transform(entries.begin(), entries.end(), std::back_inserter(answer.order),
                   [](const Entry& entry) { return entry.path; });
    if (!problems.empty()) {
        const AptInput set{accepted, shipped};
        if (const auto architecture = onlyWanting(problems, accepted.front());
            understood && architecture)
            answer.plan = planFromSources(set, conflicts, links, *architecture, directory);
        return answer;
    }

    // dpkg's dry run costs some ten milliseconds a package: it is asked about the packages
    // with pre-dependencies, which one run of dpkg cannot always meet, and about all of
    // them when apt's answer could not be read.
    Words dryRun = {"dpkg", "--dry-run", "--log=/dev/null", "-i"};
    for (Entry& entry : entries)
        if (!understood || !entry.fields["Pre-Depends"].empty())
            dryRun.push_back(entry.real);
    std::string dpkgOutput;
    const int dpkgStatus = dryRun.size() == 4 ? 0 : runTool(dryRun, scratch.get(), dpkgOutput);
    readDryRun(dpkgOutput, entries, problems);
    // A dry run's refusals for conflicts and breaks alone leave apt's answer standing.
    if (dpkgStatus < 0 || (!understood && problems.empty()))
        return std::nullopt;
    return answer;
}

std::string printable(std::string_view name)
{
    std::string text = toValidUtf8(name, name.size() * 3);
    std::replace_if(
        text.begin(), text.end(),
        [](char byte) { return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F; }, '?');
    return text;
}
