// The locale texts as read from real files: the strings format, the fallback of each file
// on its own, hostile files and text that is not UTF-8; apt's answers as the check before
// the password reads them; and the sentences the page makes of what happened.

#include "installer.h"
#include "resources/locale_resources.h"
#include "pages/run_messages.h"
#include "pages/run_progress.h"
#include "resources/apt_simulation.h"
#include "resources/utf8_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, std::string_view bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Puts at `path` the text `what`, a "<dir>", a "<fifo>", a sparse file of "<2GiB>", or, for
// "<none>", nothing.
void place(const fs::path& path, const std::string& what)
{
    fs::create_directories(path.parent_path());
    if (what == "<dir>")
        fs::create_directories(path);
    else if (what == "<fifo>")
        mkfifo(path.c_str(), 0600);
    else if (what == "<2GiB>")
        writeFile(path, ""), fs::resize_file(path, 1ull << 31);
    else if (what != "<none>")
        writeFile(path, what);
}

// Moves to a copy of the working directory's locale whose path is `length` bytes long. A
// locale file's path there is cut to 1023 bytes: at 1000, "<cwd>/locale/en_US.UTF-8/lic"
// and ".../str", which must never be opened.
void moveDeep(std::size_t length)
{
    fs::path deep = fs::current_path();
    while (deep.string().size() < length)
        deep /= std::string(std::min<std::size_t>(100, length - deep.string().size()) - 1, 'd');
    fs::create_directories(deep);
    fs::copy("locale", deep / "locale", fs::copy_options::recursive);
    fs::current_path(deep);
    writeFile("locale/en_US.UTF-8/lic", "cut"),
        writeFile("locale/en_US.UTF-8/str", "str_processName = cut\n");
}

struct Files {
    const char* name;
    std::string strings, title;  // locale/de_DE.UTF-8/strings.txt, and the title read
    std::string license = "<none>", agreement = "English.";  // the same for license.txt
    const char* lang = "de_DE.UTF-8";
    std::size_t depth = 0;  // the working directory's path length, when it is that deep
};

const std::string a235(235, 'a'), a300(300, 'a'), kDeutsch = "str_processName = Deutsch\n";

const Files kRows[] = {
    // The strings format, line by line.
    {"Canonical", "str_processName = Setup\n", "Setup"},
    {"ByteAfterEqualsSkipped", "str_processName=Setup\n", "etup"},
    {"LastByteDroppedAtEof", "str_processName = Setup", "Setu"},
    {"CrKept", "str_processName = Setup\r\n", "Setup\r"},
    {"OnlyFirstEqualsCounts", "str_processName = a = b\n", "a = b"},
    {"KeyAnywhere", "str_doneButton = \"see\" str_processName\n", "\"see\" str_processName"},
    {"LaterLineWins", "str_processName = One\nstr_processName = Two\n", "Two"},
    {"NoEqualsKeeps", "str_processName = Setup\nstr_processName\n", "Setup"},
    {"NothingAfterEqualsKeeps", "str_processName = Setup\nstr_processName =\n", "Setup"},
    {"BlankValueEmpties", "str_processName = Setup\nstr_processName = \n", ""},
    {"NulEndsLine", std::string("str_processName = Se\0tup\n", 25), "S"},
    {"LongLineInPieces", "str_processName = " + a300 + "\nstr_doneButton = Done\n",
     std::string(236, 'a')},
    {"PieceCutInCharacter", "str_processName = " + a235 + "ü\n", a235},
    {"Windows1252", "str_processName = \x93It\x92s\x94 \x96 \x80\x81\n",
     "“It’s” – €\ufffd"},
    // Each file falls back on its own, and what is not a regular file counts as missing.
    {"LicenseOnly", "<none>", "English", "Deutsch.", "Deutsch."},
    {"NoSuchLocale", kDeutsch, "English", "Deutsch.", "English.", "fr_FR.UTF-8"},
    {"UnsetLang", kDeutsch, "English", "Deutsch.", "English.", nullptr},
    {"DirectoryAndFifo", "<dir>", "English", "<fifo>"},
    {"LicenseOf2GiB", kDeutsch, "Deutsch", "<2GiB>"},
    {"Windows1252License", "<none>", "English", "\x93Sie\x94 \x80", "“Sie” €"},
    {"CutPath", "<none>", "", "<none>", "<none>", "en_US.UTF-8", 1000},
};

