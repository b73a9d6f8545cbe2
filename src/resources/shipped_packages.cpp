#include "resources/shipped_packages.h"

#include "resources/control_text.h"
#include "resources/locale_resources.h"

#include <array>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace {

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

std::string entryName(const std::string& path)
{
    gchar* name = g_path_get_basename(path.c_str());
    std::string shown = printable(name);
    g_free(name);
    return shown;
}

constexpr std::array<const char*, 10> kFields{
    "Package",     "Version",   "Architecture", "Multi-Arch", "Depends",
    "Pre-Depends", "Conflicts", "Breaks",       "Replaces",   "Provides"};

// The last line of `text`, without the blanks it starts with.
std::string lastLine(std::string_view text)
{
    const Words all = lines(text);
    std::string line = all.empty() ? std::string() : all.back();
    return line.erase(0, line.find_first_not_of(' '));
}

// The fields of a control file, as the file or dpkg-deb -f has them: each field's name as
// dpkg spells it, whatever the case, and its value, continuation lines and all.
void readFields(ShippedPackage& package, std::string_view text)
{
    std::string* value = nullptr;
    for (const std::string& line : lines(text)) {
        const std::size_t colon = line.find(':');
        if ((line.starts_with(' ') || line.starts_with('\t')) && value) {
            value->append("\n" + line);
        } else if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (const char* field : kFields)
                if (g_ascii_strcasecmp(field, name.c_str()) == 0)
                    name = field;
            const std::size_t start = line.find_first_not_of(" \t", colon + 1);
            value = &(package.fields[name]
                      = start == std::string::npos ? std::string() : line.substr(start));
        }
    }
    for (const char* field : kFields) {
        std::string& entry = package.fields[field];  // absent fields are empty
        entry.erase(entry.find_last_not_of(" \t\r") + 1);
    }
    package.name = package.fields["Package"];
}

// dpkg-deb's word on a package's control file, which it cannot parse (a package dpkg
// refuses), or which is not there (no package at all); or its fields.
void askDpkgDeb(ShippedPackage& package, const std::string& scratch)
{
    Words args = {"dpkg-deb", "-f", package.real};
    args.insert(args.end(), kFields.begin(), kFields.end());
    ToolRun run = runTool(args, scratch);
    if (run.exitedWith(0))
        readFields(package, run.output);
    else
        package.problem = run.output.find("parsing file") != std::string::npos
            ? PackageProblem{PackageProblem::Dpkg, package.shown, printable(lastLine(run.output))}
            : PackageProblem{PackageProblem::NotAPackage, package.shown};
}

// Reads a package's control file and the files it installs, in-process. An archive that
// cannot be read (a truncated download) is no package at all.
void readPackage(ShippedPackage& package)
{
    const auto multiArchSame = [&](std::string_view control) {
        readFields(package, control);
        return package.fields["Multi-Arch"] == "same";
    };
    std::string refusal;
    if (!readPackageArchive(package.real, package.control, multiArchSame, package.files, refusal))
        package.problem = {PackageProblem::NotAPackage, package.shown};
    else if (!refusal.empty())
        package.problem = {PackageProblem::Dpkg, package.shown, refusal};
}

// Whether dpkg parses every control file of `packages` without a word: they are handed to
// one dpkg-query, as the packages of a database of their own in `scratch`.
bool dpkgParses(const std::vector<ShippedPackage>& packages, const std::string& scratch)
{
    const std::string database = scratch + "/controls";
    std::string status;
    for (const ShippedPackage& package : packages) {
        const std::string_view control = package.control;
        status.append(control.substr(0, control.find_last_not_of('\n') + 1))
            .append("\nStatus: install ok unpacked\n\n");
    }
    return g_mkdir_with_parents((database + "/updates").c_str(), 0700) == 0
        && g_file_set_contents((database + "/status").c_str(), status.data(),
                               static_cast<gssize>(status.size()), nullptr)
        && runTool({"dpkg-query", "--admindir=" + database, "-W"}, scratch).exitedWith(0);
}

