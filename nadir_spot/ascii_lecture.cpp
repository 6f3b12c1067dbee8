// ascii_lecture: a text grid (header, then nb_lig lines of nb_col decimal
// altitudes in metres) into dtab. The file is read in large blocks and
// the values go through scan_words and scan_number: no formatted read per
// value. A large file's values are read in parts, one per processor, each
// writing its rows directly. The last part is read from the end of the file
// up, a line a row, as grid writers lay rows out: it needs no count of the
// words before it, and the part before it checks where its rows begin. The
// words of the parts between are counted first (while the matrix is being
// taken), so that each knows the index of its first value. The result,
// stop and message included, is that of reading the parts one after
// another.
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "kernels.h"
#include "messages.h"
#include "nadir_spot.h"
#include "nrutil.h"
#include "readers.h"
#include "scan_number.h"
#include "workers.h"

namespace {

const size_t BLOCK = size_t(1) << 20;

// The longest word read, keyword or number. A word up to this length is
// always whole in the buffer with the byte after it; a longer one stops the
// run wherever it is, so a word never reads differently by where it falls.
const ptrdiff_t LONGEST_WORD = 4096;

const size_t BUF_BYTES = BLOCK + LONGEST_WORD + 1;
const size_t BUF_SPACE = 16 + BUF_BYTES;  // with 16 bytes before the buffer that scan_words may read

inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int fd1;  // f1's file, for the parts read at offsets

// The bytes of the file in a buffer of BUF_BYTES.
struct Reader {
    char *buf;
    const char *cur, *lim;  // the unread bytes, then a NUL (no blank)
    bool at_eof;            // nothing more to read after lim
    bool failed;            // a read failed (at_eof is then set too)
    long long offset;       // the file offset of buf[0]
    bool at_offsets;        // reads the file at offset + lim - buf; else the stream f1 where it stands
};

// Keeps the unread bytes, moved to the front, and reads the next block
// after them.
void refill(Reader *r)
{
    size_t keep = static_cast<size_t>(r->lim - r->cur);
    r->offset += r->cur - r->buf;
    memmove(r->buf, r->cur, keep);
    size_t want = BUF_BYTES - 1 - keep;
    long long got;
    if (r->at_offsets) {
        got = read_at(fd1, r->buf + keep, want, r->offset + static_cast<long long>(keep));
    } else {
        got = static_cast<long long>(fread(r->buf + keep, 1, want, f1));
        if (static_cast<size_t>(got) < want && ferror(f1)) got = -1;
    }
    if (got < 0) {
        r->failed = true;
        got = 0;
    }
    if (static_cast<size_t>(got) < want) r->at_eof = true;
    r->cur = r->buf;
    r->lim = r->buf + keep + got;
    r->buf[keep + got] = '\0';
}

// Starts r at offset (the stream where it stands when not at_offsets).
void start_reader(Reader *r, char *buf, long long offset, bool at_offsets)
{
    r->buf = buf;
    r->cur = r->lim = buf;
    buf[0] = '\0';
    r->at_eof = r->failed = false;
    r->offset = offset;
    r->at_offsets = at_offsets;
    refill(r);
}

// Skips whitespace up to the next word; then, before the end of the file,
// more than LONGEST_WORD bytes are in the buffer from it. False at the end
// of the file (or of what could be read).
bool next_word(Reader *r)
{
    for (;;) {
        while (r->cur < r->lim && is_space(*r->cur)) r->cur++;
        if (r->cur < r->lim) break;
        if (r->at_eof) return false;
        refill(r);
    }
    if (r->lim - r->cur <= LONGEST_WORD && !r->at_eof) refill(r);
    return true;
}

const char *word_end(const char *q, const char *lim)
{
    while (q < lim && !is_space(*q)) q++;
    return q;
}

const char *shown(const char *w, const char *we, char *out)
{
    return shown_text(w, static_cast<size_t>(we - w), out);
}

bool too_long(const char *w, const char *we) { return we - w > LONGEST_WORD; }

bool whole_number(const char *w, const char *we, double *v) { return we > w && scan_number(w, we, v) == we; }

// The header's reader, whose buffer goes on with the values of the first part.
char head_space[BUF_SPACE];
Reader head;

bool header_word(void)
{
    bool more = next_word(&head);
    if (head.failed) stop_run(1, MSG_GRID_UNREADABLE);
    return more;
}

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

// A header word (from head.cur to we) too long to be read stops.
void refuse_long_header_word(const char *we)
{
    char text[SHOWN_TEXT];
    if (too_long(head.cur, we))
        stop_run(1, MSG_GRID_HEADER_LONG, shown(head.cur, we, text), int(LONGEST_WORD));
}

// Reads the header. A keyword sets its own entry wherever it comes; another
// word takes the entry of its position. The header ends at a word in a
// keyword's place that reads as a number (the first altitude, left unread:
// a header without its no-data entry has five entries), or at a word that
// is no keyword after six entries (a word too long for a keyword is none);
// it must have given both dimensions. A
// file that ends before the first five entries were given is no grid (an
// empty file, one cut short) and stops.
void read_header(void)
{
    unsigned given = 0;  // bit per entry
    for (int position = 0;; position++) {
        if (!header_word()) {
            require(given, 5, MSG_GRID_HEADER_ENDS);
            return;
        }
        const char *we = word_end(head.cur, head.lim);
        bool centre;
        Entry entry = keyword_entry(head.cur, we, &centre);
        if (entry == POSITIONAL) {
            double v;
            if (position >= 6 || (!too_long(head.cur, we) && whole_number(head.cur, we, &v))) {
                require(given, 2, MSG_GRID_HEADER_WITHOUT);
                return;
            }
            refuse_long_header_word(we);
            entry = static_cast<Entry>(position);
        }
        given |= 1u << entry;
        char keyword[SHOWN_TEXT];  // for messages: the next read may move the buffer
        shown(head.cur, we, keyword);
        head.cur = we;
        if (!header_word()) stop_run(1, MSG_GRID_HEADER_ENDS, keyword);
        we = word_end(head.cur, head.lim);
        refuse_long_header_word(we);
        bool ok;
        double v = 0.0;
        if (entry == NCOLS)
            ok = whole_int(head.cur, we, &nb_col);
        else if (entry == NROWS)
            ok = whole_int(head.cur, we, &nb_lig);
        else
            ok = whole_number(head.cur, we, &v);
        char text[SHOWN_TEXT];
        if (!ok)
            stop_run(1, MSG_GRID_BAD_HEADER, keyword,
                     entry == NCOLS || entry == NROWS ? "a whole number" : "a number",
                     shown(head.cur, we, text));
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
        head.cur = we;
    }
}

// Why a part stopped before its last value. ENDED: no word was left before
// its end, or the last part has the next line: settle reads the part before
// the last on; for a part counted before, the file changed since.
enum Fault { NO_FAULT, BAD_WORD, GRID_ENDS, UNREADABLE, ENDED };

// A stretch of the file, from..to, and the values of the words that start
// in it: a word starts at a byte that is no blank after a blank (or at the
// first value).
struct Part {
    Reader r;
    char *space;            // its buffer's memory (the first part's: the header's)
    long long from, to;     // file offsets; LLONG_MAX: to the end of the file
    long long words;        // the words that start in it, once counted
    bool counted;           // ... could be counted
    long long first, last;  // the indices of its values: first to last - 1
    long long next;         // the index it came to
    Fault fault;
    char word[SHOWN_TEXT];  // the bad word, as shown
    bool long_word;         // ... longer than LONGEST_WORD
    bool progress;          // prints the progress lines: the main thread's part
    bool guarded;           // may not write the lines the last part takes
    double lowest;          // the lowest of its lines passed (pass_line)
    long long rows_at;      // the last part: the file offset of its first row (LLONG_MAX: none)
    Worker worker;
};

Part parts[MAX_WORKERS];
int nb_parts;
int progress_shown;  // the last line whose progress line was printed
long long data_end;  // the file offset after the last byte
long long window;    // the last part's buffer, for a few lines of the file's length a line

// The lines taken by the part before the last (up to top_line, and the
// parts before it those before its first) and by the last part (from
// low_line on), which read towards each other. Each
// publishes a line before it writes it, then checks the other's: with both
// in one order (sequentially consistent), at least one of two parts that
// reach the same line sees it, so no line is written by both.
std::atomic<int> top_line, low_line;

bool take_top(int l)
{
    top_line.store(l);
    return l < low_line.load();
}

bool take_low(int l)
{
    low_line.store(l);
    return l > top_line.load();
}

void show_progress(int l)
{
    printf("\tline %d                   \r", l);
    fflush(stdout);  // a carriage return alone does not flush a terminal
    progress_shown = l;
}

// The words that start in part k, counted through buf (another part's: the
// part's own may hold the header's unread bytes).
void count_part(Part *pt, char *buf)
{
    pt->counted = false;
    pt->words = 0;
    // The byte before from: a word that goes on into the part is not its.
    char before;
    if (read_at(fd1, &before, 1, pt->from - 1) != 1) return;
    bool blank_before = is_space(before);
    for (long long at = pt->from; at < pt->to;) {
        long long want =
            pt->to - at < static_cast<long long>(BLOCK) ? pt->to - at : static_cast<long long>(BLOCK);
        long long got = read_at(fd1, buf, static_cast<size_t>(want), at);
        if (got <= 0) return;  // a part ends before the end of the file
        pt->words += word_starts(buf, static_cast<size_t>(got), blank_before);
        blank_before = is_space(buf[got - 1]);
        at += got;
    }
    pt->counted = true;
}

void *count_job(void *arg)
{
    Part *pt = static_cast<Part *>(arg);  // counts the part before it, through its buffer
    count_part(pt - 1, pt->space + 16);
    return nullptr;
}

// The byte at file offset `to` in r's buffer, or lim when it lies beyond.
const char *stop_in(const Reader *r, long long to)
{
    long long k = to - r->offset;
    return k < r->lim - r->buf ? r->buf + (k > 0 ? k : 0) : r->lim;
}

void fail(Part *pt, long long index, Fault fault)
{
    pt->next = index;
    pt->fault = fault;
}

// The values of part pt, line by line. Each must be a whole word of at
// most LONGEST_WORD bytes that reads as a number. scan_words takes the
// common words, each whole with the blank after it, up to the part's end;
// for any other word the buffer holds it whole, and the byte after it,
// before it is scanned. Blanks are skipped up to the NUL after the unread
// bytes without a bound check. A line begun in the part is passed to
// the per-line pass as soon as it is whole, while it is in cache.
CLONES void read_part(Part *pt)
{
    Reader *r = &pt->r;
    const int n = nb_col;
    const char *p = r->cur;
    const char *stop = stop_in(r, pt->to);
    long long i = pt->next;
    while (i < pt->last) {
        const int l = static_cast<int>(i / n);
        int c = static_cast<int>(i % n);
        if (pt->guarded && (c == 0 || i == pt->next) && !take_top(l)) break;
        if (pt->progress && c == 0 && l > 0 && l % 100 == 0) show_progress(l);
        double *row = dtab[l];
        const int end = pt->last - i < n - c ? c + static_cast<int>(pt->last - i) : n;
        while (c < end) {
            // The common words several at a time; the word they stop at
            // (another shape, or near the end of the buffer or the part)
            // the exact way.
            c += scan_words(&p, stop, row + c, end - c);
            if (c == end) break;
            while (is_space(*p)) p++;
            if (r->lim - p <= LONGEST_WORD && !r->at_eof) {
                r->cur = p;
                next_word(r);
                p = r->cur;
                stop = stop_in(r, pt->to);
            }
            const long long at = static_cast<long long>(l) * n + c;
            if (r->failed) return fail(pt, at, UNREADABLE);
            // No word left in the part: the grid ends there, or the part
            // does (the fault tells the caller which).
            if (p >= stop) {
                r->cur = p;
                return fail(pt, at, pt->to == LLONG_MAX ? GRID_ENDS : ENDED);
            }
            const char *q = scan_number(p, r->lim, &row[c]);
            // No number (q == p wraps around), more than LONGEST_WORD bytes
            // (which a number ending at lim before the end of the file is),
            // or a number that is not the whole word.
            if (static_cast<size_t>(q - p) - 1 >= size_t(LONGEST_WORD) || (q < r->lim && !is_space(*q))) {
                const char *we = word_end(p, r->lim);
                shown(p, we, pt->word);
                pt->long_word = too_long(p, we);
                return fail(pt, at, BAD_WORD);
            }
            p = q;
            c++;
        }
        i = static_cast<long long>(l) * n + c;
        if (c == n && static_cast<long long>(l) * n >= pt->first) pass_line(l, &pt->lowest);
    }
    r->cur = p;
    pt->next = i;
    if (i < pt->last) pt->fault = ENDED;  // the last part has the line
}

void *read_job(void *arg)
{
    Part *pt = static_cast<Part *>(arg);
    if (pt->first == pt->last) return nullptr;
    start_reader(&pt->r, pt->space + 16, pt->from - 1, true);
    // A word that goes on into the part from before it is not its.
    if (pt->r.cur < pt->r.lim && !is_space(*pt->r.cur)) {
        pt->r.cur++;
        while (!pt->r.failed) {
            while (pt->r.cur < pt->r.lim && !is_space(*pt->r.cur)) pt->r.cur++;
            if (pt->r.cur < pt->r.lim || pt->r.at_eof) break;
            refill(&pt->r);
        }
    }
    read_part(pt);
    return nullptr;
}

// The last '\n' in lo..end, or null: the C library's own search where it
// has one (a line of a large grid is tens of kilobytes, and a byte loop
// would cost as much as reading it).
const char *last_newline(const char *lo, const char *end)
{
#ifdef __GLIBC__
    return static_cast<const char *>(memrchr(lo, '\n', static_cast<size_t>(end - lo)));
#else
    while (end > lo)
        if (*--end == '\n') return end;
    return nullptr;
#endif
}

// Line l from the bytes ls..end of the last part's buffer (end holds a NUL
// in place of the '\n' after them): true when they are exactly nb_col
// numbers, read as read_part reads them.
bool read_line(Part *pt, const char *ls, char *end, int l)
{
    Part line;
    line.r = pt->r;
    line.r.failed = false;
    line.r.cur = ls;
    line.r.lim = end;
    line.r.at_eof = true;  // nothing to read after the line
    line.to = LLONG_MAX;
    line.first = line.next = static_cast<long long>(l) * nb_col;
    line.last = line.first + nb_col;
    line.fault = NO_FAULT;
    line.progress = line.guarded = false;
    line.lowest = pt->lowest;
    read_part(&line);
    pt->lowest = line.lowest;
    const char *p = line.r.cur;
    while (p < end && is_space(*p)) p++;
    return line.fault == NO_FAULT && p == end;
}

// The last part, from the end of the file up: the last line that holds
// words is the last row, the line before it the row before, and so on
// while each line is nb_col numbers. It stops at a line that starts before
// the part or is no such row, at one longer than its buffer, at a read that
// fails, or where the part before it has come to. Its rows, from
// pt->first on, are the forward reading's when that part ends where they
// begin (settle checks); it reports no fault: the forward reading finds it.
void *read_back(void *arg)
{
    Part *pt = static_cast<Part *>(arg);
    char *buf = pt->space + 16;
    pt->r.buf = buf;
    pt->first = pt->last = static_cast<long long>(nb_lig) * nb_col;
    pt->rows_at = LLONG_MAX;
    long long pos = data_end;  // the bytes from pos on are the rows read, or the blanks after them
    bool rows = false;         // a row was read
    for (int l = nb_lig; l > 0;) {
        const long long lo = pos - window > pt->from - 1 ? pos - window : pt->from - 1;
        if (pos <= lo || read_at(fd1, buf, static_cast<size_t>(pos - lo), lo) != pos - lo) break;
        pt->r.offset = lo;
        char *end = buf + (pos - lo);
        if (!rows) {  // the blanks that end the file
            while (end > buf && is_space(end[-1])) end--;
            if (end == buf) {
                pos = lo;
                continue;
            }
        }
        const long long taken = l;
        for (const char *nl; l > 0 && (nl = last_newline(buf, end)) != nullptr; l--) {
            *end = '\0';
            if (!take_low(l - 1) || !read_line(pt, nl + 1, end, l - 1)) return nullptr;
            pt->first = static_cast<long long>(l - 1) * nb_col;
            pt->rows_at = lo + (nl + 1 - buf);
            end = const_cast<char *>(nl);
            rows = true;
        }
        if (l == taken) break;  // the line starts before the part, or is too long
        pos = lo + (end - buf);
    }
    return nullptr;
}

// Parts for data bytes of values from data_start on: one per processor, of
// a block at least (a smaller one would gain less than its thread costs),
// work_parts when set; one where the file cannot be read at offsets (a
// stream of unknown size) or a part's buffer cannot be had.
int plan_parts(long long data_start, long long data)
{
    long long k = parts_for(data, static_cast<long long>(BLOCK));
    if (k > data) k = data;
    if (k < 2) return 1;
    window = 2 * (data / nb_lig) + LONGEST_WORD;  // a wide grid's lines are long
    if (window < static_cast<long long>(BUF_BYTES) - 1) window = static_cast<long long>(BUF_BYTES) - 1;
    for (int j = 1; j < k; j++) {
        parts[j].space =
            static_cast<char *>(malloc(j < k - 1 ? BUF_SPACE : static_cast<size_t>(16 + window + 1)));
        if (!parts[j].space) {
            while (--j >= 1) free(parts[j].space);
            return 1;
        }
    }
    for (int j = 0; j < k; j++) {
        parts[j].from = data_start + data * j / k;
        parts[j - (j > 0)].to = parts[j].from;
    }
    parts[k - 1].to = LLONG_MAX;
    return static_cast<int>(k);
}

void free_parts(void)
{
    for (int j = 1; j < nb_parts; j++) free(parts[j].space);
    nb_parts = 0;
}

// Each part's first and last index from the counts of the parts before
// the last two (the last part places itself, the one before it goes up to
// the last part's rows); false when one could not be counted.
bool place_parts(long long cells)
{
    long long index = 0;
    for (int j = 0; j < nb_parts; j++) {
        parts[j].first = parts[j].next = index < cells ? index : cells;
        if (j < nb_parts - 2) {
            if (!parts[j].counted) return false;
            index += parts[j].words;
        }
        parts[j].last = j < nb_parts - 2 && index < cells ? index : cells;
    }
    return true;
}

// Once all parts are read: the part before the last reads on to where the
// last part's rows begin. Ending there at their first index, without a
// word left before them, it makes them the forward reading's. Otherwise
// (the lines are not the rows, or the grid is damaged) it reads on to the
// end of the file, over them, as one part would.
void settle(Part *pt, Part *back)
{
    const long long cells = static_cast<long long>(nb_lig) * nb_col;
    pt->guarded = false;
    if (pt->fault == ENDED && pt->next <= back->first) {
        pt->fault = NO_FAULT;
        pt->to = back->rows_at;
        pt->last = back->first;
        read_part(pt);
        if (pt->fault == NO_FAULT && pt->to != LLONG_MAX && next_word(&pt->r) &&
            pt->r.offset + (pt->r.cur - pt->r.buf) < pt->to)
            pt->fault = ENDED;  // words left before the rows
        if (pt->r.failed) pt->fault = UNREADABLE;
    }
    if (pt->fault != ENDED) return;
    pt->fault = NO_FAULT;
    pt->to = LLONG_MAX;
    pt->last = cells;
    read_part(pt);
}

// Stops at the first fault, in the order of the file, once the progress
// lines a reading in one go would have printed before it are printed.
void report(void)
{
    int end_line = nb_lig - 1;
    const Part *faulty = nullptr;
    for (int j = 0; j < nb_parts && !faulty; j++)
        if (parts[j].fault != NO_FAULT) faulty = &parts[j];
    if (faulty) end_line = static_cast<int>(faulty->next / nb_col);
    for (int l = (progress_shown / 100 + 1) * 100; l <= end_line; l += 100) show_progress(l);
    if (!faulty) return;
    const int l = end_line + 1, c = static_cast<int>(faulty->next % nb_col) + 1;
    char word[SHOWN_TEXT];
    memcpy(word, faulty->word, sizeof word);
    const Fault fault = faulty->fault;
    const bool long_word = faulty->long_word;
    free_parts();
    if (fault == UNREADABLE || fault == ENDED) stop_run(1, MSG_GRID_UNREADABLE);
    if (fault == GRID_ENDS) stop_run(1, MSG_GRID_ENDS, l, c);
    if (long_word) stop_run(1, MSG_GRID_LONG_VALUE, l, c, word, int(LONGEST_WORD));
    stop_run(1, MSG_GRID_BAD_VALUE, l, c, word);
}

}  // namespace