// locale/en_US.UTF-8 holds English texts, and each row puts something in de_DE.UTF-8.
TEST(LocaleFiles, AreReadAsTheyShould)
{
    for (const Files& row : kRows) {
        SCOPED_TRACE(row.name);
        const fs::path previous = fs::current_path();
        std::string temporary = (fs::temp_directory_path() / "installer's test XXXXXX").string();
        fs::current_path(mkdtemp(temporary.data()));
        writeFile("locale/en_US.UTF-8/strings.txt", "str_processName = English\n");
        writeFile("locale/en_US.UTF-8/license.txt", "English.");
        place("locale/de_DE.UTF-8/strings.txt", row.strings);
        place("locale/de_DE.UTF-8/license.txt", row.license);
        if (row.depth)
            moveDeep(row.depth);
        row.lang ? setenv("LANG", row.lang, 1) : unsetenv("LANG");
        installerState = {};
        initialzeLocalStrings();
        EXPECT_EQ(installerState.str_processName, row.title);
        EXPECT_EQ(installerState.licenseData ? agreementText() : "<none>", row.agreement);
        fs::current_path(previous), fs::remove_all(temporary);
    }
}

// Every byte that cannot start UTF-8 is read as Windows-1252, as iconv reads it.
TEST(Text, BytesOutsideUtf8AreWindows1252)
{
    for (int byte = 0; byte < 256; ++byte) {
        const char in[] = {'x', static_cast<char>(byte)};
        gchar* expected
            = byte ? g_convert(in, 2, "UTF-8", "WINDOWS-1252", nullptr, nullptr, nullptr) : nullptr;
        EXPECT_EQ(toValidUtf8({in, 2}, 8), expected ? expected : "x\ufffd") << byte;
        g_free(expected);
    }
}


// apt's answers, recorded from apt 2.6 and 3.0 (with its default solver and with --solver
// 3.0), as the check reads them for a set of packages named a, k1, k2 and lib.
struct AptRow {
    const char* name;
    std::string output;
    int status;
    std::vector<PackageProblem> problems;
    std::vector<std::string> order;
};

const std::string kUnmet = "The following packages have unmet dependencies:\n";
const std::string kAfter3 = "E: Unable to correct problems, you have held broken packages.\n"
                            "   Unable to satisfy dependencies. Reached two conflicting "
                            "decisions:\n   1. a:amd64=1.0 is selected for install\n";
using P = PackageProblem;

const AptRow kAptRows[] = {
    {"Plan26", "Remv xdotool [1:3.2-5]\nRemv libxdo3 [1:3.2-5]\nInst a (1.0 local-deb [all])\n"
               "Inst lib [0.9] (1.0 local-deb [amd64])\nConf a (1.0 local-deb [all])\n",
     0, {{P::ConflictsWith, "a", "libxdo3", "", false, true}}, {"a", "lib"}},
    {"Broken26", "Inst k1 [1.0] (1.1 Debian:12.15/oldstable [amd64]) [k2:amd64 ]\n"
                 "Inst k2 [1.0] (1.1 Debian:12.15/oldstable [amd64])\n",
     0, {}, {"k1", "k2"}},
    {"Solver30", "Solving dependencies...\n\n" + kUnmet
                     + " a : Conflicts: libxdo3 but 1:3.2-5.1 is to be installed\n"
                       "E: Unable to satisfy dependencies. Reached two conflicting decisions:\n"
                       "   1. a:amd64=1.0 is selected for install\n",
     100, {{P::ConflictsWith, "a", "libxdo3", "", false, true}}, {}},
    {"Breaks30", "Solving dependencies...\n\n" + kUnmet
                     + " a : Breaks: dpkg (< 99) but 1.22.22 is to be installed\n" + kAfter3,
     100, {{P::Breaks, "a", "dpkg (<< 99)", "", false, true}}, {}},
    {"ShippedConflict26", kUnmet + " k1 : Conflicts: k2 but 1.0 is to be installed\n", 100,
     {{P::ConflictsWith, "k1", "k2"}}, {}},
    {"InstalledNeeds30", kUnmet + " base-files : PreDepends: awk\n" + kAfter3, 100,
     {{P::Needs, "base-files", "awk", "", true}}, {}},
    {"Versions26", kUnmet + " a : Depends: lib (>= 2.0) but 1.0 is to be installed\n"
                   "     Depends: dpkg (>= 99) but 1.21.22 is to be installed\n"
                   "     Depends: awk (>= 1.0)\n     Depends: bash:any but it is not installable\n",
     100,
     {{P::ShippedVersion, "lib (>= 2.0)", "1.0"}, {P::TooOld, "dpkg (>= 99)", "1.21.22"},
      {P::Unsatisfied, "awk (>= 1.0)"}, {P::Unsatisfied, "bash:any"}},
     {}},
    {"Alternatives26", kUnmet + " a : Depends: n1 but it is not installable or\n"
                                "              n2 but it is not installable or\n"
                                "              n3 but it is not installable or\n"
                                "              n4 but it is not installable\n",
     100, {{P::Missing, "n1 | n2 | n3 | \u2026"}}, {}},
    {"Architecture30", "Inst a:i386 (1.0 local-deb [i386])\n", 0,
     {{P::Architecture, "a", "i386"}}, {"a:i386"}},
    {"Broken", "E: Unmet dependencies. Try 'apt --fix-broken install' with no packages\n", 100,
     {}, {}},
};

