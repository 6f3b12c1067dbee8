// Shared by the fuzz targets that run the program's own code: a scratch
// tree c/images/F in memory (/dev/shm) that each input is run in, the
// program state put back to zero between inputs, and a run that comes back
// from the program's stops (NADIR_FUZZING builds jump back instead of
// ending the process).
#ifndef FUZZ_PROGRAM_H
#define FUZZ_PROGRAM_H

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cmath>

#include "console.h"
#include "image.h"
#include "nadir_spot.h"

namespace fuzz {

inline std::string scratch;  // absolute; each input is run inside it
inline int home = -1;        // the working directory libFuzzer was started in

inline void remove_tree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR *d = opendir(path.c_str())) {
            while (dirent *e = readdir(d)) {
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) remove_tree(path + "/" + e->d_name);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

inline void remove_scratch() { remove_tree(scratch); }

// Makes <base>/nadir_<target>.XXXXXX/c/images/F, base
// being $NADIR_FUZZ_SCRATCH, else /dev/shm, else /tmp. Standard output goes
// to /dev/null (the dialogue would slow the fuzzer) unless
// NADIR_FUZZ_STDOUT is set, to watch one input being replayed.
inline void make_scratch(const char *target)
{
    const char *base = getenv("NADIR_FUZZ_SCRATCH");
    if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = std::string(base) + "/nadir_" + target + ".XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) abort();
    scratch = buf.data();
    atexit(remove_scratch);
    home = open(".", O_RDONLY | O_DIRECTORY);
    if (home < 0 || chdir(scratch.c_str()) != 0) abort();
    if (mkdir("c", 0755) || mkdir("c/images", 0755) || mkdir("c/images/F", 0755)) abort();
    if (!getenv("NADIR_FUZZ_STDOUT") && !freopen("/dev/null", "w", stdout)) abort();
}

// The program opens c/images/... from the working directory: each input is
// run inside the scratch tree, and libFuzzer's own relative paths (corpus,
// artifacts, logs) keep meaning what they meant outside it.
inline void enter()
{
    if (chdir(scratch.c_str()) != 0) abort();
}

inline void leave()
{
    if (fchdir(home) != 0) abort();
}

// Writes c/images/F/<name>.
inline void put(const std::string &name, const void *data, size_t size)
{
    FILE *f = fopen(("c/images/F/" + name).c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, size, 1, f) != 1) abort();
    if (fclose(f) != 0) abort();
}

inline void put(const std::string &name, const std::string &text) { put(name, text.data(), text.size()); }

inline bool read_file(const std::string &path, std::string *out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    char b[4096];
    size_t n;
    while ((n = fread(b, 1, sizeof b, f)) > 0) out->append(b, n);
    fclose(f);
    return true;
}

// The entries of c/images/F.
inline std::vector<std::string> folder_entries()
{
    std::vector<std::string> names;
    DIR *d = opendir("c/images/F");
    if (!d) abort();
    while (dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    }
    closedir(d);
    return names;
}

// A name that answers may not hold: it could reach outside the scratch
// tree (a backslash becomes a separator in the path).
inline bool unsafe_answers(const uint8_t *data, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        if (data[i] == '/' || data[i] == '\\') return true;
        if (data[i] == '.' && i + 1 < size && data[i + 1] == '.') return true;
    }
    return false;
}

// Runs the program's steps with these answers on its console. Returns 0
// when they return, else the status of the stop plus one.
inline int run_program(void (*steps)(void), const char *answers, size_t size)
{
    console_input_memory(answers, size);
    jmp_buf back;
    console_exit_jump = &back;
    int stopped = setjmp(back);
    if (stopped == 0) steps();
    console_exit_jump = nullptr;
    return stopped;
}

// Everything the run took given back, and the program state as at start.
inline void reset_state()
{
    console_input_memory("", 0);  // frusmatrice's key, after a stop in a 16-bit read: no wait
    ::reset_state();
}

// A descriptor the program wrote must be whole: six numbers, the first two
// the model's dimensions.
inline bool whole_descriptor(const std::string &text)
{
    std::vector<std::string> w;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) i++;
        size_t j = i;
        while (j < text.size() && !isspace(static_cast<unsigned char>(text[j]))) j++;
        if (j > i) w.push_back(text.substr(i, j - i));
        i = j;
    }
    if (w.size() != 6) return false;
    for (const std::string &s : w) {
        char *end;
        strtod(s.c_str(), &end);
        if (*end) return false;
    }
    return atoi(w[0].c_str()) == nb_lig && atoi(w[1].c_str()) == nb_col;
}

// A cell the search leaves out: not a number, or a grid's no-data value.
inline bool left_out(double v) { return v != v || (format == 0 && v == nodata); }

// A mask the program saved must be whole and mark exactly the cells at the
// lowest altitude of those not left out (no cell for an empty model or one
// without such cells). The rule is the per-line pass's (kernels.h), written
// again here on its own: a change to what counts must be made in both.
inline bool right_mask(const std::string &path)
{
    Color32 *pal = nullptr;
    int nc = -1, nl = -1, type = -1;
    unsigned char **m = ChargeBMP(path.c_str(), nc, nl, type, pal);
    if (!m) {  // a mask without cells may have nothing for a reader to return
        struct stat st;
        return (nb_lig == 0 || nb_col == 0) && stat(path.c_str(), &st) == 0 && st.st_size == 1078;
    }
    bool ok = nc == nb_col && nl == nb_lig && type == 0;
    double lowest = INFINITY;
    for (int l = 0; ok && l < nb_lig; l++)
        for (int c = 0; c < nb_col; c++)
            if (!left_out(dtab[l][c]) && dtab[l][c] < lowest) lowest = dtab[l][c];
    for (int l = 0; ok && l < nb_lig; l++)
        for (int c = 0; c < nb_col; c++)
            ok = ok && m[l][c] == (!left_out(dtab[l][c]) && dtab[l][c] == lowest ? 1 : 255);
    for (int l = 0; l < nl; l++) delete[] m[l];
    delete[] m;
    return ok;
}

