#include "console.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#define read_fd _read
#else
#include <csignal>

#include <termios.h>
#include <unistd.h>
#define read_fd read
#endif

// The console's own messages: an answer that is no number, input that ends.
#define MSG_NOT_WHOLE_NUMBER "\n\tA whole number is expected here.\n"
#define MSG_NOT_NUMBER "\n\tA number is expected here.\n"
#define MSG_END_OF_INPUT "\n\n\tEnd of input: no answer to the question above.\n"
// On standard error, the one channel left when standard output fails.
#define MSG_OUTPUT_FAILED "Standard output could not be written: the run's results are lost.\n"

namespace {

// Input is buffered here rather than in stdio so that the key press can
// tell what is left of the previous answer's line from a new keystroke.
char in_buf[4096];
size_t in_pos = 0, in_len = 0;
bool in_eof = false;
const char *mem_data = nullptr;  // memory input, when set
size_t mem_left = 0;
bool mem_mode = false;
int tty_state = -1;  // -1 unknown, 0 no, 1 yes

bool input_is_tty()
{
    if (mem_mode) return false;
    if (tty_state < 0) {
#ifdef _WIN32
        // A console, not merely a character device: the null device is one
        // too, and a key read from it would wait for a console forever.
        DWORD mode;
        tty_state = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? 1 : 0;
#else
        tty_state = isatty(0) ? 1 : 0;
#endif
    }
    return tty_state == 1;
}

bool fill()
{
    if (in_pos < in_len) return true;
    if (in_eof) return false;
    in_pos = in_len = 0;
    if (mem_mode) {
        size_t n = mem_left < sizeof in_buf ? mem_left : sizeof in_buf;
        memcpy(in_buf, mem_data, n);
        mem_data += n;
        mem_left -= n;
        in_len = n;
    } else {
#ifdef _WIN32
        // Bytes as they come: a text-mode read would drop the CR of CR LF
        // (harmless) but also end the input at the first Ctrl-Z byte.
        static bool binary = false;
        if (!binary) {
            _setmode(0, _O_BINARY);
            binary = true;
        }
#endif
        for (;;) {
            long n = read_fd(0, in_buf, static_cast<unsigned>(sizeof in_buf));
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) in_len = static_cast<size_t>(n);
            break;
        }
    }
    if (in_len == 0) {
        in_eof = true;
        return false;
    }
    return true;
}

int next_char()
{
    if (!fill()) return EOF;
    return static_cast<unsigned char>(in_buf[in_pos++]);
}

int peek_char()
{
    if (!fill()) return EOF;
    return static_cast<unsigned char>(in_buf[in_pos]);
}

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

#ifndef _WIN32
// The length of the key whose bytes start p[0, n): one byte, a UTF-8
// character, or an escape sequence (ESC [ or ESC O up to its final byte;
// ESC and a key, as Alt sends). 0 while its end has not arrived.
size_t key_length(const unsigned char *p, size_t n)
{
    const size_t LONGEST = 16;  // a sequence without its end stops there
    if (n == 0) return 0;
    if (p[0] == 0x1B) {
        if (n < 2) return 0;  // alone (the Escape key), or a sequence's start
        if (p[1] == 'O') return n < 3 ? 0 : 3;
        if (p[1] != '[') {
            size_t k = key_length(p + 1, n - 1);
            return k ? 1 + k : 0;
        }
        size_t i = n > 2 && p[2] == '[' ? 3 : 2;  // the Linux console's F1 to F5: ESC [ [ A
        for (; i < n && i < LONGEST; i++) {
            if (p[i] >= 0x40 && p[i] <= 0x7E) return i + 1;  // the final byte
            if (p[i] < 0x20 || p[i] > 0x3F) return i;        // not a sequence's byte
        }
        return i == LONGEST ? i : 0;
    }
    size_t more = p[0] >= 0xF0 && p[0] <= 0xF4  ? 3
                  : p[0] >= 0xE0 && p[0] < 0xF0 ? 2
                  : p[0] >= 0xC2 && p[0] < 0xE0 ? 1
                                                : 0;
    for (size_t i = 1; i <= more; i++) {
        if (i == n) return 0;
        if ((p[i] & 0xC0) != 0x80) return i;  // not a continuation byte
    }
    return 1 + more;
}

