// libFuzzer: the ASCII grid reader on arbitrary text. The text is the model
// file f1, a regular file so that the reader knows its size and refuses a
// header the file cannot fill before taking memory for it.
//
// Oracle: a grid the reader accepts must hold exactly the values strtod
// reads from its words. The header is a run of word pairs, so the values
// are nb_lig x nb_col consecutive words starting at an even word; some such
// run must match the matrix bit for bit.
#include <cstdint>
#include <cstring>

#include "fuzz_program.h"

namespace {

std::string grid_path;

bool space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::vector<std::string> words_of(const uint8_t *data, size_t size)
{
    std::vector<std::string> w;
    size_t i = 0;
    while (i < size) {
        while (i < size && space(static_cast<char>(data[i]))) i++;
        size_t j = i;
        while (j < size && !space(static_cast<char>(data[j]))) j++;
        if (j > i) w.emplace_back(reinterpret_cast<const char *>(data) + i, j - i);
        i = j;
    }
    return w;
}

bool run_matches(const std::vector<std::string> &w, size_t first)
{
    size_t k = first;
    for (int l = 0; l < nb_lig; l++) {
        for (int c = 0; c < nb_col; c++, k++) {
            const std::string &s = w[k];
            char *end;
            double v = strtod(s.c_str(), &end);
            if (end != s.c_str() + s.size()) return false;
            if (memcmp(&v, &dtab[l][c], sizeof v) != 0) return false;
        }
    }
    return true;
}

void check_values(const uint8_t *data, size_t size)
{
    if (nb_lig < 0 || nb_col < 0) abort();
    if (nb_lig == 0 || nb_col == 0) return;
    if (!dtab) abort();
    if (size >= 3 && memcmp(data, "\xEF\xBB\xBF", 3) == 0) {  // a byte order mark is skipped
        data += 3;
        size -= 3;
    }
    std::vector<std::string> w = words_of(data, size);
    size_t cells = static_cast<size_t>(nb_lig) * static_cast<size_t>(nb_col);
    for (size_t first = 0; first + cells <= w.size(); first += 2) {
        if (run_matches(w, first)) return;
    }
    fprintf(stderr, "fuzz_grid: the grid read (%d x %d) is not the grid's values\n", nb_lig, nb_col);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::make_scratch("fuzz_grid");
    grid_path = fuzz::scratch + "/c/images/F/G.asc";
    fuzz::leave();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::enter();
    fuzz::put("G.asc", data, size);
    f1 = fopen(grid_path.c_str(), "r");
    if (!f1) abort();
    if (fuzz::run_program(ascii_lecture, "", 0) == 0) check_values(data, size);
    fuzz::reset_state();
    fuzz::leave();
    return 0;
}
