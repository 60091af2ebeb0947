/* Preloaded into programs that drive a serial port's modem lines, which a
 * pseudo-terminal lacks: into Wine (not into wineserver) by
 * tests/wine/windows-installations, whose serial wait gives up when it
 * can't read them, and into esptool (pyserial) by the demo and the tests,
 * which resets the board through DTR and RTS. On pseudo-terminal slaves
 * only, the modem-line requests are answered here (CTS, DSR and CD on; DTR
 * and RTS as last set) and every other call goes to the C library. Wine's
 * 32-bit half is built with 64-bit time and calls __ioctl_time64 instead of
 * ioctl.
 *
 * When VELTRA_MODEM_LINES names a file, every setting of DTR and RTS is
 * appended to it as a line "NANOSECONDS DTR RTS" (the monotonic clock, 0 or
 * 1 for each line): the receiver simulator follows the file as a board's
 * reset circuit follows the lines. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int set_lines = TIOCM_DTR | TIOCM_RTS;

static int is_pty_slave(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

/* One write of a whole line to a file opened for appending, so that lines
 * from several settings never mix. */
static void record_lines(void)
{
    const char *path = getenv("VELTRA_MODEM_LINES");
    if (!path || !*path)
        return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[64];
    const int length = snprintf(line, sizeof line, "%lld %d %d\n",
                                (long long)now.tv_sec * 1000000000LL + now.tv_nsec,
                                (set_lines & TIOCM_DTR) != 0, (set_lines & TIOCM_RTS) != 0);
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    /* A short write only loses this setting for the simulator. */
    const ssize_t written = write(fd, line, (size_t)length);
    (void)written;
    close(fd);
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
            record_lines();
            return 0;
        case TIOCMBIS:
            set_lines |= *bits & (TIOCM_DTR | TIOCM_RTS);
            record_lines();
            return 0;
        case TIOCMBIC:
            set_lines &= ~*bits;
            record_lines();
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
