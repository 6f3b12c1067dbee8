// ascii_lecture: a text grid (header, then nb_lig lines of nb_col decimal
// altitudes in metres) into dtab, front to back in one pass. The file is
// read in large blocks and the values go through scan_words and
// scan_number: no formatted read per value. Each line gets its per-line
// pass as soon as it is whole, while it is in cache.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "kernels.h"
#include "messages.h"
#include "nadir_spot.h"
#include "nrutil.h"
#include "readers.h"
#include "scan_number.h"

namespace {

const size_t BLOCK = size_t(1) << 20;

// The longest word read, keyword or number. A word up to this length is
// always whole in the buffer with the byte after it; a longer one stops the
// run wherever it is, so a word never reads differently by where it falls.
const ptrdiff_t LONGEST_WORD = 4096;

// The reader's state: the file's bytes in buf, which scan_words may read
// SCAN_READS_BEFORE bytes before.
const size_t BUF_BYTES = BLOCK + LONGEST_WORD + 1;
char buf_space[SCAN_READS_BEFORE + BUF_BYTES];
char *const buf = buf_space + SCAN_READS_BEFORE;
const char *cur, *lim;  // the unread bytes of buf, then a NUL (no blank)
bool at_eof;            // nothing more to read after lim
long long offset;       // the file offset of buf[0]

inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Keeps the unread bytes, moved to the front, and reads the next block
// after them.
void refill(void)
{
    size_t keep = static_cast<size_t>(lim - cur);
    offset += cur - buf;
    memmove(buf, cur, keep);
    size_t want = BUF_BYTES - 1 - keep;
    size_t got = fread(buf + keep, 1, want, f1);
    if (got < want) {
        if (ferror(f1)) stop_run(1, MSG_GRID_UNREADABLE);
        at_eof = true;
    }
    cur = buf;
    lim = buf + keep + got;
    buf[keep + got] = '\0';
}

// Skips whitespace up to the next word; then, before the end of the file,
// more than LONGEST_WORD bytes are in the buffer from it. False at the end
// of the file.
bool next_word(void)
{
    for (;;) {
        while (cur < lim && is_space(*cur)) cur++;
        if (cur < lim) break;
        if (at_eof) return false;
        refill();
    }
    if (lim - cur <= LONGEST_WORD && !at_eof) refill();
    return true;
}

const char *word_end(void)
{
    const char *q = cur;
    while (q < lim && !is_space(*q)) q++;
    return q;
}

const char *shown(const char *w, const char *we, char *out)
{
    return shown_text(w, static_cast<size_t>(we - w), out);
}

bool too_long(const char *w, const char *we) { return we - w > LONGEST_WORD; }

bool whole_number(const char *w, const char *we, double *v) { return we > w && scan_number(w, we, v) == we; }

// Header entries: the six of the standard order, then dy (the cell height).
enum Entry { NCOLS, NROWS, XLL, YLL, CELLSIZE, NODATA, DY, POSITIONAL };

struct Keyword {
    const char *word;
    Entry entry;
    bool centre;  // the coordinate is that of the lower-left cell's centre
};
const Keyword keywords[] = {
    {"ncols", NCOLS, false},        {"nrows", NROWS, false},   {"xllcorner", XLL, false},
    {"xllcenter", XLL, true},       {"yllcorner", YLL, false}, {"yllcenter", YLL, true},
    {"cellsize", CELLSIZE, false},  {"dx", CELLSIZE, false},   {"dy", DY, false},
    {"nodata_value", NODATA, false}};

Entry keyword_entry(const char *w, const char *we, bool *centre)
{
    size_t n = static_cast<size_t>(we - w);
    *centre = false;
    for (const Keyword &k : keywords) {
        if (strlen(k.word) != n) continue;
        size_t i = 0;
        while (i < n && (w[i] >= 'A' && w[i] <= 'Z' ? w[i] | 0x20 : w[i]) == k.word[i]) i++;
        if (i == n) {
            *centre = k.centre;
            return k.entry;
        }
    }
    return POSITIONAL;
}

bool x_centre, y_centre;  // the header gave xllcenter, yllcenter
bool dy_given;            // the header gave dy (in dpix_dy)

// The lower-left corner from a centre (as GDAL reads the header, so that
// the cells' centres agree with its own), and the cell height.
void place_cells(void)
{
    if (!dy_given) dpix_dy = dpix_size;
    if (x_centre) X_min -= 0.5 * dpix_size;
    if (y_centre) Y_min -= 0.5 * dpix_dy;
}

// Stops with fmt when one of the first n entries of the standard order was
// not given.
void require(unsigned given, int n, const char *fmt)
{
    static const char *const names[5] = {"ncols", "nrows", "xllcorner", "yllcorner", "cellsize"};
    for (int e = 0; e < n; e++)
        if (!(given & 1u << e)) stop_run(1, fmt, names[e]);
}

// A header word (from cur to we) too long to be read stops.
void refuse_long_header_word(const char *we)
{
    char text[SHOWN_TEXT];
    if (too_long(cur, we)) stop_run(1, MSG_GRID_HEADER_LONG, shown(cur, we, text), int(LONGEST_WORD));
}

// Reads the header. A keyword sets its own entry wherever it comes; another
// word takes the entry of its position. The header ends at a word in a
// keyword's place that reads as a number (the first altitude, left unread:
// a header without its no-data entry has five entries), or at a word that
// is no keyword after six entries (a word too long for a keyword is none);
// it must have given both dimensions. A file that ends before the first
// five entries were given is no grid (an empty file, one cut short) and
// stops.
void read_header(void)
{
    unsigned given = 0;  // bit per entry
    for (int position = 0;; position++) {
        if (!next_word()) {
            require(given, 5, MSG_GRID_HEADER_ENDS);
            return;
        }
        const char *we = word_end();
        bool centre;
        Entry entry = keyword_entry(cur, we, &centre);
        if (entry == POSITIONAL) {
            double v;
            if (position >= 6 || (!too_long(cur, we) && whole_number(cur, we, &v))) {
                require(given, 2, MSG_GRID_HEADER_WITHOUT);
                return;
            }
            refuse_long_header_word(we);
            entry = static_cast<Entry>(position);
        }
        given |= 1u << entry;
        char keyword[SHOWN_TEXT];  // for messages: the next read may move the buffer
        shown(cur, we, keyword);
        cur = we;
        if (!next_word()) stop_run(1, MSG_GRID_HEADER_ENDS, keyword);
        we = word_end();
        refuse_long_header_word(we);
        bool ok;
        double v = 0.0;
        if (entry == NCOLS)
            ok = whole_int(cur, we, &nb_col);
        else if (entry == NROWS)
            ok = whole_int(cur, we, &nb_lig);
        else
            ok = whole_number(cur, we, &v);
        char text[SHOWN_TEXT];
        if (!ok)
            stop_run(1, MSG_GRID_BAD_HEADER, keyword,
                     entry == NCOLS || entry == NROWS ? "a whole number" : "a number", shown(cur, we, text));
        if (entry == XLL) {
            X_min = v;
            x_centre = centre;
        } else if (entry == YLL) {
            Y_min = v;
            y_centre = centre;
        } else if (entry == CELLSIZE) {
            dpix_size = v;
        } else if (entry == DY) {
            dpix_dy = v;
            dy_given = true;
        } else if (entry == NODATA) {
            nodata = v;
        }
        cur = we;
    }
}

// The stop for the value of line l, column c (from 0) at cur: the file
// ends before it, or it is no number, or too long to be one.
[[noreturn]] void bad_value(int l, int c)
{
    if (cur == lim) stop_run(1, MSG_GRID_ENDS, l + 1, c + 1);
    const char *we = word_end();
    char text[SHOWN_TEXT];
    shown(cur, we, text);
    if (too_long(cur, we)) stop_run(1, MSG_GRID_LONG_VALUE, l + 1, c + 1, text, int(LONGEST_WORD));
    stop_run(1, MSG_GRID_BAD_VALUE, l + 1, c + 1, text);
}

// The values, line by line. Each must be a whole word of at most
// LONGEST_WORD bytes that reads as a number. scan_words takes the common
// words, each whole with the blank after it; for any other word the buffer
// holds it whole, and the byte after it, before it is scanned. The
// position lives in a local while a line is read (the global one is kept
// for the calls that move the buffer), and blanks are skipped up to the
// NUL after the unread bytes without a bound check.
CLONES void read_values(void)
{
    const int n = nb_col;
    double lowest = INFINITY;  // of the lines passed
    for (int l = 0; l < nb_lig; l++) {
        if (l > 0 && l % 100 == 0) {
            printf("\tline %d                   \r", l);
            fflush(stdout);  // a carriage return alone does not flush a terminal
        }
        double *row = dtab[l];
        const char *p = cur;
        for (int c = 0; c < n; c++) {
            // The common words several at a time; the word they stop at
            // (another shape, or near the end of the buffer) the exact way.
            c += scan_words(&p, lim, row + c, n - c);
            if (c == n) break;
            while (is_space(*p)) p++;
            if (lim - p <= LONGEST_WORD && !at_eof) {
                cur = p;
                if (!next_word()) bad_value(l, c);
                p = cur;
            }
            const char *q = scan_number(p, lim, &row[c]);
            // No number (q == p wraps around), more than LONGEST_WORD bytes
            // (which a number ending at lim before the end of the file is),
            // or a number that is not the whole word.
            if (static_cast<size_t>(q - p) - 1 >= size_t(LONGEST_WORD) || (q < lim && !is_space(*q))) {
                cur = p;
                bad_value(l, c);
            }
            p = q;
        }
        cur = p;
        pass_line(l, &lowest);
    }
}

}  // namespace