TEST(AptAnswers, AreReadAsMeant)
{
    for (const AptRow& row : kAptRows) {
        SCOPED_TRACE(row.name);
        std::vector<PackageProblem> problems;
        std::vector<std::string> order;
        const Words accepted = {"amd64", "all"}, shipped = {"a", "k1", "k2", "lib"};
        const std::vector<Relation> relations
            = {{"a", P::ConflictsWith, "libxdo3"}, {"k1", P::ConflictsWith, "k2"}};
        const bool answer = readAptAnswer(row.output, row.status == 0,
                                          {accepted, shipped, relations}, problems, order);
        EXPECT_EQ(answer, row.status == 0 || !row.problems.empty());
        EXPECT_EQ(problems, row.problems);
        EXPECT_EQ(order, row.order);
    }
}

// With the built-in English texts: names and paths shortened between characters, six
// reasons or packages and how many more, installed packages said so, and what each way a
// run ends says.
// The built-in English texts, as where no strings file is found.
void useBuiltInTexts()
{
    const fs::path previous = fs::current_path();
    fs::current_path(fs::temp_directory_path());
    installerState = {};
    initialzeLocalStrings();
    fs::current_path(previous);
}

TEST(Sentences, SayWhatHappened)
{
    useBuiltInTexts();
    std::string name = "e", path = "/opt/" + std::string(80, 'f');
    for (int i = 0; i < 30; ++i)
        name += "é";  // two bytes: the cut at 60 falls inside the 30th
    const auto failed = [](int status, bool planned, const RunFailure& failure = {},
                           const std::optional<LockHolder>& lock = std::nullopt) {
        return failureMessage(outcomeOf(status, planned), failure, lock);
    };
    std::vector<PackageProblem> seven;
    for (char c = 'a'; c < 'h'; ++c)
        seven.push_back({P::NotAPackage, std::string(1, c)});
    const std::pair<std::string, std::string> rows[] = {
        {refusalReasons({{P::TooOld, "dpkg (>= 99)", "1.21"}, {P::WouldBeRemoved, "xauth"}}),
         "dpkg (>= 99) is needed, but 1.21 is installed; "
         "the installed package xauth would have to be removed"},
        {refusalReasons({{P::Breaks, "a", "b (<< 2)", "", false, true}}),
         "a breaks the installed package b (<< 2)"},
        {refusalReasons({{P::SameFile, name, "b", path}}),
         name.substr(0, 59) + "… and b both contain " + path.substr(0, 80) + "…"},
        {refusalReasons(seven), "a is not a Debian package; b is not a Debian package; "
                                "c is not a Debian package; d is not a Debian package; "
                                "e is not a Debian package; f is not a Debian package; "
                                "and 1 more"},
        {planSentences({"i386", {"a:i386", "b"}, {"c", "d", "e", "f", "g", "h", "i", "j"}, 1,
                        "1,024 kB", "3 MB"}),
         "This system must first accept packages for the i386 architecture and update its "
         "package lists. Packages to install: 2, 1 of them for the i386 architecture. Installed "
         "packages to upgrade: c, d, e, f, g, h, and 2 more. To download: 1,024 kB; disk space "
         "needed: 3 MB."},
        {planSentences({"", {"a"}, {}, 0, "", ""}), "Packages to install: 1."},
        {failed(126 << 8, false), installerState.str_cancelledMessage},
        {failed(127 << 8, true), installerState.str_noRightsMessage},
        {failed(75 << 8, true), installerState.str_listsFailedMessage},
        {failed(75 << 8, false), "The package installer reported an error (exit code 75)."},
        {failed(SIGKILL, false), "The package installer reported an error (exit code 137)."},
        {failed(1 << 8, false, {RunFailure::SetUp, "r2", "no scanner"}),
         "r2: its set-up script failed: no scanner (exit code 1)."},
        {failed(1 << 8, false, {RunFailure::SetUp, "r2", ""}),
         "The package installer reported an error (exit code 1)."},
        {failed(100 << 8, true, {RunFailure::Apt, "", "Unable to fetch"}, LockHolder{"", "apt"}),
         "Nothing was installed: another program (apt) began to install software at the same "
         "time. Press Install again once it has finished."},
    };
    for (const auto& [said, meant] : rows)
        EXPECT_EQ(said, meant);
}

