// The row kernels of the readers and the search, and the mask's BMP rows,
// in cells (or bytes) a second. Each runs on rows of 8000 cells, either one
// row over and over (in cache: the kernel's own speed) or 1000 different
// rows (64 MB of doubles: from memory, as on a whole model).
//
// usage: bench_kernels [benchmark flags]
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "image.h"
#include "kernels.h"
#include "nrutil.h"

namespace {

const int COLS = 8000;

template <typename T>
std::vector<std::vector<T>> rows_of(int lines, T scale)
{
    std::mt19937_64 rng(1);
    std::vector<std::vector<T>> rows(static_cast<size_t>(lines), std::vector<T>(COLS));
    for (auto &r : rows)
        for (T &v : r) v = static_cast<T>(200 + rng() % 2300) * scale;
    return rows;
}

void widen(benchmark::State &state)
{
    auto src = rows_of<unsigned short>(static_cast<int>(state.range(0)), 1);
    auto dst = rows_of<int>(static_cast<int>(state.range(0)), 1);
    size_t l = 0;
    for (auto _ : state) {
        widen_row(src[l].data(), dst[l].data(), COLS);
        benchmark::ClobberMemory();
        l = (l + 1) % src.size();
    }
    state.SetItemsProcessed(state.iterations() * COLS);
}

template <typename T>
void samples_range(benchmark::State &state)
{
    auto src = rows_of<T>(static_cast<int>(state.range(0)), 1);
    size_t l = 0;
    int lo = INT_MAX, hi = INT_MIN;
    for (auto _ : state) {
        sample_range(src[l].data(), COLS, &lo, &hi);
        benchmark::DoNotOptimize(lo);
        l = (l + 1) % src.size();
    }
    state.SetItemsProcessed(state.iterations() * COLS);
}

void metres(benchmark::State &state)
{
    auto src = rows_of<int>(static_cast<int>(state.range(0)), 1);
    auto dst = rows_of<double>(static_cast<int>(state.range(0)), 1.0);
    size_t l = 0;
    for (auto _ : state) {
        to_metres(src[l].data(), dst[l].data(), COLS, 0.1, false);
        benchmark::ClobberMemory();
        l = (l + 1) % src.size();
    }
    state.SetItemsProcessed(state.iterations() * COLS);
}

void stats(benchmark::State &state)
{
    auto rows = rows_of<double>(static_cast<int>(state.range(0)), 0.01);
    size_t l = 0;
    for (auto _ : state) {
        double lo, hi;
        int at;
        line_stats(rows[l].data(), COLS, &lo, &hi, &at);
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
        benchmark::DoNotOptimize(at);
        l = (l + 1) % rows.size();
    }
    state.SetItemsProcessed(state.iterations() * COLS);
}

// A grid's rows, with its no-data value (-9999) in none of their cells
// (range 0), or in one cell of each (range 1): what leaving out the voids
// costs a grid without any, and a row that holds some.
void stats_grid(benchmark::State &state)
{
    auto rows = rows_of<double>(static_cast<int>(state.range(0)), 0.01);
    if (state.range(1))
        for (auto &r : rows) r[COLS / 2] = -9999.0;
    size_t l = 0;
    for (auto _ : state) {
        double lo, hi;
        int at, left_out;
        grid_line_stats(rows[l].data(), COLS, -9999.0, &lo, &hi, &at, &left_out);
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
        benchmark::DoNotOptimize(at);
        benchmark::DoNotOptimize(left_out);
        l = (l + 1) % rows.size();
    }
    state.SetItemsProcessed(state.iterations() * COLS);
}

void mask(benchmark::State &state)
{
    auto rows = rows_of<double>(static_cast<int>(state.range(0)), 0.01);
    std::vector<unsigned char> out(COLS), bits(COLS / 8 + 1);
    size_t l = 0;
    for (auto _ : state) {
        low_bits(rows[l].data(), COLS, 2.0, bits.data());
        mask_from_bits(bits.data(), out.data(), COLS);
        benchmark::ClobberMemory();
        l = (l + 1) % rows.size();
    }
    state.SetItemsProcessed(state.iterations() * COLS);
}

// SauveBMP on a mask of 8000 x lines (64 MB for 8000 lines) into the
// temporary folder: header, palette, rows bottom line first, rename.
void bmp_rows(benchmark::State &state)
{
    int lines = static_cast<int>(state.range(0));
    unsigned char **m = ucmatrice(COLS, lines);
    for (int l = 0; l < lines; l++)
        for (int c = 0; c < COLS; c++) m[l][c] = (l + c) % 97 ? 255 : 1;
    std::string path = std::string(P_tmpdir) + "/bench_kernels_mask.bmp";
    for (auto _ : state)
        if (SauveBMP(path.c_str(), m, COLS, lines, 0, nullptr) != 0) state.SkipWithError("cannot write");
    remove(path.c_str());
    frucmatrice(m, lines);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(lines) * COLS);
}

}  // namespace

BENCHMARK(widen)->Arg(1)->Arg(1000);
BENCHMARK_TEMPLATE(samples_range, unsigned short)->Arg(1)->Arg(1000);
BENCHMARK_TEMPLATE(samples_range, int)->Arg(1)->Arg(1000);
BENCHMARK(metres)->Arg(1)->Arg(1000);
BENCHMARK(stats)->Arg(1)->Arg(1000);
BENCHMARK(stats_grid)->ArgsProduct({{1, 1000}, {0, 1}});
BENCHMARK(mask)->Arg(1)->Arg(1000);
BENCHMARK(bmp_rows)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
