// What the two model readers share: how a bad word is shown, the size test
// made before a model is allocated, and the byte order mark.
#ifndef READERS_H
#define READERS_H

#include <cstddef>
#include <cstdio>
#include <cstring>

// The longest part of a bad word that a message shows.
const int SHOWN_WORD = 40;

// A word as a message shows it: its first SHOWN_WORD bytes, printable
// ASCII as they are and any other byte as \xNN, so that a NUL, a control
// byte or a byte order mark shows as what it is instead of hiding or acting
// on the terminal. out must hold SHOWN_TEXT bytes; returns out.
const int SHOWN_TEXT = 4 * SHOWN_WORD + 1;
char *shown_text(const char *word, size_t length, char *out);

// Bytes from the stream's position to the end of its file, or -1 when the
// stream is not a regular file (a pipe, a memory stream) and its size is
// unknown.
long long stream_bytes_left(FILE *f);

// 3 when the n bytes at p start with a UTF-8 byte order mark, else 0: some
// editors put one at the start of a text file, and it is no part of the
// first word.
inline size_t byte_order_mark(const char *p, size_t n)
{
    return n >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

#endif
