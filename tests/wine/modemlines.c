/* Preloaded into Wine (not into wineserver) by tests/wine/windows-installations.
 * A pseudo-terminal has no modem lines, and Wine gives up its serial wait
 * when it can't read them: on pseudo-terminal slaves only, the modem-line
 * requests are answered here (CTS, DSR and CD on; DTR and RTS as last set)
 * and every other call goes to the C library. Wine's 32-bit half is built
 * with 64-bit time and calls __ioctl_time64 instead of ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int set_lines = TIOCM_DTR | TIOCM_RTS;

static int is_pty_slave(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static int modem_lines(int fd, unsigned long request, void *arg, const char *name)
{
    if (is_pty_slave(fd)) {
        int *bits = arg;
        switch (request) {
        case TIOCMGET:
            *bits = set_lines | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
            return 0;
        case TIOCMSET:
            set_lines = *bits & (TIOCM_DTR | TIOCM_RTS);
            return 0;
        case TIOCMBIS:
            set_lines |= *bits & (TIOCM_DTR | TIOCM_RTS);
            return 0;
        case TIOCMBIC:
            set_lines &= ~*bits;
            return 0;
        }
    }
    ioctl_fn real = (ioctl_fn)dlsym(RTLD_NEXT, name);
    return real(fd, request, arg);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    return modem_lines(fd, request, arg, "ioctl");
}

int __ioctl_time64(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    return modem_lines(fd, request, arg, "__ioctl_time64");
}
