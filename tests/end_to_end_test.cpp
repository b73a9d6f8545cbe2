// The built installer under the X server named by DISPLAY, driven by real input
// (xdotool), with a pkexec stub first on PATH that records its argv.

#include "support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

// Last: Xlib defines macros (None, Status) that clash with names in the headers above.
#include "window_close.h"

namespace {

using namespace std::chrono_literals;

template <typename Predicate> bool eventually(Predicate done, std::chrono::milliseconds limit = 10s)
{
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms))
        if (done())
            return true;
    return done();
}

// Height of a push button in the toolkit's theme, as the installer will draw it.
int buttonHeight(const char* label)
{
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* button = gtk_button_new_with_label(label);
    gtk_container_add(GTK_CONTAINER(window), button);
    GtkRequisition size;
    gtk_widget_size_request(button, &size);
    gtk_widget_destroy(window);
    return size.height;
}

class Installer : public testing::Test {
protected:
    void SetUp() override
    {
        title = "Example Setup " + std::to_string(getpid());
        dir.locale("en_US.UTF-8",
                   ("str_processName = " + title + "\nstr_checkButton = I accept\n"
                    + "str_installButton = Install\nstr_doneButton = Done\n")
                       .c_str(),
                   "Agreement.\n");
        for (const char* name : {"a b_i386.deb", "it's_i386.deb"}) {
            writeFile(dir.path / name, "");
            packages.push_back((dir.path / name).string());
        }
        writeFile(dir.path / "bin/pkexec",
                  "#!/bin/sh\nprintf '%s\\0' \"$@\" >> \"$STUB_LOG\"\necho >> \"$STUB_LOG\"\n"
                  "exit \"$STUB_EXIT\"\n");
        fs::permissions(dir.path / "bin/pkexec", fs::perms::owner_all);
    }

    void TearDown() override
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // Starts the installer in the test directory and waits for its window.
    void start(int stubExit, std::vector<std::string> command = {INSTALLER_PATH})
    {
        const std::string path = (dir.path / "bin").string() + ":" + std::getenv("PATH");
        pid = fork();
        if (pid == 0) {
            FILE* out = std::fopen((dir.path / "stdout").c_str(), "w");
            dup2(fileno(out), STDOUT_FILENO);
            setenv("PATH", path.c_str(), 1);
            setenv("LANG", "en_US.UTF-8", 1);
            setenv("LC_ALL", "C.UTF-8", 1);  // LANG names the locale directory; this machine need not have it
            setenv("STUB_LOG", (dir.path / "argv").c_str(), 1);
            setenv("STUB_EXIT", std::to_string(stubExit).c_str(), 1);
            std::vector<char*> argv;
            for (auto& word : command)
                argv.push_back(word.data());
            argv.push_back(nullptr);
            if (chdir(dir.path.c_str()) == 0)
                execv(argv[0], argv.data());
            _exit(127);
        }
        window = std::stoul("0"
                            + commandOutput("timeout 10 xdotool search --sync --onlyvisible --name '^" + title + "$'"));
        ASSERT_NE(window, 0u) << "no window appeared";
    }

    // Clicks at (x, y) of the window's content, counted from its top-left corner.
    void click(int x, int y)
    {
        commandOutput("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " "
                      + std::to_string(y) + " click 1");
    }
    // The button row's vertical centre: Install's bottom is the window's border above
    // the bottom edge, and the check box is centred on Install.
    int rowCentre() const { return 420 - 15 - installHeight / 2; }
    void clickCheckBox() { click(15 + 20, rowCentre()); }
    void clickInstall() { click(485 - 10, rowCentre()); }
    void pressReturn() { commandOutput("xdotool windowfocus --sync " + std::to_string(window) + " key Return"); }