// The terminal's own settings while a key is awaited, and the wait's: no
// echo, no line editing. A signal that ends the process meanwhile (Ctrl-C,
// quit, kill, hang-up) gives the terminal its own settings back first;
// Ctrl-Z gives them back while the process is stopped.
struct termios key_saved, key_raw;
const int WATCHED[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};
const int N_WATCHED = sizeof WATCHED / sizeof WATCHED[0];
const int TSTP = N_WATCHED - 1;
struct sigaction key_old[N_WATCHED];
volatile sig_atomic_t key_waiting = 0;  // the wait's settings are the terminal's, or about to be

// Puts back what the signal did before the wait and raises it again:
// blocked until this returns, it then ends the process as it would have.
void restore_terminal_and_end(int sig)
{
    tcsetattr(0, TCSANOW, &key_saved);
    for (int i = 0; i < N_WATCHED; i++)
        if (WATCHED[i] == sig) sigaction(sig, &key_old[i], nullptr);
    raise(sig);
}

// Stops as the signal would have, the terminal as the shell left it; on
// resuming (fg) the wait's settings are set again and the wait goes on.
void stop_with_terminal(int)
{
    int err = errno;
    tcsetattr(0, TCSANOW, &key_saved);
    struct sigaction mine;
    sigaction(SIGTSTP, &key_old[TSTP], &mine);
    raise(SIGTSTP);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);  // stopped here until continued
    sigaction(SIGTSTP, &mine, nullptr);
    if (key_waiting) tcsetattr(0, TCSANOW, &key_raw);
    errno = err;
}

void watch_key_signals(bool on)
{
    struct sigaction act;
    memset(&act, 0, sizeof act);
    sigemptyset(&act.sa_mask);
    for (int sig : WATCHED) sigaddset(&act.sa_mask, sig);
    for (int i = 0; i < N_WATCHED; i++) {
        if (on) sigaction(WATCHED[i], nullptr, &key_old[i]);
        act.sa_handler = i == TSTP ? stop_with_terminal : restore_terminal_and_end;
        // A signal the process was started to ignore stays ignored.
        if (key_old[i].sa_handler != SIG_IGN) sigaction(WATCHED[i], on ? &act : &key_old[i], nullptr);
    }
}

ssize_t read_bytes(char *dst, size_t n)
{
    ssize_t got;
    do got = read(0, dst, n);
    while (got < 0 && errno == EINTR);
    return got;
}
#endif

// A raw keystroke from the terminal, not echoed, without Enter. Called with
// the input buffer empty; what arrives with the key (answers typed ahead or
// pasted) stays in it for the next answers.
void read_terminal_key()
{
#ifdef _WIN32
    fflush(stdout);
    // Function and arrow keys arrive as a prefix byte and a code: one key.
    int c = _getch();
    if (c == 0 || c == 0xE0) _getch();
#else
    bool restore = tcgetattr(0, &key_saved) == 0;
    if (restore) {
        key_raw = key_saved;
        key_raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        key_raw.c_cc[VMIN] = 1;
        key_raw.c_cc[VTIME] = 0;
        watch_key_signals(true);
        key_waiting = 1;
        tcsetattr(0, TCSANOW, &key_raw);
    }
    // The text before the key shows only now that echo is off: a key
    // pressed as soon as it appears is never echoed.
    fflush(stdout);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(in_buf);
    ssize_t got = read_bytes(in_buf, sizeof in_buf);
    in_pos = 0;
    in_len = got > 0 ? static_cast<size_t>(got) : 0;
    size_t key = key_length(bytes, in_len);
    if (key == 0 && in_len > 0 && restore) {
        // The rest of a key of several bytes comes within a tenth of a
        // second of its start, or the key is what has come.
        key_raw.c_cc[VMIN] = 0;
        key_raw.c_cc[VTIME] = 1;
        tcsetattr(0, TCSANOW, &key_raw);
        while (key == 0 && in_len < sizeof in_buf &&
               (got = read_bytes(in_buf + in_len, sizeof in_buf - in_len)) > 0) {
            in_len += static_cast<size_t>(got);
            key = key_length(bytes, in_len);
        }
    }
    in_pos = key ? key : in_len;
    if (restore) {
        key_waiting = 0;
        tcsetattr(0, TCSANOW, &key_saved);
        watch_key_signals(false);
    }
#endif
}

