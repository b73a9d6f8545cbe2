// The locale texts as read from real files: the strings format, the fallback of each file
// on its own, hostile files and text that is not UTF-8.

#include "installer.h"
#include "resources/locale_resources.h"
#include "resources/utf8_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace
