#include "PrivateDisplay.h"

#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
/** With no window manager the server refuses some of the framework's window-manager requests (BadAtom);
    Xlib's own handler would end the program for that. */
int ignoreXError (Display*, XErrorEvent*) { return 0; }

/** Reads the display number that Xvfb writes once it accepts connections; empty after timeoutMs. */
std::string readDisplayNumber (int fd, int timeoutMs)
{
    std::string number;
    pollfd waiting{ fd, POLLIN, 0 };

    while (poll (&waiting, 1, timeoutMs) > 0)
    {
        char c;
        if (read (fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return number;
        number += c;
    }

    return {};
}
} // namespace

PrivateDisplay::PrivateDisplay()
{
    // Without a server of its own the program has no display at all, never the user's.
    unsetenv ("DISPLAY");
    XSetErrorHandler (ignoreXError);

    int pipeEnds[2];
    if (pipe (pipeEnds) != 0)
        return;

    server = fork();
    if (server == 0)
    {
        // The server goes with this program, however it ends.
        prctl (PR_SET_PDEATHSIG, SIGTERM);
        close (pipeEnds[0]);

        if (const auto quiet = open ("/dev/null", O_RDWR); quiet >= 0)
            for (const auto fd : { 0, 1, 2 })
                dup2 (quiet, fd);

        const auto displayFd = std::to_string (pipeEnds[1]);
        execlp ("Xvfb",
                "Xvfb",
                "-displayfd",
                displayFd.c_str(),
                "-screen",
                "0",
                "1280x1024x24",
                "-nolisten",
                "tcp",
                (char*) nullptr);
        _exit (127);
    }

    close (pipeEnds[1]);

    if (server > 0)
    {
        const auto number = readDisplayNumber (pipeEnds[0], 20000);
        if (!number.empty())
        {
            name = ":" + number;
            setenv ("DISPLAY", name.c_str(), 1);
        }
    }

    close (pipeEnds[0]);
}

PrivateDisplay::~PrivateDisplay()
{
    if (server <= 0)
        return;

    kill (server, SIGTERM);
    while (waitpid (server, nullptr, 0) < 0 && errno == EINTR)
    {
    }
}