void ascii_lecture(void)
{
    printf("\n");
    long long left = stream_bytes_left(f1);
    long start = ftell(f1);
    cur = lim = buf;
    buf[0] = '\0';
    at_eof = false;
    offset = start > 0 ? start : 0;
    refill();
    // The byte order mark is skipped in the buffer: the stream may not seek
    // back.
    cur += byte_order_mark(cur, static_cast<size_t>(lim - cur));

    nodata = NAN;  // until the header gives one
    x_centre = y_centre = dy_given = false;
    read_header();
    place_cells();
    if (nb_lig < 0 || nb_col < 0) stop_run(1, MSG_BAD_DIMENSIONS, nb_lig, nb_col);
    if (nb_lig == 0 || nb_col == 0) return;  // empty model: no matrix, no values

    // n values take at least 2n - 1 bytes: refuse a header the file cannot
    // fill before taking the memory for it.
    if (left >= 0) {
        long long data = (start > 0 ? start : 0) + left - (offset + (cur - buf));
        long long cells = static_cast<long long>(nb_lig) * nb_col;
        if (2 * cells - 1 > data) stop_run(1, MSG_GRID_TOO_BIG, nb_lig, nb_col, data > 0 ? data : 0);
    }
    take_line_extremes();
    dtab = dmatrice(nb_col, nb_lig);
    if (!dtab) stop_no_memory(nb_lig, nb_col);
    read_values();
}
