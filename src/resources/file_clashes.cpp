#include "resources/file_clashes.h"

#include "resources/control_text.h"

#include <sys/stat.h>

#include <iterator>
#include <map>

namespace {

// dpkg-query takes a path as a pattern, in which *, ?, [ and \ are special.
std::string asPattern(std::string_view path)
{
    std::string pattern;
    for (const char byte : path)
        pattern.append(std::string_view("*?[\\").find(byte) == std::string_view::npos ? "" : "\\")
            .push_back(byte);
    return pattern;
}

struct OnDisk {
    bool exists = false;
    bool directory = false;  // or a symbolic link to one, which dpkg takes as one
};

OnDisk onDisk(const std::string& path)
{
    struct stat file = {};
    if (lstat(path.c_str(), &file) != 0)
        return {};
    return {
        true,
        S_ISDIR(file.st_mode)
            || (S_ISLNK(file.st_mode) && stat(path.c_str(), &file) == 0 && S_ISDIR(file.st_mode))};
}

// What dpkg-query -S answered: the owners of each path, as NAME or NAME:ARCH, and each
// diversion, by the package that made it ("" for a local one), and where it leads.
struct Owners {
    std::map<std::string, Words, std::less<>> of;
    std::map<std::string, std::pair<std::string, std::string>, std::less<>> diversions;
};

Owners readOwners(std::string_view answer)
{
    Owners owners;
    std::string from;
    for (const std::string& line : lines(answer)) {
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos)
            continue;
        const std::string_view head = std::string_view(line).substr(0, colon);
        const std::string path = line.substr(colon + 2);
        if (head.ends_with(" from")
            && (head.starts_with("diversion by ") || head.starts_with("local diversion"))) {
            from = path;
            owners.diversions[from].first = head.starts_with("local")
                ? std::string()
                : std::string(head.substr(13, head.size() - 13 - 5));
        } else if (head.ends_with(" to") && owners.diversions.contains(from)) {
            owners.diversions[from].second = path;
        } else if (!head.starts_with("diversion by ") && !head.starts_with("local diversion")) {
            owners.of[path] = lines(std::string(head), ',');
            for (std::string& owner : owners.of[path])
                owner.erase(0, owner.find_first_not_of(' '));
        }
    }
    return owners;
}

bool isShipped(const std::vector<ShippedPackage>& packages, std::string_view name)
{
    return std::any_of(packages.begin(), packages.end(),
                       [&](const ShippedPackage& package) { return package.name == name; });
}

std::string qualified(const ShippedPackage& package)
{
    return printable(package.name + ":" + package.fields.at("Architecture"));
}

// Two shipped packages with `file` in common, the one `first` met first.
void clashShipped(const ShippedPackage& first, const ShippedPackage& second, const PackageFile& one,
                  const PackageFile& other, FileClashes& clashes)
{
    if (one.type == PackageFile::Directory && other.type == PackageFile::Directory)
        return;
    if (first.name == second.name) {
        if (one.md5 != other.md5)
            addProblem(clashes.problems,
                       {PackageProblem::MultiArchDiffers,
                        std::min(qualified(first), qualified(second)),
                        std::max(qualified(first), qualified(second)), printable(one.path)});
        return;
    }
    const bool directories
        = one.type == PackageFile::Directory || other.type == PackageFile::Directory;
    if (directories || (!replaces(second, first.name) && !replaces(first, second.name)))
        addProblem(clashes.problems,
                   {PackageProblem::SameFile, std::min(first.name, second.name),
                    std::max(first.name, second.name), printable(one.path)});
}

// A shipped file of `package` that an installed package `owner` contains.
void clashInstalled(const ShippedPackage& package, const PackageFile& file,
                    const std::string& owner, const std::vector<ShippedPackage>& packages,
                    FileClashes& clashes)
{
    const std::string name = owner.substr(0, owner.find(':'));
    if (name == package.name) {
        // Its own older version, or its instance for another architecture, which must hold
        // the same file.
        if (file.type == PackageFile::Regular && !file.md5.empty()
            && owner.find(':') != std::string::npos
            && owner != package.name + ":" + package.fields.at("Architecture")
            && installedMd5(file.path) != file.md5)
            addProblem(clashes.problems,
                       {PackageProblem::MultiArchDiffers, qualified(package), printable(owner),
                        printable(file.path), false, true});
        return;
    }
    if (isShipped(packages, name))
        return;
    if (replaces(package, name)) {
        if (!contains(clashes.replaced, name))
            clashes.replaced.push_back(name);
        return;
    }
    // dpkg keeps the directory that a symbolic link would take the place of.
    if (file.type == PackageFile::Symlink && onDisk(file.path).directory)
        return;
    addProblem(clashes.problems,
               {PackageProblem::SameFile, printable(package.name), printable(name),
                printable(file.path), false, true});
}

// A file that no installed package contains, but which lands where something stands: sent
// elsewhere by a local diversion, or through a symbolic link on its way.
void checkLanding(const ShippedPackage& package, const PackageFile& file, const Owners& owners,
                  FileClashes& clashes)
{
    const auto diversion = owners.diversions.find(file.path);
    if (diversion != owners.diversions.end()) {
        const auto& [by, to] = diversion->second;
        if (by.empty() && onDisk(to).exists)
            addProblem(clashes.cautions,
                       {PackageProblem::ThroughLocalDiversion, printable(package.name),
                        printable(to), printable(file.path)});
        return;
    }
    const std::size_t slash = file.path.rfind('/');
    char* real = realpath(file.path.substr(0, std::max<std::size_t>(slash, 1)).c_str(), nullptr);
    const std::string through = real ? std::string(real) + file.path.substr(slash) : std::string();
    std::free(real);  // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    if (!through.empty() && through != file.path && onDisk(through).exists)
        addProblem(clashes.cautions,
                   {PackageProblem::ThroughSymlink, printable(package.name), printable(through),
                    printable(file.path)});
}

}  // namespace

Words ownerQuery(const std::vector<ShippedPackage>& packages)
{
    Words query = {"dpkg-query", "-S"};
    for (const ShippedPackage& package : packages)
        for (const PackageFile& file : package.files) {
            const OnDisk disk = file.type == PackageFile::Directory ? onDisk(file.path) : OnDisk();
            if (file.type != PackageFile::Directory || (disk.exists && !disk.directory))
                query.push_back(asPattern(file.path));
        }
    return query.size() > 2 ? query : Words();
}

FileClashes findFileClashes(const std::vector<ShippedPackage>& packages, std::string_view owners)
{
    FileClashes clashes;
    std::map<std::string_view, std::pair<const ShippedPackage*, const PackageFile*>> shippedBy;
    for (const ShippedPackage& package : packages)
        for (const PackageFile& file : package.files)
            if (const auto [first, added]
                = shippedBy.emplace(file.path, std::pair{&package, &file});
                !added)
                clashShipped(*first->second.first, package, *first->second.second, file, clashes);
    const Owners installed = readOwners(owners);
    for (const ShippedPackage& package : packages)
        for (const PackageFile& file : package.files) {
            const auto diversion = installed.diversions.find(file.path);
            // A diversion spares the package that made it.
            if (diversion != installed.diversions.end() && diversion->second.first == package.name)
                continue;
            const auto owned = installed.of.find(file.path);
            if (owned == installed.of.end()) {
                if (file.type != PackageFile::Directory)
                    checkLanding(package, file, installed, clashes);
                continue;
            }
            for (const std::string& owner : owned->second)
                clashInstalled(package, file, owner, packages, clashes);
        }
    return clashes;
}
