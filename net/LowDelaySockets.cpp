#include "net/LowDelaySockets.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
using ConnectFn = int (*)(int, const struct sockaddr *, socklen_t);

std::atomic<bool> s_enabled{false};

ConnectFn realConnect()
{
    static const ConnectFn fn = reinterpret_cast<ConnectFn>(dlsym(RTLD_NEXT, "connect"));
    return fn;
}

// Reads no further than the caller's length: an address cut short is refused by connect itself.
bool isTcp(int fd, const struct sockaddr *addr, socklen_t len)
{
    if (!addr || len < socklen_t(sizeof(sa_family_t)))
        return false;
    const sa_family_t family = addr->sa_family;
    // The scope of an IPv6 address may be left out (the length of RFC 2133).
    if ((family != AF_INET || len < socklen_t(sizeof(sockaddr_in))) &&
        (family != AF_INET6 || len < socklen_t(offsetof(sockaddr_in6, sin6_scope_id))))
        return false;
    int type = 0;
    socklen_t typeLen = sizeof(type);
    return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLen) == 0 && type == SOCK_STREAM;
}
} // namespace

// Exported so that the toolkit's libraries bind to it instead of the C library's.
extern "C" __attribute__((visibility("default"))) int connect(int fd, const struct sockaddr *addr, socklen_t len)
{
    const ConnectFn fn = realConnect();
    if (!fn) {
        errno = ENOSYS;
        return -1;
    }
    if (s_enabled.load(std::memory_order_relaxed) && isTcp(fd, addr, len)) {
        // Set before the handshake so that even the first request goes out at once; a failure
        // here only costs speed, so the caller's errno is left as it was.
        const int saved = errno;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        errno = saved;
    }
    return fn(fd, addr, len);
}

bool LowDelaySockets::enable()
{
    s_enabled.store(true);
    return realConnect() != nullptr;
}

void LowDelaySockets::disable()
{
    s_enabled.store(false);
}

bool LowDelaySockets::isEnabled()
{
    return s_enabled.load();
}

int LowDelaySockets::noDelayOf(int fd)
{
    int value = 0;
    socklen_t len = sizeof(value);
    if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &len) != 0)
        return -1;
    return value ? 1 : 0;
}
