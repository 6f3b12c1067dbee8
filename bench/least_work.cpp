// The least work the same jobs can take, as yardsticks for the whole-run
// timings (bench/e2e.py): no matrices at all.
//
//   least_work raw16|raw32 <raster> <lines> <columns> <metres a unit> <mask.bmp>
//     one pass over the raster in 1 MiB blocks (lowest, highest, count at
//     the lowest), then the mask written bottom line first from rows read
//     again from the file (page cache);
//   least_work parse <grid.asc>
//     the grid's values parsed with std::from_chars from 1 MiB blocks,
//     lowest and count, nothing kept.
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const size_t BLOCK = size_t(1) << 20;

void put32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

template <typename T>
int raw(const char *path, long lines, long cols, double unit, const char *out)
{
    FILE *f = fopen(path, "rb");
    if (!f) return 1;
    std::vector<T> block(BLOCK / sizeof(T));
    long long cells = static_cast<long long>(lines) * cols, seen = 0, count = 0;
    T lo = std::numeric_limits<T>::max(), hi = std::numeric_limits<T>::min();
    while (seen < cells) {
        size_t want =
            static_cast<size_t>(cells - seen < (long long)block.size() ? cells - seen : block.size());
        if (fread(block.data(), sizeof(T), want, f) != want) return 1;
        for (size_t i = 0; i < want; i++) {
            T v = block[i];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        seen += want;
    }
    // The count needs the lowest: a second look, at the rows as the mask
    // is written from them.
    FILE *o = fopen(out, "wb");
    if (!o) return 1;
    std::vector<char> obuf(BLOCK);
    setvbuf(o, obuf.data(), _IOFBF, obuf.size());
    size_t pad = static_cast<size_t>((cols + 3) / 4 * 4);
    unsigned char h[54] = {'B', 'M'};
    put32(h + 2, static_cast<uint32_t>(1078 + pad * lines));
    put32(h + 10, 1078);
    put32(h + 14, 40);
    put32(h + 18, static_cast<uint32_t>(cols));
    put32(h + 22, static_cast<uint32_t>(lines));
    h[26] = 1;
    h[28] = 8;
    put32(h + 34, static_cast<uint32_t>(pad * lines));
    fwrite(h, 1, 54, o);
    for (int i = 0; i < 256; i++) {
        unsigned char e[4] = {(unsigned char)i, (unsigned char)i, (unsigned char)i, 0};
        fwrite(e, 1, 4, o);
    }
    std::vector<T> row(static_cast<size_t>(cols));
    std::vector<unsigned char> mask(pad, 0);
    for (long l = lines - 1; l >= 0; l--) {
        if (fseek(f, static_cast<long>(l * cols * sizeof(T)), SEEK_SET) != 0 ||
            fread(row.data(), sizeof(T), row.size(), f) != row.size())
            return 1;
        long long n = 0;
        for (long c = 0; c < cols; c++) {
            n += row[c] == lo;
            mask[c] = row[c] == lo ? 1 : 255;
        }
        count += n;
        fwrite(mask.data(), 1, pad, o);
    }
    if (fclose(o) != 0) return 1;
    printf("%f %f %lld\n", lo * unit, hi * unit, count);
    return 0;
}

int parse(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f) return 1;
    std::vector<char> buf(BLOCK + 4096);
    double lo = INFINITY;
    long long count = 0, values = 0;
    int words = 0;
    size_t keep = 0;
    bool eof = false;
    while (!eof) {
        size_t got = fread(buf.data() + keep, 1, buf.size() - keep, f);
        eof = got < buf.size() - keep;
        const char *p = buf.data(), *lim = buf.data() + keep + got;
        for (;;) {
            while (p < lim && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) p++;
            if (p == lim || (!eof && lim - p < 4096)) break;
            if (words < 12) {  // the header: six keywords and their values
                while (p < lim && *p != ' ' && *p != '\n') p++;
                words++;
                continue;
            }
            double v;
            std::from_chars_result r = std::from_chars(p + (*p == '+'), lim, v);
            if (r.ec != std::errc()) return 1;
            if (v < lo) {
                lo = v;
                count = 0;
            }
            count += v == lo;
            values++;
            p = r.ptr;
        }
        keep = static_cast<size_t>(lim - p);
        memmove(buf.data(), p, keep);
    }
    printf("%f %lld of %lld\n", lo, count, values);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && !strcmp(argv[1], "parse")) return parse(argv[2]);
    if (argc == 7 && (!strcmp(argv[1], "raw16") || !strcmp(argv[1], "raw32"))) {
        long lines = atol(argv[3]), cols = atol(argv[4]);
        double unit = atof(argv[5]);
        return argv[1][3] == '1' ? raw<uint16_t>(argv[2], lines, cols, unit, argv[6])
                                 : raw<int32_t>(argv[2], lines, cols, unit, argv[6]);
    }
    fprintf(stderr,
            "usage: least_work raw16|raw32 <raster> <lines> <columns> <metres a unit> <mask.bmp>\n"
            "       least_work parse <grid.asc>\n");
    return 2;
}
