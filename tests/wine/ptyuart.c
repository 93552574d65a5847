// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

/* Test equipment, never shipped: preloaded (LD_PRELOAD) into Wine and its wineserver by
 * scripts/test-on windows, so that a COM port linked to a pseudo-terminal behaves enough like a
 * UART for Qt Serial Port's Windows backend. Wine 10 learns of received characters and of the
 * modem lines through TIOCGICOUNT and TIOCMGET; a pseudo-terminal answers neither, so every
 * WaitCommEvent ends at once as aborted and Qt stops reading. Only where the real ioctl fails
 * with ENOTTY or EINVAL does this library answer: the modem lines show DSR, CTS and CD (a
 * scanner powered and ready), setting them is accepted, and the receive count grows by what
 * FIONREAD says is waiting, so that a wait ends when characters arrive. The DTR and RTS lines
 * that the port sets are kept per pseudo-terminal in a file of the folder PELMAR_LINE_STATE
 * names (tty-MAJOR-MINOR, the bits as a decimal number), where the line server reads them as
 * the scanner would see them, and TIOCMGET gives them back to the port with the others. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*IoctlFunction)(int, unsigned long, void *);

/* Counted per descriptor, as a UART's counters are per port; a descriptor beyond the table
 * shares the last slot, which still grows whenever characters wait. */
enum { CountedDescriptors = 1024 };
static unsigned long receivedCounts[CountedDescriptors];

static IoctlFunction realIoctl(void)
{
    static IoctlFunction real;
    if (!real)
        real = (IoctlFunction)dlsym(RTLD_NEXT, "ioctl");
    return real;
}

enum { SetLines = TIOCM_DTR | TIOCM_RTS };

/* The file where the lines of fd's pseudo-terminal are kept; 0 when there is none to keep. */
static int stateFile(int fd, char *path, size_t size)
{
    const char *folder = getenv("PELMAR_LINE_STATE");
    struct stat device;
    if (!folder || !*folder || fstat(fd, &device) != 0 || !S_ISCHR(device.st_mode))
        return 0;
    const int length = snprintf(path, size, "%s/tty-%u-%u", folder, major(device.st_rdev),
                                minor(device.st_rdev));
    return length > 0 && (size_t)length < size;
}

/* The lines set on fd's pseudo-terminal: none until the port sets them, as at a fresh open.
 * Only system calls here: Wine calls ioctl where the C library's stdio and malloc may not be
 * used (a port read that way stopped receiving). */
static int linesSet(int fd)
{
    char path[4096];
    char text[16] = {0};
    if (!stateFile(fd, path, sizeof path))
        return 0;
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return 0;
    const ssize_t length = read(file, text, sizeof text - 1);
    close(file);
    int lines = 0;
    for (ssize_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
        lines = lines * 10 + (text[i] - '0');
    return lines & SetLines;
}

/* Written whole under another name and then renamed, so that a reader never sees half. */
static void keepLines(int fd, int lines)
{
    char path[4096];
    char staged[4200];
    char text[16];
    if (!stateFile(fd, path, sizeof path))
        return;
    snprintf(staged, sizeof staged, "%s.%ld", path, (long)getpid());
    const int length = snprintf(text, sizeof text, "%d\n", lines & SetLines);
    const int file = open(staged, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    const int written = write(file, text, (size_t)length) == length;
    if (close(file) == 0 && written)
        rename(staged, path);
    else
        unlink(staged);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);

    const IoctlFunction real = realIoctl();
    const int result = real(fd, request, argument);
    if (result != -1 || (errno != ENOTTY && errno != EINVAL) || fd < 0)
        return result;
    const int failure = errno;

    switch (request) {
    case TIOCMGET:
        *(int *)argument = TIOCM_DSR | TIOCM_CTS | TIOCM_CD | linesSet(fd);
        return 0;
    case TIOCMSET:
        keepLines(fd, *(const int *)argument);
        return 0;
    case TIOCMBIS:
        keepLines(fd, linesSet(fd) | *(const int *)argument);
        return 0;
    case TIOCMBIC:
        keepLines(fd, linesSet(fd) & ~*(const int *)argument);
        return 0;
    case TIOCGICOUNT: {
        int waiting = 0;
        if (real(fd, FIONREAD, &waiting) != 0) {
            errno = failure;
            return -1;
        }
        unsigned long *count =
                &receivedCounts[fd < CountedDescriptors ? fd : CountedDescriptors - 1];
        struct serial_icounter_struct *counters = argument;
        memset(counters, 0, sizeof *counters);
        counters->rx = (int)__atomic_add_fetch(count, (unsigned long)waiting, __ATOMIC_RELAXED);
        return 0;
    }
    default:
        errno = failure;
        return -1;
    }
}
