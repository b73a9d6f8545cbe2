#include "resources/file_clashes.h"

#include "resources/control_text.h"

#include <iterator>
#include <set>

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

bool isDiversion(std::string_view line)
{
    return line.starts_with("diversion by ") || line.starts_with("local diversion ");
}

}  // namespace

Words ownerQuery(const std::vector<ShippedPackage>& packages)
{
    Words query = {"dpkg-query", "-S"};
    for (const ShippedPackage& package : packages)
        std::transform(package.files.begin(), package.files.end(), std::back_inserter(query),
                       asPattern);
    return query.size() > 2 ? query : Words();
}

void findSameFiles(const std::vector<ShippedPackage>& packages, std::string_view owners,
                   std::vector<PackageProblem>& problems)
{
    std::map<std::string_view, const ShippedPackage*> shippedBy;
    for (const ShippedPackage& package : packages)
        for (const std::string& file : package.files)
            if (const auto [first, added] = shippedBy.emplace(file, &package); !added
                && first->second->name != package.name && !replaces(package, first->second->name)
                && !replaces(*first->second, package.name))
                addProblem(problems,
                           {PackageProblem::SameFile, std::min(first->second->name, package.name),
                            std::max(first->second->name, package.name), printable(file)});
    const Words answer = lines(owners);
    std::set<std::string, std::less<>> diverted;
    for (const std::string& line : answer)
        if (isDiversion(line))
            diverted.insert(line.substr(line.find(": ") + 2));
    for (const std::string& line : answer) {
        const std::size_t colon = line.find(": ");
        const auto shipped = colon == std::string::npos || isDiversion(line)
            ? shippedBy.end()
            : shippedBy.find(std::string_view(line).substr(colon + 2));
        if (shipped == shippedBy.end() || diverted.contains(shipped->first))
            continue;
        for (const std::string& owner : namesIn(std::string_view(line).substr(0, colon)))
            if (!replaces(*shipped->second, owner)
                && std::none_of(packages.begin(), packages.end(),
                                [&](const ShippedPackage& p) { return p.name == owner; }))
                addProblem(problems,
                           {PackageProblem::SameFile, shipped->second->name, owner,
                            printable(shipped->first), false, true});
    }
}