// A run of dpkg -i in German, as dpkg logged it and as it wrote it: r4's installation
// script and r2's set-up script fail. The bar only rises, packages are counted as dpkg
// takes them, and the failure is read in any language.
TEST(Runs, AreFollowedAndExplained)
{
    const char* const log[] = {
        "startup archives install",          "install r1:all <none> 1.0",
        "status half-installed r1:all 1.0",  "status unpacked r1:all 1.0",
        "install r2:all <none> 1.0",         "status half-installed r2:all 1.0",
        "status unpacked r2:all 1.0",        "install r4:all <none> 1.0",
        "status half-installed r4:all 1.0",  "status not-installed r4:all <none>",
        "configure r1:all 1.0 1.0",          "status half-configured r1:all 1.0",
        "status installed r1:all 1.0",       "configure r2:all 1.0 1.0",
        "status half-configured r2:all 1.0"};
    useBuiltInTexts();
    RunProgress progress;
    progress.packages = 3;
    std::vector<double> fractions;
    for (const char* line : log) {
        readDpkgLog(progress, std::string("2026-12-08 11:56:27 ") + line);
        fractions.push_back(progress.fraction);
    }
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_GT(fractions.back(), fractions.front());
    EXPECT_EQ(progressText(progress), "Setting up r2 (2 of 3)");
    EXPECT_EQ(progress.notUnpacked, Words{"r4"});
    EXPECT_EQ(progress.notSetUp, Words{"r2"});
    const Words output = {
        "r2 (1.0) wird eingerichtet ...", "preinst says no",
        "dpkg: Fehler beim Bearbeiten des Archivs /tmp/r4_1.0_all.deb (--install):",
        " »neues pre-installation-Skript des Paketes r4«-Unterprozess gab den Fehlerwert 3",
        "cannot reach the scanner service",
        "dpkg: Fehler beim Bearbeiten des Paketes r2 (--install):",
        " »installiertes post-installation-Skript des Paketes r2«-Unterprozess gab 1 zurück"};
    const RunFailure failure = readFailure(progress, output);
    EXPECT_EQ(failure.package + ": " + failure.words, "r4: preinst says no");
    progress.notUnpacked.clear();
    EXPECT_EQ(readFailure(progress, output).words, "cannot reach the scanner service");
    RunProgress plan{RunProgress::Starting, true};
    for (const char* line : {"step:architecture", "step:lists", "dlstatus:1:50:x", "step:install",
                             "dlstatus:3:10:x", "pmstatus:r1:20:x", "pmstatus:r1:10:x"}) {
        const double before = plan.fraction;
        readRunStatus(plan, line);
        EXPECT_GE(plan.fraction, before) << line;
    }
    EXPECT_EQ(plan.step, RunProgress::Installing);
}

}  // namespace