// Each package as dpkg reads it: where dpkg finds fault with a control file, or a package
// has none, dpkg-deb is asked about each, for its words.
void readPackages(std::vector<ShippedPackage>& packages, const std::string& scratch)
{
    inParallel(packages.size(), [&](std::size_t i) { readPackage(packages[i]); });
    const bool parsed = dpkgParses(packages, scratch)
        && std::none_of(packages.begin(), packages.end(),
                        [](const ShippedPackage& package) { return package.control.empty(); });
    if (!parsed)
        inParallel(packages.size(), [&](std::size_t i) {
            if (!packages[i].problem || packages[i].control.empty())
                askDpkgDeb(packages[i], scratch);
        });
    for (ShippedPackage& package : packages)
        // dpkg cannot satisfy a relation to NAME:native, which only source packages may use.
        for (const char* field : {"Depends", "Pre-Depends"})
            if (!package.problem && package.fields[field].find(":native") != std::string::npos)
                package.problem = {PackageProblem::Dpkg, package.shown,
                                   std::string(field) + " names a package with :native"};
}

// dpkg installs one package of a name over the other, unless they are instances of one
// that may be installed for several architectures at once.
void findShippedTwice(const std::vector<ShippedPackage>& packages,
                      std::vector<PackageProblem>& problems)
{
    for (const ShippedPackage& package : packages) {
        Words versions;
        bool twice = false;
        for (const ShippedPackage& other : packages) {
            if (other.name != package.name)
                continue;
            const auto field = [&](const char* name) { return other.fields.at(name); };
            // The same package under two names is only installed again.
            const bool sameArchitecture
                = field("Architecture") == package.fields.at("Architecture");
            twice = twice || field("Version") != package.fields.at("Version")
                || (!sameArchitecture && field("Multi-Arch") != "same");
            versions.push_back(field("Version") + " (" + field("Architecture") + ")");
        }
        std::sort(versions.begin(), versions.end());
        versions.erase(std::unique(versions.begin(), versions.end()), versions.end());
        std::string joined;
        for (const std::string& version : versions)
            joined.append(joined.empty() ? "" : ", ").append(version);
        if (twice)
            addProblem(problems,
                       {PackageProblem::ShippedTwice, printable(package.name), printable(joined)});
    }
}

}  // namespace

std::vector<ShippedPackage> readShippedPackages(const Words& paths, const std::string& scratch,
                                                std::vector<PackageProblem>& problems)
{
    std::vector<ShippedPackage> packages;
    for (const std::string& path : paths) {
        char* real = realpath(path.c_str(), nullptr);
        if (real && isArArchive(real)) {
            ShippedPackage& package = packages.emplace_back();
            package.path = path;
            package.real = real;
            package.shown = entryName(path);
        } else {
            addProblem(problems, {PackageProblem::NotAPackage, entryName(path)});
        }
        std::free(real);  // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    }
    readPackages(packages, scratch);
    for (const ShippedPackage& package : packages)
        if (package.problem)
            addProblem(problems, *package.problem);
    std::erase_if(packages, [](const ShippedPackage& package) { return package.problem; });
    findShippedTwice(packages, problems);
    return packages;
}

bool replaces(const ShippedPackage& package, std::string_view other)
{
    const auto field = package.fields.find("Replaces");
    return field != package.fields.end() && contains(namesIn(field->second), other);
}

std::vector<Relation> conflictsAndBreaks(const std::vector<ShippedPackage>& packages)
{
    std::vector<Relation> relations;
    for (const ShippedPackage& package : packages)
        for (const auto kind : {PackageProblem::ConflictsWith, PackageProblem::Breaks}) {
            const auto field
                = package.fields.find(kind == PackageProblem::Breaks ? "Breaks" : "Conflicts");
            if (field == package.fields.end())
                continue;
            const Words others = namesIn(field->second);
            std::transform(others.begin(), others.end(), std::back_inserter(relations),
                           [&](const std::string& other) {
                               return Relation{printable(package.name), kind, printable(other)};
                           });
        }
    return relations;
}