    std::vector<std::string> runs() const
    {
        std::vector<std::string> lines;
        std::string all = readFile(dir.path / "argv");
        for (std::size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(all.substr(start, end - start));
        return lines;
    }
    bool waitForRuns(std::size_t count)
    {
        return eventually([&] { return runs().size() >= count; });
    }
    // The stub's record of "dpkg -i" with every package, in any order of the packages.
    bool isInstallOfAllPackages(const std::string& record) const
    {
        const std::vector<std::string> words = nulFields(record);
        if (words.size() != 2 + packages.size() || words[0] != "dpkg" || words[1] != "-i")
            return false;
        std::vector<std::string> named(words.begin() + 2, words.end()), expected = packages;
        std::sort(named.begin(), named.end());
        std::sort(expected.begin(), expected.end());
        return named == expected;
    }

    std::string output() const { return readFile(dir.path / "stdout"); }

    // Waits for the installer to end; returns its exit status, or -1 when it did not.
    int exitStatus()
    {
        int status = 0;
        if (!eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }))
            return -1;
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    WorkDir dir{"installer e2e"};
    std::string title;
    std::vector<std::string> packages;
    pid_t pid = 0;
    unsigned long window = 0;
    const int installHeight = buttonHeight("Install");
};

TEST_F(Installer, ClosingTheWindowEndsWithStatusZero)
{
    start(0, {INSTALLER_PATH, "--no-such-option", "extra"});
    sendDeleteWindow(window);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(output(), "en_US.UTF-8\ndelete event occurred\n");
    EXPECT_TRUE(runs().empty());
}

TEST_F(Installer, InstallRunsOnlyWhileTickedAndAgainAfterAFailure)
{
    start(1);
    clickInstall();  // insensitive: nothing may run
    clickCheckBox();  // ticks, and moves the focus to Install
    pressReturn();
    ASSERT_TRUE(waitForRuns(1));
    pressReturn();  // the failure left Install focused and sensitive
    ASSERT_TRUE(waitForRuns(2));
    clickCheckBox();  // unticked: Return must not run anything
    pressReturn();
    clickCheckBox();
    clickInstall();
    ASSERT_TRUE(waitForRuns(3));
    sendDeleteWindow(window);
    EXPECT_EQ(exitStatus(), 0);

    const std::vector<std::string> records = runs();
    EXPECT_EQ(records.size(), 3u);
    for (const std::string& record : records)
        EXPECT_TRUE(isInstallOfAllPackages(record)) << record;
    EXPECT_EQ(output(),
              "en_US.UTF-8\nsystem return 256\nsystem return 256\nsystem return 256\n"
              "delete event occurred\n");
}

TEST_F(Installer, DoneEndsTheProgramAfterASuccessfulInstall)
{
    start(0);
    clickCheckBox();
    clickInstall();
    ASSERT_TRUE(waitForRuns(1));
    pressReturn();  // Done has the focus on the finished page
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(output(), "en_US.UTF-8\nsystem return 0\n");
}

TEST_F(Installer, ClosingTheFinishedPageEndsWithStatusZero)
{
    start(0);
    clickCheckBox();
    pressReturn();
    ASSERT_TRUE(eventually([&] { return output().find("system return 0\n") != std::string::npos; }));
    sendDeleteWindow(window);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(output(), "en_US.UTF-8\nsystem return 0\ndelete event occurred\n");
}

// The real road: the real pkexec, authorised by polkit (root needs no agent), and the
// real dpkg, in a private mount namespace where a scratch dpkg database with i386
// enabled is mounted over /var/lib/dpkg and the package's files land on a tmpfs over
// /opt, so that nothing of the machine's own changes.
class RealInstall : public Installer {
protected:
    static void TearDownTestSuite()
    {
        if (!busState.empty())
            std::system(("'" SYSTEM_BUS_SCRIPT "' stop '" + busState + "'").c_str());
    }