// The longest word a number can be; longer words are not numbers we take.
// A number must end where its word ends, not at a NUL byte inside it.
const size_t NUMBER_WORD = 64;

}  // namespace

#ifdef NADIR_FUZZING
jmp_buf *console_exit_jump;
#endif

size_t ask_word(char *dst, size_t cap)
{
    fflush(stdout);
    int c;
    do c = next_char();
    while (c != EOF && is_space(c));
    if (c == EOF) stop_run(1, MSG_END_OF_INPUT);
    size_t len = 0;
    for (;;) {
        if (len + 1 < cap) dst[len] = static_cast<char>(c);
        len++;
        c = peek_char();
        if (c == EOF || is_space(c)) break;
        in_pos++;
    }
    if (cap > 0) dst[len < cap ? len : cap - 1] = '\0';
    return len;
}

bool whole_int(const char *p, const char *end, int *out)
{
    if (end - p > 1 && *p == '+' && p[1] >= '0' && p[1] <= '9') p++;  // from_chars takes no '+'
    std::from_chars_result r = std::from_chars(p, end, *out);
    return r.ec == std::errc() && r.ptr == end;
}

bool ask_int(int *out)
{
    char word[NUMBER_WORD];
    size_t len = ask_word(word, sizeof word);
    if (len < sizeof word && whole_int(word, word + len, out)) return true;
    printf(MSG_NOT_WHOLE_NUMBER);
    return false;
}

bool ask_real(double *out)
{
    char word[NUMBER_WORD];
    size_t len = ask_word(word, sizeof word);
    if (len < sizeof word) {
        char *end;
        double v = strtod(word, &end);
        if (end != word && end == word + len && std::isfinite(v)) {
            *out = v;
            return true;
        }
    }
    printf(MSG_NOT_NUMBER);
    return false;
}

void wait_key(void)
{
    if (!input_is_tty()) {
        fflush(stdout);
        next_char();
        return;
    }
    // Drop what is left of the previous answer's line; a key typed ahead
    // after it still counts.
    while (in_pos < in_len) {
        if (in_buf[in_pos++] == '\n') break;
    }
    if (in_pos < in_len) {
        in_pos++;
        fflush(stdout);
        return;
    }
    read_terminal_key();
}

void stop_run(int status, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    wait_key();
    end_run(status);
}

void end_run(int status)
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs(MSG_OUTPUT_FAILED, stderr);
        status = 1;
    }
#ifdef NADIR_FUZZING
    if (console_exit_jump) longjmp(*console_exit_jump, status + 1);
#endif
    exit(status);
}

char *native_path(const char *text, char *out)
{
#ifdef _WIN32
    strcpy(out, text);
#else
    const char *p = text;
    char *o = out;
    if (((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')) && p[1] == ':') {
        *o++ = static_cast<char>(p[0] | 0x20);
        p += 2;
        if (*p != '\\' && *p != '/' && *p) *o++ = '/';
    }
    for (; *p; p++) *o++ = *p == '\\' ? '/' : *p;
    *o = '\0';
#endif
    return out;
}

FILE *open_path(const char *text, const char *mode)
{
    char native[4096];
    if (strlen(text) >= sizeof native) return nullptr;
    return fopen(native_path(text, native), mode);
}

void console_input_memory(const char *data, size_t size)
{
    mem_mode = true;
    mem_data = data;
    mem_left = size;
    in_pos = in_len = 0;
    in_eof = false;
}
