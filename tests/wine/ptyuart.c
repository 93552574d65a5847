/* Test equipment, never shipped: preloaded (LD_PRELOAD) into Wine and its wineserver by
 * scripts/test-on windows, so that a COM port linked to a pseudo-terminal behaves enough like a
 * UART for Qt Serial Port's Windows backend. Wine 10 learns of received characters and of the
 * modem lines through TIOCGICOUNT and TIOCMGET; a pseudo-terminal answers neither, so every
 * WaitCommEvent ends at once as aborted and Qt stops reading. Only where the real ioctl fails
 * with ENOTTY or EINVAL does this library answer: the modem lines show DSR, CTS and CD (a
 * scanner powered and ready), setting them is accepted, and the receive count grows by what
 * FIONREAD says is waiting, so that a wait ends when characters arrive. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>

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
        *(int *)argument = TIOCM_DSR | TIOCM_CTS | TIOCM_CD;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
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
