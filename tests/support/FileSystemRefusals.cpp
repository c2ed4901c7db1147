#include "tests/support/FileSystemRefusals.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {
int s_refusals = FileSystemRefusals::None;
FileSystemRefusals::BeforeCall s_beforeCall;

// The system's own function of that name: the next definition after this executable's.
template<typename F>
F systemCall(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void beforeCall(const char *call, int dir, const char *name)
{
    if (s_beforeCall) {
        const int saved = errno;
        s_beforeCall(call, dir, name);
        errno = saved;
    }
}
} // namespace

void FileSystemRefusals::refuse(int refusals)
{
    s_refusals = refusals;
}

void FileSystemRefusals::setBeforeCall(BeforeCall hook)
{
    s_beforeCall = std::move(hook);
}

void FileSystemRefusals::reset()
{
    s_refusals = None;
    s_beforeCall = nullptr;
}

// Defined in the executable, these come before the C library's for every caller in the process.
extern "C" {
int renameat2(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, unsigned int flags) noexcept
{
    if (((flags & RENAME_EXCHANGE) && (s_refusals & FileSystemRefusals::Exchange)) ||
        ((flags & RENAME_NOREPLACE) && (s_refusals & FileSystemRefusals::NoReplace))) {
        errno = EINVAL;
        return -1;
    }
    beforeCall("renameat2", newdirfd, newpath);
    static const auto real = systemCall<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

int renameat(int olddirfd, const char *oldpath, int newdirfd, const char *newpath) noexcept
{
    beforeCall("renameat", newdirfd, newpath);
    static const auto real = systemCall<int (*)(int, const char *, int, const char *)>("renameat");
    return real(olddirfd, oldpath, newdirfd, newpath);
}

int linkat(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, int flags) noexcept
{
    if (s_refusals & FileSystemRefusals::Links) {
        errno = EPERM;
        return -1;
    }
    if (s_refusals & FileSystemRefusals::LinkFailsOnce) {
        s_refusals &= ~FileSystemRefusals::LinkFailsOnce;
        errno = EIO;
        return -1;
    }
    beforeCall("linkat", newdirfd, newpath);
    static const auto real = systemCall<int (*)(int, const char *, int, const char *, int)>("linkat");
    const int result = real(olddirfd, oldpath, newdirfd, newpath, flags);
    if (result == 0 && (s_refusals & FileSystemRefusals::LostLinkReply)) {
        errno = EEXIST;
        return -1;
    }
    return result;
}
}