void ascii_lecture(void)
{
    printf("\n");
    long long left = stream_bytes_left(f1);
    long start = ftell(f1);
    start_reader(&head, head_space + 16, start > 0 ? start : 0, false);
    if (head.failed) stop_run(1, MSG_GRID_UNREADABLE);
    // The byte order mark is skipped in the buffer: the stream may not seek
    // back.
    head.cur += byte_order_mark(head.cur, static_cast<size_t>(head.lim - head.cur));

    nodata = NAN;  // until the header gives one
    x_centre = y_centre = dy_given = false;
    read_header();
    place_cells();
    if (nb_lig < 0 || nb_col < 0) stop_run(1, MSG_BAD_DIMENSIONS, nb_lig, nb_col);
    if (nb_lig == 0 || nb_col == 0) return;  // empty model: no matrix, no values

    // n values take at least 2n - 1 bytes: refuse a header the file cannot
    // fill before taking the memory for it.
    const long long data_start = head.offset + (head.cur - head.buf);
    const long long data = left >= 0 ? (start > 0 ? start : 0) + left - data_start : -1;
    const long long cells = static_cast<long long>(nb_lig) * nb_col;
    if (data >= 0 && 2 * cells - 1 > data) stop_run(1, MSG_GRID_TOO_BIG, nb_lig, nb_col, data > 0 ? data : 0);
    take_line_extremes();

    fd1 = fileno(f1);
    // The parts before the last are counted while the matrix is taken.
    nb_parts = data > 0 ? plan_parts(data_start, data) : 1;
    for (int j = 0; j < nb_parts; j++) {
        parts[j].fault = NO_FAULT;
        parts[j].progress = j == 0;
        parts[j].guarded = j == nb_parts - 2;
        parts[j].lowest = INFINITY;
    }
    parts[0].r = head;
    parts[0].from = data_start;
    if (nb_parts == 1) parts[0].to = LLONG_MAX;
    data_end = data_start + data;
    bool counting[MAX_WORKERS] = {};
    for (int j = 1; j < nb_parts - 1; j++) counting[j] = worker_start(&parts[j].worker, count_job, &parts[j]);
    dtab = dmatrice(nb_col, nb_lig);
    for (int j = 1; j < nb_parts - 1; j++) {
        if (counting[j])
            worker_join(&parts[j].worker);
        else
            count_job(&parts[j]);
    }
    if (!dtab) {
        free_parts();
        stop_no_memory(nb_lig, nb_col);
    }
    if (!place_parts(cells)) {  // read in one go
        free_parts();
        nb_parts = 1;
        parts[0].guarded = false;
        parts[0].to = LLONG_MAX;
        place_parts(cells);
    }

    progress_shown = 0;
    bool reading[MAX_WORKERS] = {};
    const int last = nb_parts - 1;
    // The last part takes no line that a part before the one before it has.
    top_line = last > 0 ? static_cast<int>((parts[last - 1].first + nb_col - 1) / nb_col) - 1 : nb_lig;
    low_line = nb_lig;
    for (int j = 1; j <= last; j++)
        reading[j] = worker_start(&parts[j].worker, j == last ? read_back : read_job, &parts[j]);
    read_part(&parts[0]);
    for (int j = 1; j <= last; j++) {
        if (reading[j])
            worker_join(&parts[j].worker);
        else if (j == last)
            read_back(&parts[j]);
        else
            read_job(&parts[j]);
    }
    if (last > 0) settle(&parts[last - 1], &parts[last]);
    report();
    // The lines that parts share (begun in one, ended in another), once
    // they are whole.
    int shared = -1;
    for (int j = 1; j < nb_parts; j++) {
        const long long first = parts[j].first;
        const int l = static_cast<int>(first / nb_col);
        if (first == cells || first % nb_col == 0 || l == shared) continue;
        double lowest = INFINITY;
        pass_line(l, &lowest);
        shared = l;
    }
    free_parts();
}
