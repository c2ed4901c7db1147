#pragma once

// Qt 5.15 gives no access to the sockets of its HTTP connections, never sets the low-delay option
// on them, and writes a request's headers and body in two writes: Nagle then holds the body back
// until the service acknowledges the headers, which it may delay by 40 ms or more. This process
// therefore owns connect(2): once enabled, every TCP socket it connects gets TCP_NODELAY before the
// connection is made, whichever part of the program (or of Qt) opens it. The real connect is found
// with dlsym(RTLD_NEXT); nothing is preloaded.
class LowDelaySockets
{
public:
    // Called for every network access manager the session makes. Returns false when the real
    // connect could not be found (then no connection could be made at all).
    static bool enable();
    // For tests: connections made from now on keep the system's default.
    static void disable();
    static bool isEnabled();
    // The low-delay option of a socket: 1 on, 0 off, -1 when it cannot be read (not TCP).
    static int noDelayOf(int fd);
};
