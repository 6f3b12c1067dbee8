// The opening dialogue: banner, folder and model names, format and depth,
// the descriptor of a raw raster (read, or created from the answers), and
// the hand-over to one reader.
#include <sys/stat.h>

#include <cctype>
#include <cfloat>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "messages.h"
#include "nadir_spot.h"
#include "new_file.h"
#include "readers.h"

namespace {

// The longest word of a descriptor the program writes: the pixel size
// -DBL_MAX in "%lf", a sign, 309 digits, the point and 6 decimals. Every
// longer word is refused.
#define DESCRIPTOR_WORD 317
#define TEXT_OF(n) #n
#define WIDTH(n) TEXT_OF(n)
static_assert(DESCRIPTOR_WORD == 1 + (DBL_MAX_10_EXP + 1) + 1 + 6, "the longest %lf of a double");

// A menu question: the whole prompt and the read repeat until the answer
// is a number no greater than `highest` and no lower than `lowest`.
int ask_menu(const char *prompt, int lowest, int highest)
{
    int answer;
    do printf("%s", prompt);
    while (!ask_int(&answer) || answer > highest || answer < lowest);
    return answer;
}

// A file to read, or null; a folder of that name is not a file (reading
// one would fail only later, and look like an empty file).
FILE *open_file(const char *text, const char *mode)
{
    FILE *f = open_path(text, mode);
    struct stat st;
    if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
        fclose(f);
        f = nullptr;
    }
    return f;
}

// The model file, or the "unknown" stop.
FILE *open_model(const char *mode)
{
    FILE *f = open_file(nomim1, mode);
    if (!f) stop_run(1, MSG_MODEL_UNKNOWN, nomim1);
    return f;
}

void check_dimensions(const char *from)
{
    if (nb_lig < 0 || nb_col < 0) stop_run(1, MSG_IMPOSSIBLE_SIZE, from, nb_lig, nb_col);
}

// Reads the descriptor's six values. One that is missing keeps its value (a
// descriptor of the dimensions alone is fine: the pixel size is asked), but
// not the dimensions themselves: an empty descriptor would pass the raster
// off as an empty model. A value that is present but not wholly a number (a
// NUL byte or a letter inside, too long to be one) stops the run rather
// than be guessed.
void read_descriptor(const char *nomdescr1)
{
    int val = 0;
    int *ints[5] = {&nb_lig, &nb_col, &val, &mind, &maxd};
    char buffer[DESCRIPTOR_WORD + 1], shown[SHOWN_TEXT];
    bool first = true;
    for (int k = 0; k < 6; k++) {
        int from = 0, to = 0;
        if (fscanf(f1d, " %n%" WIDTH(DESCRIPTOR_WORD) "s%n", &from, buffer, &to) != 1) {
            if (k < 2) stop_run(1, MSG_DESCRIPTOR_ENDS, nomdescr1, k == 0 ? "lines" : "columns");
            break;
        }
        char *word = buffer;
        const char *word_end = buffer + (to - from);
        int next = getc(f1d);  // a longer word was cut
        bool whole = next == EOF || isspace(next);
        if (first) {
            first = false;
            word += byte_order_mark(word, static_cast<size_t>(word_end - word));
            if (word == word_end && whole) {  // the mark alone
                k--;
                continue;
            }
        }
        if (k < 5) {
            if (!whole || !whole_int(word, word_end, ints[k]))
                stop_run(1, MSG_DESCRIPTOR_NOT_WHOLE, nomdescr1, shown_text(word, word_end - word, shown));
        } else {
            char *end;
            dpix_size = strtod(word, &end);
            if (!whole || end != word_end || end == word)
                stop_run(1, MSG_DESCRIPTOR_NOT_NUMBER, nomdescr1, shown_text(word, word_end - word, shown));
        }
    }
}

