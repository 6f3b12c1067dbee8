// What the two model readers share: their error texts and the size test
// made before a model is allocated.
#ifndef READERS_H
#define READERS_H

#include <cstddef>
#include <cstdio>

// Texts of the readers' error stops (all stop with exit status 1) and
// warnings.
#define MSG_BAD_DIMENSIONS "\n\n\tThe model cannot have %d lines and %d columns.\n"
#define MSG_RASTER_SHORT                                                               \
    "\n\n\tThe raster file is too short: %d lines of %d samples of %d bytes need %llu " \
    "bytes, the file holds %lld.\n"
#define MSG_RASTER_UNREADABLE "\n\n\tThe raster file could not be read.\n"
#define MSG_DESCRIPTOR_UNWRITTEN "\n\n\tThe descriptor file could not be written.\n"
#define MSG_DESCRIPTOR_TAKEN \
    "\n\tWarning: %s appeared while the model was read; the descriptor is not written over it.\n"
#define MSG_GRID_TOO_BIG                                                         \
    "\n\n\tThe grid header announces %d lines and %d columns: more values than " \
    "the %lld bytes left in the file can hold.\n"
#define MSG_GRID_BAD_VALUE "\n\n\tGrid line %d, column %d: \"%s\" is not a number.\n"
#define MSG_GRID_ENDS "\n\n\tGrid line %d, column %d: the file ends before this value.\n"
#define MSG_GRID_BAD_HEADER "\n\n\tGrid header: the value of %s is not %s: \"%s\".\n"
#define MSG_GRID_HEADER_ENDS "\n\n\tGrid header: the file ends before the value of %s.\n"
#define MSG_GRID_HEADER_WITHOUT "\n\n\tGrid header: the header ends without the value of %s.\n"
// A word longer than the grid reader's window, shown by its start.
#define MSG_GRID_HEADER_LONG \
    "\n\n\tGrid header: the word \"%s...\" is too long: a word may have at most %d characters.\n"
#define MSG_GRID_LONG_VALUE                                                                   \
    "\n\n\tGrid line %d, column %d: the word \"%s...\" is too long: a word may have at most %d " \
    "characters.\n"
#define MSG_GRID_UNREADABLE "\n\n\tThe grid file could not be read.\n"

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

#endif
