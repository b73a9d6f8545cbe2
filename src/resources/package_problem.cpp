#include "resources/package_problem.h"

#include <algorithm>

LocalText reasonText(PackageProblem::Kind kind)
{
    switch (kind) {
    case PackageProblem::NotAPackage:
        return {"str_reasonNoPackage", "%s is not a Debian package"};
    case PackageProblem::Architecture:
        return {"str_reasonArchitecture",
                "%s is built for the %s architecture, which this system does not accept"};
    case PackageProblem::Missing:
        return {"str_reasonMissing", "%s is needed but not installed"};
    case PackageProblem::TooOld:
        return {"str_reasonTooOld", "%s is needed, but %s is installed"};
    case PackageProblem::WouldBeRemoved:
        return {"str_reasonRemoved", "the installed package %s would have to be removed"};
    case PackageProblem::ConflictsWith:
        return {"str_reasonIncompatible", "%s conflicts with %s"};
    case PackageProblem::Breaks:
        return {"str_reasonBreaks", "%s breaks %s"};
    case PackageProblem::Needs:
        return {"str_reasonNeeds", "%s needs %s"};
    case PackageProblem::ShippedVersion:
        return {"str_reasonShippedVersion", "%s is needed, but the version shipped is %s"};
    case PackageProblem::Unsatisfied:
        return {"str_reasonUnsatisfied", "%s is needed, but what is installed does not satisfy it"};
    case PackageProblem::SameFile:
        return {"str_reasonSameFile", "%s and %s both contain %s"};
    case PackageProblem::Dpkg:
        return {"str_reasonDpkg", "dpkg refuses %s: %s"};
    case PackageProblem::PreDepends:
        return {"str_reasonPreDepends", "%s pre-depends on %s, which must be installed before it"};
    case PackageProblem::Broken:
        return {"str_reasonBroken",
                "this system has packages that are not fully installed (%s); an administrator "
                "must repair them first (apt --fix-broken install)"};
    case PackageProblem::ShippedTwice:
        return {"str_reasonShippedTwice",
                "%s is shipped more than once (%s), and dpkg would install one over the other"};
    case PackageProblem::MultiArchDiffers:
        return {"str_reasonMultiArch",
                "%s and %s differ in %s, which must be the same for every architecture"};
    case PackageProblem::ReplacedEssential:
        return {"str_reasonEssential",
                "%s replaces every file of %s, which is essential to the system, and would "
                "remove it"};
    case PackageProblem::Disappears:
        return {"str_cautionDisappears", "%s replaces every file of %s, which is then removed"};
    case PackageProblem::Crossgrade:
        return {"str_cautionCrossgrade", "%s takes the place of %s"};
    case PackageProblem::HoldDropped:
        return {"str_cautionHold",
                "%s is held at its version by the administrator, and would be upgraded"};
    case PackageProblem::ThroughLocalDiversion:
        return {"str_cautionDiversion", "%s would overwrite %s, where a local diversion sends %s"};
    case PackageProblem::ThroughSymlink:
        return {"str_cautionSymlink", "%s would overwrite %s, where a symbolic link takes %s"};
    }
    return {"", ""};
}

void addProblem(std::vector<PackageProblem>& problems, PackageProblem problem)
{
    if (std::find(problems.begin(), problems.end(), problem) == problems.end())
        problems.push_back(std::move(problem));
}