    void SetUp() override
    {
        Installer::SetUp();
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to install through the real pkexec and dpkg";
        if (std::system("unshare --mount true") != 0)
            GTEST_SKIP() << "mount namespaces are not available here";
        if (busState.empty()) {
            busState = (fs::temp_directory_path() / ("installer-system-bus." + std::to_string(getpid()))).string();
            ASSERT_EQ(std::system(("'" SYSTEM_BUS_SCRIPT "' start '" + busState + "'").c_str()), 0);
        }
        for (const auto& path : packages)
            fs::remove(path);
        fs::remove(dir.path / "bin/pkexec");
        for (const char* sub : {"info", "updates", "triggers"})
            fs::create_directories(dir.path / "db" / sub);
        writeFile(dir.path / "db/status", "");
        writeFile(dir.path / "db/available", "");
        writeFile(dir.path / "db/arch", commandOutput("dpkg --print-architecture") + "i386\n");
        fs::create_directories(dir.path / "results");
    }

    void buildPackage()
    {
        const fs::path tree = dir.path / "tree";
        writeFile(tree / "DEBIAN/control",
                  "Package: installer-road-test\nVersion: 1.0\nArchitecture: i386\n"
                  "Maintainer: Installer Tests <tests@example.invalid>\n"
                  "Description: sample package of the installer's tests\n");
        writeFile(tree / "opt/installer-road-test/sample.txt", "sample file\n");
        ASSERT_EQ(std::system(("dpkg-deb --root-owner-group --build '" + tree.string() + "' '"
                               + (dir.path / "road-test_1.0_i386.deb").string() + "' > /dev/null")
                                  .c_str()),
                  0);
        fs::remove_all(tree);
    }

    // Runs the installer in the namespace; once it ends, records what dpkg installed.
    void startInNamespace()
    {
        const std::string script
            = "mount --bind \"$1\" /var/lib/dpkg && mount -t tmpfs tmpfs /opt && mount -t tmpfs tmpfs /var/log"
              " || exit 99\n"
              "\"$2\"; status=$?\n"
              "dpkg-query -W -f='${Status}' installer-road-test > \"$3/status\" 2>&1\n"
              "cat /opt/installer-road-test/sample.txt > \"$3/file\" 2>&1\n"
              "exit $status\n";
        start(0,
              {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c", script, "sh",
               (dir.path / "db").string(), INSTALLER_PATH, (dir.path / "results").string()});
    }

    std::vector<std::string> statusLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(output());
        for (std::string line; std::getline(in, line);)
            if (line.starts_with("system return "))
                lines.push_back(line);
        return lines;
    }
    bool waitForStatusLines(std::size_t count)
    {
        return eventually([&] { return statusLines().size() >= count; }, 120s);
    }

    static inline std::string busState;
};

TEST_F(RealInstall, InstallsThePackageThroughPkexecAndDpkg)
{
    buildPackage();
    startInNamespace();
    clickCheckBox();
    pressReturn();
    ASSERT_TRUE(waitForStatusLines(1));
    EXPECT_EQ(statusLines()[0], "system return 0");
    pressReturn();  // Done
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(readFile(dir.path / "results/status"), "install ok installed");
    EXPECT_EQ(readFile(dir.path / "results/file"), "sample file\n");
}

TEST_F(RealInstall, CorruptPackageFailsAndTheAgreementPageStays)
{
    writeFile(dir.path / "broken_1.0_i386.deb", "this is not a Debian package\n");
    startInNamespace();
    clickCheckBox();
    pressReturn();
    ASSERT_TRUE(waitForStatusLines(1));
    EXPECT_NE(statusLines()[0], "system return 0");
    pressReturn();  // Install is still there, focused
    ASSERT_TRUE(waitForStatusLines(2));
    sendDeleteWindow(window);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_TRUE(output().ends_with("delete event occurred\n"));
    EXPECT_EQ(readFile(dir.path / "results/status").find("install ok installed"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    gtk_init(&argc, &argv);
    return RUN_ALL_TESTS();
}