// What the search must print for dtab, from the rule above alone: Min and
// Max as the first cell holding each has them (-0 and +0 alike), the cells
// left out and the count at the lowest; and in *located, what follows a
// saved mask: the first ten of them in scan order, with a grid's map
// coordinates of their centres.
inline std::string expected_search(std::string *located)
{
    double lo = INFINITY, hi = -INFINITY;
    long long voids = 0, count = 0;
    for (int l = 0; l < nb_lig && dtab; l++)
        for (int c = 0; c < nb_col; c++) {
            const double v = dtab[l][c];
            voids += left_out(v);
            lo = !left_out(v) && v < lo ? v : lo;
            hi = !left_out(v) && v > hi ? v : hi;
        }
    double shown_lo = 10000000.0, shown_hi = 0.0;  // an empty model's, until a cell holds them
    bool lo_met = false, hi_met = false;
    for (int l = 0; l < nb_lig && dtab; l++)
        for (int c = 0; c < nb_col; c++) {
            const double v = dtab[l][c];
            if (left_out(v)) continue;
            count += v == lo;
            if (v == lo && !lo_met) shown_lo = v, lo_met = true;
            if (v == hi && !hi_met) shown_hi = v, hi_met = true;
        }
    char text[1024];  // a %lf of the largest double takes 316 bytes
    std::string s, &p = *located;
    snprintf(text, sizeof text, "\n\t\tMin = %lf   Max. = %lf ", shown_lo, shown_hi);
    s += text;
    if (voids > 0)
        snprintf(text, sizeof text, "\n\n\tnumber of no-data pixels left out = %lld ", voids), s += text;
    snprintf(text, sizeof text, "\n\n\tnumber of pixels with min value = %lld ", count);
    s += text;
    p.clear();
    if (count == 0) return s;
    p += "\n\n\tPixels at the min value (line and column from 0 at the top left) :";
    int shown = 0;
    for (int l = 0; l < nb_lig; l++)
        for (int c = 0; c < nb_col && shown < 10; c++) {
            if (left_out(dtab[l][c]) || dtab[l][c] != lo) continue;
            shown++;
            snprintf(text, sizeof text, "\n\t\tline %d   column %d", l, c);
            p += text;
            if (format != 0) continue;
            const double x = X_min + (c + 0.5) * dpix_size,
                         y = Y_min + nb_lig * dpix_dy - (l + 0.5) * dpix_dy;
            snprintf(text, sizeof text, "   x = %lf   y = %lf", x, y);
            p += text;
        }
    if (count > shown)
        snprintf(text, sizeof text, "\n\t\t... and %lld more, all in the mask", count - shown), p += text;
    p += "\n";
    return s;
}

inline bool ends_with(const std::string &s, const char *tail)
{
    size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

inline bool same(double a, double b) { return a == b || (a != a && b != b); }

// A world file must be a grid's, beside its mask, and hold exactly six
// numbers: the cell width, 0, 0, minus the cell height, and the centre of
// the top-left cell, each reading back to the double it stands for.
inline bool right_world_file(const std::string &path, const std::vector<std::string> &names)
{
    std::string text, mask = path.substr(path.rfind('/') + 1);
    mask.replace(mask.size() - 4, 4, ".bmp");
    bool beside = false;
    for (const std::string &n : names) beside = beside || n == mask;
    if (format != 0 || !beside || !read_file(path, &text)) return false;
    const double want[6] = {
        dpix_size, 0.0, 0.0, -dpix_dy, X_min + 0.5 * dpix_size, Y_min + nb_lig * dpix_dy - 0.5 * dpix_dy};
    const char *p = text.c_str();
    for (double w : want) {
        char *end;
        double v = strtod(p, &end);
        if (end == p || *end != '\n' || !same(v, w)) return false;
        p = end + 1;
    }
    return *p == '\0';
}

// After a run: the files of the layout are all there, and what the run
// added is a whole descriptor, a right mask or its right world file,
// nothing else (no temporary file, no half-made descriptor): a new kind of
// file the program writes must be known here. The added files are then
// removed, so that every run starts from the same layout.
inline void check_and_clean(const std::vector<std::string> &layout)
{
    std::vector<std::string> names = folder_entries();
    for (const std::string &want : layout) {
        bool found = false;
        for (const std::string &n : names) found = found || n == want;
        if (!found) {
            fprintf(stderr, "fuzz: the run removed %s\n", want.c_str());
            abort();
        }
    }
    for (const std::string &n : names) {
        bool mine = false;
        for (const std::string &want : layout) mine = mine || n == want;
        if (mine) continue;
        std::string path = "c/images/F/" + n, text;
        bool ok;
        if (ends_with(n, ".bmp"))
            ok = right_mask(path);
        else if (ends_with(n, "_m2.txt") || ends_with(n, "_m4.txt"))
            ok = read_file(path, &text) && whole_descriptor(text);
        else if (ends_with(n, ".bpw"))
            ok = right_world_file(path, names);
        else
            ok = false;
        if (!ok) {
            fprintf(stderr, "fuzz: the run left %s, not a whole descriptor, mask or world file\n", n.c_str());
            abort();
        }
        remove_tree(path);
    }
}

}  // namespace fuzz

#endif
