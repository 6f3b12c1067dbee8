#include "workers.h"

int workers_for(long long amount, long long least)
{
    long long k = least > 0 ? amount / least : amount;
    k = k < processors() ? k : processors();
    return k < 1 ? 1 : k > MAX_WORKERS ? MAX_WORKERS : static_cast<int>(k);
}

#ifdef _WIN32

int processors(void) { return 1; }
bool worker_start(Worker *, void *(*)(void *), void *) { return false; }
void worker_join(Worker *) {}
long long read_at(int, char *, size_t, long long) { return -1; }

#else

#include <sched.h>
#include <unistd.h>

#include <cerrno>

int processors(void)
{
#ifdef CPU_COUNT
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool worker_start(Worker *w, void *(*work)(void *), void *arg)
{
    return pthread_create(&w->thread, nullptr, work, arg) == 0;
}

void worker_join(Worker *w) { pthread_join(w->thread, nullptr); }

long long read_at(int fd, char *buf, size_t n, long long offset)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = pread(fd, buf + got, n - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<long long>(got);
}

#endif
