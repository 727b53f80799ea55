/* Makes Wine a machine of MJR_FAKE_CPUS processors: loaded with LD_PRELOAD into every Wine
 * process, wineserver included, it answers the processor count and the default affinity
 * with that many processors and folds each mask given to sched_setaffinity onto the real
 * processors, so that a mask of processors 8-15 or 63 is taken where only two exist.
 * With MJR_FAKE_CPUS_LOG set, each mask asked for is appended there as "tid mask" (hex,
 * before folding): the tests count the sets a process received.
 * Built by the test harness: cc -shared -fPIC -o libfakecpus.so fake_cpus.c -ldl, and with
 * -m32 as libfakecpus32.so for 32-bit Wine processes where the machine runs them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static int fake_count(void) {
    const char *text = getenv("MJR_FAKE_CPUS");
    int n = text ? atoi(text) : 0;
    return n > 0 && n <= CPU_SETSIZE ? n : 0;
}

static long (*real_sysconf(void))(int) {
    static long (*real)(int);
    if (!real) real = (long (*)(int))dlsym(RTLD_NEXT, "sysconf");
    return real;
}

static int (*real_getaffinity(void))(pid_t, size_t, cpu_set_t *) {
    static int (*real)(pid_t, size_t, cpu_set_t *);
    if (!real) real = (int (*)(pid_t, size_t, cpu_set_t *))dlsym(RTLD_NEXT, "sched_getaffinity");
    return real;
}

long sysconf(int name) {
    int n = fake_count();
    if (n && (name == _SC_NPROCESSORS_ONLN || name == _SC_NPROCESSORS_CONF)) return n;
    return real_sysconf()(name);
}

int sched_getaffinity(pid_t pid, size_t size, cpu_set_t *set) {
    int n = fake_count();
    if (!n) return real_getaffinity()(pid, size, set);
    if (!set || size == 0) return real_getaffinity()(pid, size, set);
    memset(set, 0, size);
    for (int i = 0; i < n && (size_t)i < size * 8; ++i) CPU_SET_S(i, size, set);
    return 0;
}

static void log_mask(pid_t pid, size_t size, const cpu_set_t *set) {
    const char *path = getenv("MJR_FAKE_CPUS_LOG");
    if (!path || !*path) return;
    unsigned long long mask = 0;
    for (int i = 0; i < 64 && (size_t)i < size * 8; ++i)
        if (CPU_ISSET_S(i, size, set)) mask |= 1ull << i;
    char line[64];
    int length = snprintf(line, sizeof line, "%d %llx\n", (int)(pid ? pid : getpid()), mask);
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, line, (size_t)length) < 0) { /* a lost line only weakens a count */ }
    close(fd);
}

int sched_setaffinity(pid_t pid, size_t size, const cpu_set_t *set) {
    static int (*real)(pid_t, size_t, const cpu_set_t *);
    if (!real) real = (int (*)(pid_t, size_t, const cpu_set_t *))dlsym(RTLD_NEXT, "sched_setaffinity");
    int n = fake_count();
    if (!n || !set) return real(pid, size, set);
    log_mask(pid, size, set);
    /* The processors this process may really use, in order: processor i runs on the
     * (i mod count)-th of them. */
    cpu_set_t allowed;
    int real_cpus[CPU_SETSIZE];
    int count = 0;
    CPU_ZERO(&allowed);
    if (real_getaffinity()(0, sizeof allowed, &allowed) == 0)
        for (int i = 0; i < CPU_SETSIZE; ++i)
            if (CPU_ISSET(i, &allowed)) real_cpus[count++] = i;
    if (count == 0) real_cpus[count++] = 0;
    cpu_set_t folded;
    CPU_ZERO(&folded);
    int any = 0;
    for (int i = 0; (size_t)i < size * 8 && i < CPU_SETSIZE; ++i)
        if (CPU_ISSET_S(i, size, set)) {
            CPU_SET(real_cpus[i % count], &folded);
            any = 1;
        }
    if (!any) return real(pid, size, set); /* let the kernel refuse an empty mask */
    return real(pid, sizeof folded, &folded);
}
