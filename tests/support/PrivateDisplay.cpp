#include "PrivateDisplay.h"
#include "NoDisplay.h"

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

/** Waits for the line that Xvfb writes once it accepts connections; false when it ends first or after timeoutMs. */
bool waitUntilReady (int fd, int timeoutMs)
{
    pollfd waiting{ fd, POLLIN, 0 };

    while (poll (&waiting, 1, timeoutMs) > 0)
    {
        char c;
        if (read (fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
    }

    return false;
}

void stop (pid_t server)
{
    kill (server, SIGTERM);
    while (waitpid (server, nullptr, 0) < 0 && errno == EINTR)
    {
    }
}

/** Starts Xvfb on display number; its process, or -1 when it could not take that display. */
pid_t startServer (int number)
{
    int pipeEnds[2];
    if (pipe (pipeEnds) != 0)
        return -1;

    const auto server = fork();
    if (server == 0)
    {
        // The server goes with this program, however it ends.
        prctl (PR_SET_PDEATHSIG, SIGTERM);
        close (pipeEnds[0]);

        if (const auto quiet = open ("/dev/null", O_RDWR); quiet >= 0)
            for (const auto fd : { 0, 1, 2 })
                dup2 (quiet, fd);

        const auto display = ":" + std::to_string (number);
        const auto readyFd = std::to_string (pipeEnds[1]);
        execlp ("Xvfb",
                "Xvfb",
                display.c_str(),
                "-displayfd",
                readyFd.c_str(),
                "-screen",
                "0",
                "1280x1024x24",
                "-nolisten",
                "tcp",
                (char*) nullptr);
        _exit (127);
    }

    close (pipeEnds[1]);
    const auto ready = server > 0 && waitUntilReady (pipeEnds[0], 20000);
    close (pipeEnds[0]);

    if (server > 0 && !ready)
        stop (server);

    return ready ? server : -1;
}
} // namespace

PrivateDisplay::PrivateDisplay()
{
    // Without a server of its own the program has no display at all, never the user's.
    leaveNoDisplay();
    XSetErrorHandler (ignoreXError);

    // Far above the numbers people and the framework's fallback (":0") use; test programs run side by side, so
    // each starts at a number of its own and moves on when that one is taken.
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        const auto number = 300 + (int) ((getpid() + 97 * attempt) % 3000);
        if (access (("/tmp/.X11-unix/X" + std::to_string (number)).c_str(), F_OK) == 0)
            continue;

        server = startServer (number);
        if (server > 0)
        {
            name = ":" + std::to_string (number);
            setenv ("DISPLAY", name.c_str(), 1);
            return;
        }
    }
}

PrivateDisplay::~PrivateDisplay()
{
    if (server > 0)
        stop (server);
}
