// Writes a generated terrain model of any size in the three input formats:
//   <dir>/<name>_m2.raw + _m2.txt   16-bit samples in decimetres
//   <dir>/<name>_m4.raw + _m4.txt   32-bit samples in millimetres
//   <dir>/<name>.asc                text grid in metres, 2 decimals
// The terrain is value noise of six octaves (hills and valleys from 200 to
// 2500 m) with flat lakes at the bottom, so the lowest altitude is shared
// by many cells, as on real models. Rows are generated and written one at
// a time: any size fits in little memory.
//
// usage: make_models <dir> <lines> <columns> [name]   (name: "terrain")
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint32_t hash(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

double lattice(int32_t x, int32_t y, uint32_t seed) { return hash(x, y, seed) / 4294967295.0; }

double smooth(double t) { return t * t * (3 - 2 * t); }

double value_noise(double x, double y, uint32_t seed)
{
    double fx = std::floor(x), fy = std::floor(y);
    int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    double tx = smooth(x - fx), ty = smooth(y - fy);
    double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Altitude in metres at a cell.
double altitude(int l, int c)
{
    double h = 0, amp = 0.5, freq = 1.0 / 700;
    for (int o = 0; o < 6; o++) {
        h += amp * value_noise(c * freq, l * freq, 1234567u + static_cast<uint32_t>(o));
        amp *= 0.5;
        freq *= 2.1;
    }
    h = h / 0.984375;        // sum of the amplitudes: h in [0, 1]
    if (h < 0.32) h = 0.32;  // lakes
    return 200 + 2300 * (h - 0.32) / 0.68;
}

// "1234.56" from centimetres, without printf's cost per value.
char *put_centimetres(char *o, int64_t cm)
{
    if (cm < 0) {
        *o++ = '-';
        cm = -cm;
    }
    char tmp[24];
    int n = 0;
    int64_t whole = cm / 100;
    do tmp[n++] = static_cast<char>('0' + whole % 10);
    while ((whole /= 10) != 0);
    while (n) *o++ = tmp[--n];
    *o++ = '.';
    *o++ = static_cast<char>('0' + cm / 10 % 10);
    *o++ = static_cast<char>('0' + cm % 10);
    return o;
}

FILE *open_or_die(const std::string &path, const char *mode)
{
    FILE *f = fopen(path.c_str(), mode);
    if (!f) {
        perror(path.c_str());
        exit(1);
    }
    return f;
}

void descriptor(const std::string &path, int lines, int cols, int bytes, int64_t lo, int64_t hi, double pix)
{
    FILE *f = open_or_die(path, "w");
    fprintf(f, "%d\n%d\n%d\n%lld\n%lld\n%lf\n", lines, cols, bytes, static_cast<long long>(lo),
            static_cast<long long>(hi), pix);
    fclose(f);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: make_models <dir> <lines> <columns> [name]\n");
        return 2;
    }
    std::string base = std::string(argv[1]) + "/" + (argc > 4 ? argv[4] : "terrain");
    int lines = atoi(argv[2]), cols = atoi(argv[3]);
    if (lines < 1 || cols < 1) {
        fprintf(stderr, "make_models: lines and columns must be positive\n");
        return 2;
    }
    const double pix = 25.0;
    FILE *r2 = open_or_die(base + "_m2.raw", "wb");
    FILE *r4 = open_or_die(base + "_m4.raw", "wb");
    FILE *asc = open_or_die(base + ".asc", "wb");
    fprintf(asc,
            "ncols         %d\nnrows         %d\nxllcorner     600000.000000\n"
            "yllcorner     4800000.000000\ncellsize      %f\nNODATA_value  -9999\n",
            cols, lines, pix);

    std::vector<uint16_t> row16(static_cast<size_t>(cols));
    std::vector<int32_t> row32(static_cast<size_t>(cols));
    std::vector<char> text(static_cast<size_t>(cols) * 24 + 2);
    int64_t lo16 = INT64_MAX, hi16 = INT64_MIN, lo32 = INT64_MAX, hi32 = INT64_MIN;
    for (int l = 0; l < lines; l++) {
        char *o = text.data();
        for (int c = 0; c < cols; c++) {
            double m = altitude(l, c);
            int64_t cm = std::llround(m * 100);
            row16[static_cast<size_t>(c)] = static_cast<uint16_t>(cm / 10);  // decimetres
            row32[static_cast<size_t>(c)] = static_cast<int32_t>(cm * 10);   // millimetres
            lo16 = std::min<int64_t>(lo16, cm / 10);
            hi16 = std::max<int64_t>(hi16, cm / 10);
            lo32 = std::min<int64_t>(lo32, cm * 10);
            hi32 = std::max<int64_t>(hi32, cm * 10);
            o = put_centimetres(o, cm);
            *o++ = c + 1 < cols ? ' ' : '\n';
        }
        // Host order: little-endian on the machines this runs on (x86, ARM).
        fwrite(row16.data(), 2, row16.size(), r2);
        fwrite(row32.data(), 4, row32.size(), r4);
        fwrite(text.data(), 1, static_cast<size_t>(o - text.data()), asc);
    }
    if (fclose(r2) || fclose(r4) || fclose(asc)) {
        perror("make_models: write");
        return 1;
    }
    descriptor(base + "_m2.txt", lines, cols, 2, lo16, hi16, pix);
    descriptor(base + "_m4.txt", lines, cols, 4, lo32, hi32, pix);
    printf("%s: %d lines x %d columns (_m2.raw, _m4.raw, .asc)\n", base.c_str(), lines, cols);
    return 0;
}
