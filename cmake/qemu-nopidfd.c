// SPDX-License-Identifier: LGPL-2.1-or-later
/*
 * Preloaded into every program run under qemu-user (see NorvoCross.cmake).
 *
 * Qt 5.15's QProcess starts children with clone(CLONE_PIDFD) whenever the
 * probe waitid(P_PIDFD, ...) answers EBADF. qemu-user 7.2 passes that probe
 * through to the kernel, which knows P_PIDFD, but refuses CLONE_PIDFD itself;
 * Qt then takes an uninitialised descriptor for the child's (closing stdout
 * on the way) and every QProcess start fails. Answering the probe with
 * EINVAL makes Qt fall back to its plain fork() path, which qemu handles.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/syscall.h>

#define P_PIDFD 3

long syscall(long number, ...)
{
    static long (*next)(long, ...);
    va_list ap;
    long a, b, c, d, e, f;

    /* The kernel takes at most six arguments; passing six words on keeps
     * the caller's layout, 64-bit arguments on 32-bit ARM included. */
    va_start(ap, number);
    a = va_arg(ap, long);
    b = va_arg(ap, long);
    c = va_arg(ap, long);
    d = va_arg(ap, long);
    e = va_arg(ap, long);
    f = va_arg(ap, long);
    va_end(ap);

    if (number == SYS_waitid && a == P_PIDFD) {
        errno = EINVAL;
        return -1;
    }
    if (!next)
        next = (long (*)(long, ...))dlsym(RTLD_NEXT, "syscall");
    return next(number, a, b, c, d, e, f);
}

/* The emulator hands this preload to each program it starts; native
 * programs started from here must not inherit an ARM preload. */
__attribute__((constructor)) static void forgetPreload(void)
{
    unsetenv("LD_PRELOAD");
}
