#include "resources/locale_resources.h"
#include "resources/utf8_text.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

namespace {

std::string agreement()
{
    const InstallerState& s = installerState;
    return s.licenseData ? std::string(s.licenseData.get(), s.licenseDataSize) : "<none>";
}

// Runs the reader with LANG set (or unset for nullptr) and returns what it printed.
std::string readLocale(const char* lang)
{
    if (lang)
        setenv("LANG", lang, 1);
    else
        unsetenv("LANG");
    testing::internal::CaptureStdout();
    initialzeLocalStrings();
    return testing::internal::GetCapturedStdout();
}

struct LineCase {
    const char* name;
    std::string file;
    char (InstallerState::*field)[kTextBufferSize];
    std::string expected;
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << c.name;
}

class StringsFormat : public testing::TestWithParam<LineCase> { };

TEST_P(StringsFormat, StoresTheValueOfEachLine)
{
    WorkDir dir;
    dir.locale("en_US.UTF-8", GetParam().file.c_str(), "");
    readLocale("en_US.UTF-8");
    EXPECT_EQ(installerState.*GetParam().field, GetParam().expected);
}

const std::string kLongLine = "str_noticeLabel = " + std::string(300, 'a') + "\nstr_doneButton = Done\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, StringsFormat,
    testing::Values(
        LineCase{"Canonical", "str_installButton = Install\n", &InstallerState::str_installButton, "Install"},
        LineCase{"ByteAfterEqualsSkipped", "str_doneButton=Done\n", &InstallerState::str_doneButton, "one"},
        LineCase{"LastByteDroppedAtEof", "str_doneButton = Done", &InstallerState::str_doneButton, "Don"},
        LineCase{"CrKept", "str_finishLabel = Finished\r\n", &InstallerState::str_finishLabel, "Finished\r"},
        LineCase{"OnlyFirstEqualsCounts", "str_noticeLabel = a = b\n", &InstallerState::str_noticeLabel, "a = b"},
        LineCase{"KeyInValueSetsBoth", "str_checkButton = see str_doneButton\n", &InstallerState::str_doneButton,
                 "see str_doneButton"},
        LineCase{"KeyInValueSetsFirst", "str_checkButton = see str_doneButton\n", &InstallerState::str_checkButton,
                 "see str_doneButton"},
        LineCase{"KeyAnywhereInLine", "# str_processName = Setup\n", &InstallerState::str_processName, "Setup"},
        LineCase{"QuotesKept", "str_processName = \"Setup\"\n", &InstallerState::str_processName, "\"Setup\""},
        LineCase{"LaterLineWins", "str_doneButton = One\nstr_doneButton = Two\n", &InstallerState::str_doneButton,
                 "Two"},
        LineCase{"CaseSensitiveKey", "STR_DONEBUTTON = Done\n", &InstallerState::str_doneButton, ""},
        LineCase{"NoEqualsKeepsValue", "str_doneButton = Done\nstr_doneButton\n", &InstallerState::str_doneButton,
                 "Done"},
        LineCase{"NothingAfterEqualsKeepsValue", "str_doneButton = Done\nstr_doneButton =\n",
                 &InstallerState::str_doneButton, "Done"},
        LineCase{"EqualsAtEofKeepsValue", "str_doneButton = Done\nstr_doneButton =", &InstallerState::str_doneButton,
                 "Done"},
        LineCase{"OneByteValueIsEmpty", "str_doneButton = Done\nstr_doneButton = \n", &InstallerState::str_doneButton,
                 ""},
        LineCase{"LongLineCutAtPiece", kLongLine, &InstallerState::str_noticeLabel, std::string(255 - 18 - 1, 'a')},
        LineCase{"LineAfterLongLineRead", kLongLine, &InstallerState::str_doneButton, "Done"},
        LineCase{"Latin1Converted",
                 "str_doneButton = Gr\xfc\xdf"
                 "e\n",
                 &InstallerState::str_doneButton,
                 "Gr\xc3\xbc\xc3\x9f"
                 "e"},
        LineCase{"Utf8Unchanged", "str_doneButton = Fertig \xe2\x9c\x93\n", &InstallerState::str_doneButton,
                 "Fertig \xe2\x9c\x93"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StringsFormat, ToleratesAnyLineWithoutOverrun)
{
    // A key followed by the shortest possible tails, and a line far longer than any
    // read from a file, whose value would not fit the buffer once converted.
    for (const char* line : {"str_doneButton", "str_doneButton=", "str_doneButton=\n", ""}) {
        installerState = {};
        applyStringsLine(line);
        EXPECT_STREQ(installerState.str_doneButton, "") << line;
    }
    applyStringsLine(("str_doneButton = " + std::string(2000, '\xe9') + "\n").c_str());
    std::string expected;
    for (int i = 0; i < 511; ++i)
        expected += "\xc3\xa9";
    EXPECT_EQ(installerState.str_doneButton, expected);
}

struct FallbackCase {
    const char* name;
    const char* lang;
    bool langStrings, langLicense;
    const char *expectedTitle, *expectedAgreement, *printed;
};

void PrintTo(const FallbackCase& c, std::ostream* os)
{
    *os << c.name;
}

class LocaleFallback : public testing::TestWithParam<FallbackCase> { };

TEST_P(LocaleFallback, EachFileFallsBackOnItsOwn)
{
    const FallbackCase& c = GetParam();
    WorkDir dir;
    dir.locale("en_US.UTF-8", "str_processName = English\n", "English agreement");
    dir.locale("de_DE.UTF-8", c.langStrings ? "str_processName = Deutsch\n" : nullptr,
               c.langLicense ? "Deutsche Vereinbarung" : nullptr);
    EXPECT_EQ(readLocale(c.lang), c.printed);
    EXPECT_STREQ(installerState.str_processName, c.expectedTitle);
    EXPECT_EQ(agreement(), c.expectedAgreement);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LocaleFallback,
    testing::Values(
        FallbackCase{"BothFromLang", "de_DE.UTF-8", true, true, "Deutsch", "Deutsche Vereinbarung", "de_DE.UTF-8\n"},
        FallbackCase{"LicenseOnly", "de_DE.UTF-8", false, true, "English", "Deutsche Vereinbarung", "de_DE.UTF-8\n"},
        FallbackCase{"StringsOnly", "de_DE.UTF-8", true, false, "Deutsch", "English agreement", "de_DE.UTF-8\n"},
        FallbackCase{"NoSuchLocale", "fr_FR.UTF-8", true, true, "English", "English agreement", "fr_FR.UTF-8\n"},
        FallbackCase{"EmptyLang", "", true, true, "English", "English agreement", "\n"},
        FallbackCase{"UnsetLang", nullptr, true, true, "English", "English agreement", "\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocaleFiles, RecordsTheLastPathTried)
{
    WorkDir dir;
    dir.locale("en_US.UTF-8", "", "");
    readLocale("");
    EXPECT_EQ(installerState.localeStringPath, (dir.path / "locale/en_US.UTF-8/strings.txt").string());
    installerState = {};
    dir.locale("xx", "", "");
    readLocale("xx");
    EXPECT_EQ(installerState.licensePath, (dir.path / "locale/xx/license.txt").string());
}

TEST(LocaleFiles, MissingOrEmptyFilesLeaveTextsEmpty)
{
    WorkDir dir;
    readLocale("de_DE.UTF-8");
    EXPECT_STREQ(installerState.str_processName, "");
    EXPECT_EQ(agreement(), "<none>");

    dir.locale("en_US.UTF-8", "", "");
    readLocale("de_DE.UTF-8");
    EXPECT_EQ(agreement(), "");
    EXPECT_EQ(installerState.licenseDataSize, 0);
}

// What stands in the locale directory in place of license.txt and strings.txt: each
// must count as missing, so that the fallback applies, and none may block start-up.
TEST(LocaleFiles, NonRegularOrHugeFilesCountAsMissing)
{
    WorkDir dir;
    dir.locale("en_US.UTF-8", "str_processName = English\n", "English agreement");
    const fs::path de = dir.path / "locale/de_DE.UTF-8";
    fs::create_directories(de / "license.txt");
    ASSERT_EQ(mkfifo((de / "strings.txt").c_str(), 0600), 0);
    readLocale("de_DE.UTF-8");
    EXPECT_STREQ(installerState.str_processName, "English");
    EXPECT_EQ(agreement(), "English agreement");

    installerState = {};
    fs::remove_all(de);
    fs::create_directories(de);
    ASSERT_EQ(mkfifo((de / "license.txt").c_str(), 0600), 0);
    readLocale("de_DE.UTF-8");
    EXPECT_EQ(agreement(), "English agreement");

    installerState = {};
    fs::remove(de / "license.txt");
    {
        std::ofstream{de / "license.txt"};
    }
    fs::resize_file(de / "license.txt", 0x80000000ull);  // sparse: one byte past the 32-bit size
    readLocale("de_DE.UTF-8");
    EXPECT_EQ(agreement(), "English agreement");
}

TEST(LocaleFiles, AgreementShownWhateverItsEncoding)
{
    WorkDir dir;
    const std::string utf8 = "Vereinbarung f\xc3\xbcr \xe2\x80\x9eSoftware\xe2\x80\x9c\n";
    dir.locale("en_US.UTF-8", "", utf8.c_str());
    readLocale("en_US.UTF-8");
    EXPECT_EQ(agreement(), utf8);

    installerState = {};
    writeFile(dir.path / "locale/en_US.UTF-8/license.txt", std::string("Lizenz f\xfcr \x93Sie\x94\0!", 18));
    readLocale("en_US.UTF-8");
    EXPECT_EQ(agreement(), "Lizenz f\xc3\xbcr \xef\xbf\xbdSie\xef\xbf\xbd\xef\xbf\xbd!");
}

// A working directory so deep that the path of the locale file no longer fits: the
// path is cut, and the cut path must not be opened even when something stands there.
TEST(LocaleFiles, CutPathsAreNeverOpened)
{
    WorkDir dir;
    const fs::path deep = deepDirectory(dir.path, 1000);
    // "<cwd>/locale/en_US.UTF-8/license.txt" cut to 1023 bytes ends in ".../lic".
    writeFile(deep / "locale/en_US.UTF-8/lic", "not the agreement");
    writeFile(deep / "locale/en_US.UTF-8/str", "str_processName = not the strings\n");
    fs::current_path(deep);
    readLocale("en_US.UTF-8");
    EXPECT_EQ(installerState.licensePath, (deep / "locale/en_US.UTF-8/lic").string());
    EXPECT_EQ(agreement(), "<none>");
    EXPECT_STREQ(installerState.str_processName, "");

    // Deeper than the working directory's own buffer: nothing is read at all.
    installerState = {};
    const fs::path deeper = deepDirectory(deep, 1100);
    writeFile(deeper / "locale/en_US.UTF-8/strings.txt", "str_processName = English\n");
    writeFile(deeper / "locale/en_US.UTF-8/license.txt", "English agreement");
    fs::current_path(deeper);
    EXPECT_EQ(readLocale("en_US.UTF-8"), "en_US.UTF-8\n");
    EXPECT_EQ(agreement(), "<none>");
    EXPECT_STREQ(installerState.str_processName, "");
}

TEST(Utf8Text, ValidPassesOtherBytesAreConverted)
{
    const struct {
        std::string in;
        std::size_t max;
        std::string out;
    } cases[] = {
        {"plain \xe2\x9c\x93", 100, "plain \xe2\x9c\x93"},
        {"Gr\xfc\xdf"
         "e",
         100,
         "Gr\xc3\xbc\xc3\x9f"
         "e"},
        {std::string("a\0b", 3), 100,
         "a\xef\xbf\xbd"
         "b"},
        {"cut \xe2\x82", 100, "cut \xc3\xa2\xef\xbf\xbd"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 5, "\xc3\xa9\xc3\xa9"},
        {"\xe9\xe9\xe9", 5, "\xc3\xa9\xc3\xa9"},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toValidUtf8(c.in, c.max), c.out) << c.in;
        EXPECT_EQ(isValidUtf8(c.in), toValidUtf8(c.in, 3 * c.in.size()) == c.in) << c.in;
    }
    // Invalid bytes past long ASCII runs, at every offset of a word.
    for (std::size_t at = 60; at < 80; ++at)
        for (const std::string& bad :
             {std::string("\xe9"), std::string("\xc3"), std::string(1, '\0'), std::string("\xed\xa0\x80")}) {
            std::string text(200, 'a');
            text.replace(at, bad.size(), bad);
            EXPECT_FALSE(isValidUtf8(text)) << at;
            EXPECT_TRUE(isValidUtf8(std::string(at, 'a') + "\xe2\x82\xac" + std::string(at, 'b')));
        }
}

}  // namespace
