// libFuzzer: the ASCII grid reader on arbitrary text, then the whole search
// of the grid it accepts, its mask and world file saved. The text is the
// model file f1, a regular file so that the reader knows its size and
// refuses a header the file cannot fill before taking memory for it.
//
// Oracle: a grid the reader accepts must hold exactly the values strtod
// reads from its words. The header is a run of word pairs, so the values
// are nb_lig x nb_col consecutive words starting at an even word; some such
// run must match the matrix bit for bit. The search must then print what
// fuzz::expected_search finds in those values (Min, Max, the cells left
// out, the count, the pixels located) and save the mask and world file
// that fuzz::check_and_clean expects, and nothing else.
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

// The treatment of the grid read, locating its pixels in a mask N, its
// console text kept in memory.
void check_search(void)
{
    char *text = nullptr;
    size_t length = 0;
    FILE *console = stdout, *kept = open_memstream(&text, &length);
    if (!kept) abort();
    stdout = kept;
    strcpy(nomim2, "c:\\images\\F\\");
    const int stopped = fuzz::run_program(treatment, "0\nN\n", 4);
    std::string located;
    const std::string summary = fuzz::expected_search(&located);
    fflush(kept);
    stdout = console;
    const std::string shown(text, length);
    fclose(kept);
    free(text);
    if (getenv("NADIR_FUZZ_STDOUT")) fputs(shown.c_str(), stdout);
    const bool ends_located = shown.size() >= located.size() &&
                              shown.compare(shown.size() - located.size(), located.size(), located) == 0;
    if (stopped || shown.find(summary) == std::string::npos || !ends_located) {
        fprintf(stderr, "fuzz_grid: the search printed\n%s\nwhere the oracle expects\n%s\n...\n%s\n",
                shown.c_str(), summary.c_str(), located.c_str());
        abort();
    }
    fuzz::check_and_clean({"G.asc"});
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
    if (fuzz::run_program(ascii_lecture, "", 0) == 0) {
        check_values(data, size);
        check_search();
    }
    fuzz::reset_state();
    fuzz::leave();
    return 0;
}
