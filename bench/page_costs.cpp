// page_costs: what fresh memory costs on this host, so that every timing
// taken here can say which kind of host it comes from.
//
//   page_costs [MB] [idle seconds]        default 512 MB, 5 s
//
// For each way of taking pages it prints the milliseconds a megabyte of
// the populate call, of the first write to every 4 KiB page after it, and
// of both: small pages (MAP_POPULATE), and huge pages (MADV_HUGEPAGE, then
// MADV_POPULATE_WRITE) right after another mapping gave huge pages back and
// after idle seconds. The sum is what a program pays. Linux only.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const size_t HUGE_PAGE = size_t(2) << 20;

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void show_file(const char *label, const char *path)
{
    char line[256] = "?";
    if (FILE *f = fopen(path, "r")) {
        if (!fgets(line, sizeof line, f)) strcpy(line, "?");
        fclose(f);
    }
    line[strcspn(line, "\n")] = '\0';
    printf("%-24s %s\n", label, line);
}

// Huge-page backed kilobytes of the mapping starting at p.
long huge_kb(const char *p)
{
    FILE *f = fopen("/proc/self/smaps", "r");
    if (!f) return -1;
    char line[512];
    bool in = false;
    long kb = -1;
    while (fgets(line, sizeof line, f)) {
        unsigned long lo, hi;
        if (sscanf(line, "%lx-%lx ", &lo, &hi) == 2 && strchr(line, '-') < strchr(line, ' ')) {
            in = reinterpret_cast<uintptr_t>(p) >= lo && reinterpret_cast<uintptr_t>(p) < hi;
            continue;
        }
        if (in && sscanf(line, "AnonHugePages: %ld kB", &kb) == 1) break;
    }
    fclose(f);
    return kb;
}

struct Cost {
    double populate, write;  // seconds
    long huge_kb;
};

void touch(char *p, size_t n)
{
    for (size_t o = 0; o < n; o += 4096) p[o] = 1;
}

char *aligned_map(size_t n)
{
    char *m = static_cast<char *>(
        mmap(nullptr, n + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (m == MAP_FAILED) return nullptr;
    char *base =
        reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(m) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1));
    if (base > m) munmap(m, size_t(base - m));
    if (size_t tail = size_t(m + HUGE_PAGE - base)) munmap(base + n, tail);
    return base;
}

Cost take(size_t n, bool huge)
{
    Cost c{0, 0, 0};
    char *p;
    double t0 = now();
    if (huge) {
        p = aligned_map(n);
        if (!p || madvise(p, n, MADV_HUGEPAGE) != 0 || madvise(p, n, MADV_POPULATE_WRITE) != 0) {
            perror("page_costs: huge pages");
            exit(1);
        }
    } else {
        void *m = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (m == MAP_FAILED) {
            perror("page_costs: mmap");
            exit(1);
        }
        p = static_cast<char *>(m);
    }
    double t1 = now();
    touch(p, n);
    double t2 = now();
    c.populate = t1 - t0;
    c.write = t2 - t1;
    c.huge_kb = huge_kb(p);
    munmap(p, n);
    return c;
}

void report(const char *what, const Cost &c, double mb)
{
    printf("%-34s %8.3f %8.3f %8.3f %10ld\n", what, c.populate * 1e3 / mb, c.write * 1e3 / mb,
           (c.populate + c.write) * 1e3 / mb, c.huge_kb / 1024);
}

}  // namespace

int main(int argc, char **argv)
{
    long mb = argc > 1 ? atol(argv[1]) : 512;
    int idle = argc > 2 ? atoi(argv[2]) : 5;
    if (mb < 2 || idle < 0) {
        fprintf(stderr, "usage: page_costs [MB >= 2] [idle seconds]\n");
        return 2;
    }
    size_t n = size_t(mb) << 20;
    double dmb = double(mb);

    show_file("kernel", "/proc/sys/kernel/osrelease");
    show_file("transparent huge pages", "/sys/kernel/mm/transparent_hugepage/enabled");
    show_file("THP defrag", "/sys/kernel/mm/transparent_hugepage/defrag");
    show_file("page reporting order", "/sys/module/page_reporting/parameters/page_reporting_order");
    printf("%ld MB each; ms a MB\n\n", mb);
    printf("%-34s %8s %8s %8s %10s\n", "pages", "populate", "1st write", "sum", "huge MB");

    sleep(unsigned(idle));
    report("small, after idle", take(n, false), dmb);
    report("small, right after small freed", take(n, false), dmb);
    take(n, true);  // leaves huge pages freed a moment ago
    report("huge, right after huge freed", take(n, true), dmb);
    report("small, right after huge freed", take(n, false), dmb);
    sleep(unsigned(idle));
    report("huge, after idle", take(n, true), dmb);
    sleep(unsigned(idle));
    take(n, false);
    report("huge, right after small freed", take(n, true), dmb);
    return 0;
}
