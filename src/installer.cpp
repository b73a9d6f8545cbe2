#include "installer.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

InstallerState installerState;

std::string_view agreementText()
{
    const InstallerState& s = installerState;
    return s.licenseData
        ? std::string_view(s.licenseData.get(), static_cast<std::size_t>(s.licenseDataSize))
        : std::string_view();
}

void reportLine(std::string_view line)
{
    // Not g_print: it converts to the locale's character set, which before gtk_init is
    // ASCII, and marks bytes that are not UTF-8.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    std::clearerr(stdout);
}

void prepareProcess()
{
    // A closed descriptor 0, 1 or 2 would be taken by the next file opened, the X
    // connection among them, and the diagnostics would be written into it. open() takes
    // the lowest free descriptor, so going up from 0 fills exactly the closed ones.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) < 0)
            _exit(1);
    // With SIGCHLD ignored the installation command would reap itself and its status be lost.
    signal(SIGCHLD, SIG_DFL);
    signal(SIGPIPE, SIG_IGN);
}

void destroy(GtkWidget* /*widget*/, gpointer /*data*/)
{
    gtk_main_quit();
}

gboolean delete_event(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer /*data*/)
{
    reportLine("delete event occurred");
    return FALSE;
}