// A descriptor of this name can be created now: the name is free and the
// folder takes a new file (made and dropped at once).
bool descriptor_can_be_made(const char *text)
{
    char native[PATH_TEXT];
    NewFile nf;
    if (!new_file_open(&nf, native_path(text, native), "w", false)) return false;
    new_file_discard(&nf);
    return true;
}

void raster_branch()
{
    itype = ask_menu("\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", INT_MIN, 1);
    char nomdescr1[PATH_TEXT];
    strcpy(nomdescr1, nomim1);
    strcat(nomim1, itype == 0 ? "_m2.raw" : "_m4.raw");
    strcat(nomdescr1, itype == 0 ? "_m2.txt" : "_m4.txt");

    f1 = open_model("rb");

    f1d = open_file(nomdescr1, "r");
    if (f1d) {
        read_descriptor(nomdescr1);
        descr_OK = true;
        fclose(f1d);
        f1d = nullptr;
        check_dimensions("by the descriptor");
    } else {
        printf(MSG_NO_DESCRIPTOR, nomdescr1);
        // The reader writes the descriptor whole once the raster is read,
        // so that no stop or kill leaves a part of one; whether it can be
        // made is tried now, before the answers it is to hold.
        if (descriptor_can_be_made(nomdescr1))
            strcpy(descr_new, nomdescr1);
        else
            printf(MSG_DESCRIPTOR_UNCREATABLE, nomdescr1);
        do printf("\n\tNumber of lines   ? ");
        while (!ask_int(&nb_lig));
        do printf("\n\tNumber of columns ? ");
        while (!ask_int(&nb_col));
        check_dimensions("in the answers");
        do printf("\n\tPixel size (decimal value in meters) ? ");
        while (!ask_real(&dpix_size));
        descr_OK = false;
    }

    if (dpix_size == 0) {
        do printf("\n\n\tPixel Size (decimal value in meters) ? ");
        while (!ask_real(&dpix_size));
    }
    dem_lecture();
}

}  // namespace

void opening(void)
{
    printf("\n\n\t**************************************************************");
    printf("\n\t*                                                            *");
    printf("\n\t*                      NADIR_SPOT                            *");
    printf("\n\t*                                                            *");
    printf("\n\t*                                                            *");
    printf("\n\t*                                                            *");
    printf("\n\t*                                                            *");
    printf("\n\t*                          by the nadir_spot developers      *");
    printf("\n\t*                               version of December 2026     *");
    printf("\n\t*                                                            *");
    printf("\n\t**************************************************************");
    printf("\n\n\tThis program researches a value in a Digital Elevation Model \n");

    strcpy(nomim1, "c:\\images\\");
    char nomdir[PATH_TEXT];
    // The folder leaves room for the separator, a one-letter model name and
    // the longest suffix.
    ask_name("\n\n\tName of the File Folder located in the Directory C:images ? ", nomdir, BASE_LEN,
             1 + 1 + MODEL_SUFFIX_MAX);
    strcat(nomim1, nomdir);
    strcat(nomim1, "\\");
    strcpy(nomim2, nomim1);

    ask_name("\n\n\tName of Digital Elevation Model [DEM] (without any extension) ? ", nomfic1,
             strlen(nomim1), MODEL_SUFFIX_MAX);
    strcat(nomim1, nomfic1);

    format = ask_menu("\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t", INT_MIN, 1);

    if (format == 1) raster_branch();
    if (format == 0) {
        strcat(nomim1, ".asc");
        f1 = open_model("r");
        ascii_lecture();
    }

    printf("\n\n\tTHE DEM HAS :  ");
    printf("\n            %d LINES", nb_lig);
    printf("\n        AND %d COLUMNS\n", nb_col);
}

void ask_name(const char *prompt, char *dst, size_t used, size_t reserve)
{
    for (;;) {
        printf("%s", prompt);
        size_t len = ask_word(dst, PATH_TEXT);
        if (used + len + reserve <= PATH_TEXT - 1) return;
        printf(MSG_NAME_TOO_LONG, PATH_TEXT - 1);
    }
}
