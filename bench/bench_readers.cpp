// The model readers on a generated model (see make_models), in MB/s of the
// model file, called directly through the f1 seam with scripted answers;
// and the bare parse of the same grid by scan_number, std::from_chars and
// strtod for comparison. The page cache is warmed by the first iteration.
//
// usage: bench_readers [benchmark flags] <dir> [name]   (name: "terrain")
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console.h"
#include "nadir_spot.h"
#include "nrutil.h"
#include "scan_number.h"

namespace {

std::string base;  // <dir>/<name>

long long file_size(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return -1;
    fseek(f, 0, SEEK_END);
    long long n = ftell(f);
    fclose(f);
    return n;
}

// Runs the reader in a fresh child process, as the program runs it: the
// matrices take fresh memory (page faults included) instead of reusing what
// an earlier iteration freed. The time is the child's whole life, exit
// included; its dialogue goes to /dev/null.
double time_in_child(void (*reader)(void), const char *answers, size_t n)
{
    fflush(stdout);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        console_input_memory(answers, n);
        reader();
        fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto t1 = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(t1 - t0).count();
}

void raw(benchmark::State &state, int depth)
{
    std::string suffix = depth == 0 ? "_m2" : "_m4";
    FILE *d = fopen((base + suffix + ".txt").c_str(), "r");
    int lines = 0, cols = 0, val, lo, hi;
    double pix = 0;
    if (!d || fscanf(d, "%d%d%d%d%d%lf", &lines, &cols, &val, &lo, &hi, &pix) != 6) {
        state.SkipWithError("no model: run make_models first");
        return;
    }
    fclose(d);
    nb_lig = lines;
    nb_col = cols;
    itype = depth;
    dpix_size = pix;
    descr_OK = true;
    for (auto _ : state) {
        f1 = fopen((base + suffix + ".raw").c_str(), "rb");
        double t = depth == 0 ? time_in_child(dem_lecture, "k1", 2) : time_in_child(dem_lecture, "3", 1);
        fclose(f1);
        if (t < 0) {
            state.SkipWithError("the reader stopped");
            return;
        }
        state.SetIterationTime(t);
    }
    state.SetBytesProcessed(state.iterations() * file_size(base + suffix + ".raw"));
    state.counters["cells"] = static_cast<double>(lines) * cols;
}

void grid(benchmark::State &state)
{
    for (auto _ : state) {
        nb_lig = nb_col = 0;
        f1 = fopen((base + ".asc").c_str(), "r");
        if (!f1) {
            state.SkipWithError("no model: run make_models first");
            return;
        }
        double t = time_in_child(ascii_lecture, "", 0);
        fclose(f1);
        if (t < 0) {
            state.SkipWithError("the reader stopped");
            return;
        }
        state.SetIterationTime(t);
    }
    state.SetBytesProcessed(state.iterations() * file_size(base + ".asc"));
}

// The values of the grid (its header's six entries skipped) parsed from
// 1 MiB blocks by one conversion; the sum keeps the work from vanishing
// (scan_words stores its values in a row, as the reader does).
// SCAN_WORDS: scan_words in the best way the processor has (AVX2), with
// scan_number for the words it leaves, as the reader does; SCAN_NUMBER:
// the exact way alone, one word at a time.
enum Parser { SCAN_WORDS, SCAN_NUMBER, FROM_CHARS, STRTOD };

template <Parser P>
void parse(benchmark::State &state)
{
    std::vector<char> space(SCAN_READS_BEFORE + (1 << 20) + 4097);
    char *const data = space.data() + SCAN_READS_BEFORE;
    const size_t size = (1 << 20) + 4097;
    for (auto _ : state) {
        FILE *f = fopen((base + ".asc").c_str(), "r");
        if (!f) {
            state.SkipWithError("no model: run make_models first");
            return;
        }
        double sum = 0;
        long long values = 0;
        int words = 0;
        size_t keep = 0;
        bool eof = false;
        while (!eof) {
            size_t got = fread(data + keep, 1, size - 1 - keep, f);
            eof = got < size - 1 - keep;
            char *p = data, *lim = data + keep + got;
            *lim = '\0';  // strtod's terminator
            for (;;) {
                while (p < lim && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) p++;
                if (p == lim || (!eof && lim - p < 4096)) break;
                double v;
                char *q;
                if (words < 12) {  // header: keyword, value
                    q = p;
                    while (q < lim && *q != ' ' && *q != '\n') q++;
                    words++;
                    p = q;
                    continue;
                }
                // As the grid reader: several at a time, scan_number for the rest.
                if (P == SCAN_WORDS) {
                    double run[1024];  // a row
                    const char *r = p;
                    int taken = scan_words(&r, lim, run, 1024);
                    if (taken > 0) {
                        benchmark::ClobberMemory();  // the values stored, as in a matrix row
                        values += taken;
                        p = const_cast<char *>(r);
                        continue;
                    }
                    q = const_cast<char *>(scan_number(p, lim, &v));
                } else if (P == SCAN_NUMBER) {
                    q = const_cast<char *>(scan_number(p, lim, &v));
                } else if (P == FROM_CHARS) {
                    const char *s = p + (*p == '+');
                    q = const_cast<char *>(std::from_chars(s, lim, v).ptr);
                } else {
                    v = strtod(p, &q);
                }
                if (q == p) {
                    state.SkipWithError("not a number");
                    return;
                }
                sum += v;
                values++;
                p = q;
            }
            keep = static_cast<size_t>(lim - p);
            memmove(data, p, keep);
        }
        fclose(f);
        benchmark::DoNotOptimize(sum);
        state.counters["cells"] = static_cast<double>(values);
    }
    state.SetBytesProcessed(state.iterations() * file_size(base + ".asc"));
}

// The scanners alone on 64 KiB of grid values held in cache: ns a value.
enum Scanner { FAST, SLOW, FROM_CHARS_ONLY, STRTOD_ONLY };

template <Scanner S>
void scan_kernel(benchmark::State &state)
{
    static std::vector<char> text;
    static std::vector<const char *> starts;
    if (text.empty()) {
        FILE *f = fopen((base + ".asc").c_str(), "r");
        text.resize(65536 + 64, ' ');
        if (!f || fread(text.data(), 1, 65536, f) != 65536) {
            state.SkipWithError("no model: run make_models first");
            return;
        }
        fclose(f);
        text[65536] = '\0';
        // Words of the first data lines, past the header's twelve.
        int words = 0;
        for (size_t i = 0; i + 32 < 65536; i++)
            if (text[i] > ' ' && (i == 0 || text[i - 1] <= ' ') && ++words > 12) starts.push_back(&text[i]);
    }
    const char *end = text.data() + 65536;
    for (auto _ : state) {
        double sum = 0;
        for (const char *p : starts) {
            double v;
            if (S == FAST)
                scan_number(p, end, &v);
            else if (S == SLOW)
                scan_number_slow(p, end, &v);
            else if (S == FROM_CHARS_ONLY)
                std::from_chars(p, end, v);
            else
                v = strtod(p, nullptr);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(starts.size()));
}

}  // namespace

BENCHMARK_TEMPLATE(scan_kernel, FAST);
BENCHMARK_TEMPLATE(scan_kernel, SLOW);
BENCHMARK_TEMPLATE(scan_kernel, FROM_CHARS_ONLY);
BENCHMARK_TEMPLATE(scan_kernel, STRTOD_ONLY);
BENCHMARK_CAPTURE(raw, raw16_decimetres, 0)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(raw, raw32_millimetres, 1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(grid)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK_TEMPLATE(parse, SCAN_WORDS)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_TEMPLATE(parse, SCAN_NUMBER)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_TEMPLATE(parse, FROM_CHARS)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_TEMPLATE(parse, STRTOD)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: bench_readers [benchmark flags] <dir> [name]\n");
        return 2;
    }
    base = std::string(argv[1]) + "/" + (argc > 2 ? argv[2] : "terrain");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
