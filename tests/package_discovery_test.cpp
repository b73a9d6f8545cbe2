#include "resources/package_discovery.h"
#include "support.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string scan()
{
    testing::internal::CaptureStdout();
    initRPMPath();
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> directoryOrder(const fs::path& dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (const dirent* entry = readdir(d))
        names.push_back(entry->d_name);
    closedir(d);
    return names;
}

TEST(PackageDiscovery, ListsMatchingEntriesInDirectoryOrder)
{
    WorkDir dir;
    for (const char* name : {"tool_1.0_i386.deb", "lib_2.1_i386.deb", "tool_1.0_amd64.deb", "tool_1.0_I386.DEB",
                             "tool_1.0_i386.deb.orig", "i386.debian", "i386.de", "readme.txt"})
        writeFile(dir.path / name, "");
    fs::create_directory(dir.path / "folder_i386.deb");
    EXPECT_EQ(scan(), "");

    std::vector<std::string> expected;
    for (const std::string& name : directoryOrder(dir.path))
        if (name.find("i386.deb") != std::string::npos)
            expected.push_back((dir.path / name).string());
    ASSERT_EQ(expected.size(), 5u);
    EXPECT_EQ(shellWordsOf(installerState.rpmPath), expected);
    EXPECT_EQ(installerState.rpmPath[std::strlen(installerState.rpmPath) - 1], ' ');
}

TEST(PackageDiscovery, EmptyWhenNothingMatches)
{
    WorkDir dir;
    writeFile(dir.path / "tool_1.0_amd64.deb", "");
    EXPECT_EQ(scan(), "");
    EXPECT_STREQ(installerState.rpmPath, "");
}

TEST(PackageDiscovery, UnlistableDirectoryReported)
{
    WorkDir dir;
    fs::create_directory(dir.path / "gone");
    fs::current_path(dir.path / "gone");
    fs::remove(dir.path / "gone");
    EXPECT_EQ(scan(), "opendir failed!\n");
    EXPECT_STREQ(installerState.rpmPath, "");

    const fs::path deep = deepDirectory(dir.path, 1100);  // too long for the path buffer
    writeFile(deep / "tool_i386.deb", "");
    fs::current_path(deep);
    EXPECT_EQ(scan(), "opendir failed!\n");
    EXPECT_STREQ(installerState.rpmPath, "");
}

// Every name reaches the shell as one exact word, and nothing in a name is run.
TEST(PackageDiscovery, HostileNamesStayOneWordEach)
{
    WorkDir dir("it's a dir $(x)");
    const std::vector<std::string> names = {
        "a b_i386.deb", "it's_i386.deb",      "$(touch ran)_i386.deb", "`touch ran`_i386.deb", "x;touch ran;_i386.deb",
        "*_i386.deb",   "new\nline_i386.deb", "\"q\" \\ _i386.deb",    "-rf_i386.deb",         "'_i386.deb'"};
    std::vector<std::string> expected;
    for (const std::string& name : names) {
        writeFile(dir.path / name, "");
        expected.push_back((dir.path / name).string());
    }
    scan();
    std::vector<std::string> words = shellWordsOf(installerState.rpmPath);
    std::sort(words.begin(), words.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(words, expected);
    EXPECT_FALSE(fs::exists(dir.path / "ran"));
}

// The list never passes its 1024 bytes and never holds part of an entry: what does
// not fit is left out whole, reported, and the scan goes on.
TEST(PackageDiscovery, EntriesThatDoNotFitAreLeftOutWhole)
{
    WorkDir dir("cap");
    std::vector<std::string> small, big;
    for (char c : {'a', 'b', 'c'}) {
        small.push_back((dir.path / (std::string(1, c) + "_i386.deb")).string());
        big.push_back((dir.path / (std::string(240, c) + "_i386.deb")).string());
    }
    big.push_back((dir.path / (std::string(240, 'd') + "_i386.deb")).string());
    for (const auto& path : small)
        writeFile(path, "");
    for (const auto& path : big)
        writeFile(path, "");

    const std::string printed = scan();
    const std::vector<std::string> words = shellWordsOf(installerState.rpmPath);
    EXPECT_LT(std::strlen(installerState.rpmPath), kTextBufferSize);
    EXPECT_EQ(words.size(), 6u);
    for (const auto& path : small)
        EXPECT_NE(std::find(words.begin(), words.end(), path), words.end()) << path;
    const auto leftOut = std::find_if(
        big.begin(), big.end(), [&](const auto& p) { return std::find(words.begin(), words.end(), p) == words.end(); });
    ASSERT_NE(leftOut, big.end());
    EXPECT_EQ(printed, "package list full, left out: " + *leftOut + "\n");
}

TEST(PackageDiscovery, AppendNeverOverrunsTheList)
{
    char list[16] = {};
    std::size_t used = 0;
    EXPECT_TRUE(appendPackageEntry(list, used, "/d", "a_b"));  // "'/d/a_b' ": 9 bytes
    EXPECT_FALSE(appendPackageEntry(list, used, "/d", "e"));  // 9 + 7 leaves no room for the NUL
    EXPECT_TRUE(appendPackageEntry(list, used, "/d", ""));  // 9 + 6 + NUL: exactly 16
    EXPECT_STREQ(list, "'/d/a_b' '/d/' ");
    EXPECT_EQ(used, 15u);
}

}  // namespace
