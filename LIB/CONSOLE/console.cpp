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
// The terminal's own settings while a key is awaited without echo, and the
// signals that end the process meanwhile (Ctrl-C, quit, kill, hang-up): the
// terminal must get its echo and line editing back before the end.
struct termios key_saved;
const int ENDING_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
const int N_ENDING = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];

// Installed with SA_RESETHAND: the raised signal, blocked until the handler
// returns, then ends the process with its default action, as it would have.
void restore_terminal_and_end(int sig)
{
    tcsetattr(0, TCSANOW, &key_saved);
    raise(sig);
}

ssize_t read_bytes(char *dst, size_t n)
{
    ssize_t got;
    do got = read(0, dst, n);
    while (got < 0 && errno == EINTR);
    return got;
}
#endif

// A raw keystroke from the terminal, not echoed, without Enter.
void read_terminal_key()
{
#ifdef _WIN32
    fflush(stdout);
    // Function and arrow keys arrive as a prefix byte and a code: one key.
    int c = _getch();
    if (c == 0 || c == 0xE0) _getch();
#else
    struct termios raw;
    struct sigaction old[N_ENDING];
    bool restore = tcgetattr(0, &key_saved) == 0;
    if (restore) {
        struct sigaction act;
        memset(&act, 0, sizeof act);
        act.sa_handler = restore_terminal_and_end;
        act.sa_flags = SA_RESETHAND;
        sigemptyset(&act.sa_mask);
        for (int sig : ENDING_SIGNALS) sigaddset(&act.sa_mask, sig);
        for (int i = 0; i < N_ENDING; i++) {
            sigaction(ENDING_SIGNALS[i], nullptr, &old[i]);
            // A signal the process was started to ignore stays ignored.
            if (old[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &act, nullptr);
        }
        raw = key_saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(0, TCSANOW, &raw);
    }
    // The text before the key shows only now that echo is off: a key
    // pressed as soon as it appears is never echoed.
    fflush(stdout);
    char c[64];
    if (read_bytes(c, 1) > 0 && restore) {
        // The rest of the key: an arrow or function key sends several bytes
        // at once, as does a character beyond ASCII. What comes within a
        // tenth of a second of the last byte belongs to it; left queued, it
        // would start the next answer or go to the shell after the program.
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 1;
        tcsetattr(0, TCSANOW, &raw);
        while (read_bytes(c, sizeof c) > 0) {
        }
    }
    if (restore) {
        tcsetattr(0, TCSANOW, &key_saved);
        for (int i = 0; i < N_ENDING; i++)
            if (old[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &old[i], nullptr);
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
    fflush(stdout);
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
