// The console and file-system layer: the one place that knows the platform.
//
// Answers are whitespace-delimited words read from standard input; what
// follows a word (its line end, say) stays in the input, as it would for a
// formatted read. Every function here flushes standard output before it
// waits, so a prompt is always visible before its answer is awaited.
#ifndef CONSOLE_H
#define CONSOLE_H

#include <cstddef>
#include <cstdio>

// Reads one word into dst (at most cap-1 characters kept, always
// terminated) and returns the word's full length, so that a caller can
// refuse a word longer than it can hold. End of input before any word ends
// the run: message, exit status 1.
size_t ask_word(char *dst, size_t cap);

// Read one word as a number. A word that is not wholly a number (or that is
// out of range: int for ask_int, a finite double for ask_real) is discarded:
// a short message says a number is expected and the result is false, so the
// caller prints its prompt again and asks again.
bool ask_int(int *out);
bool ask_real(double *out);

// The word [p, end) as a whole number within int: an optional sign, then
// decimal digits, nothing else. False otherwise, *out untouched.
bool whole_int(const char *p, const char *end, int *out);

// One key press. On a terminal: a fresh keystroke, not echoed, no Enter
// needed, taken whole and alone (one byte, one UTF-8 character, or every
// byte of an arrow or function key's sequence); the rest of the line of the
// previous answer does not count, and what is typed or pasted after the
// key stays for the next answers. A signal that ends the process during
// the wait (interrupt, quit, termination, hang-up) gives the terminal back
// its echo and line editing first; a stop (Ctrl-Z) gives them back until
// the process is resumed, and the wait goes on. Not a terminal: exactly one
// character is consumed; at end of input, no wait.
void wait_key(void);

// Stop with a message: print it, wait for a key press, end the process
// with status (through end_run).
[[noreturn]] void stop_run(int status, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Ends the process with status, or with 1 when standard output could not
// be written (a full disk, say): the results are lost, and a line on
// standard error says so. Every run ends here, at its end or at a stop.
[[noreturn]] void end_run(int status);

// Native path of a path text built under c:\images\. On Windows the text
// is the path. Elsewhere the drive "c:" becomes the folder "c" (letter in
// lower case) and every backslash a '/': c:\images\F\M.asc opens
// c/images/F/M.asc relative to the working directory. out must hold
// strlen(text) + 1 bytes; returns out.
char *native_path(const char *text, char *out);

// fopen of the native path of a path text.
FILE *open_path(const char *text, const char *mode);

#ifdef NADIR_FUZZING
// Fuzz builds: a stop jumps here with status + 1 instead of ending the
// process, so that one process can run the dialogue over and over.
#include <csetjmp>
extern jmp_buf *console_exit_jump;
#endif

// Read answers from this memory instead of standard input, as from a pipe
// (fuzz targets and unit tests). The bytes must outlive their use.
void console_input_memory(const char *data, size_t size);

#endif
