// nadir_spot: the program state and the functions of the driver and readers.
//
// One run handles one model. Everything the run's steps pass to one another
// lives in these globals, as reset_state() leaves them at start: opening()
// fills the dimensions, names and files and calls one reader; the reader
// fills dtab and the line extremes (kernels.h); treatment() combines them
// and writes the mask. (Each step's own working values stay private to its
// file and are set afresh when the step starts.)
#ifndef NADIR_SPOT_H
#define NADIR_SPOT_H

#include <cstddef>
#include <cstdio>

// Path texts: c:\images\, the folder, \, a name and its suffix, built in
// buffers of PATH_TEXT bytes, so at most PATH_TEXT - 1 characters. ask_name
// keeps room for the suffix that follows a name.
const size_t PATH_TEXT = 128;
const size_t BASE_LEN = 10;         // c:\images\ (the folder follows)
const size_t MODEL_SUFFIX_MAX = 7;  // _m2.raw, the longest suffix of a model
const size_t IMAGE_SUFFIX_LEN = 4;  // .bmp of the mask, .bpw of its world file

extern int nb_lig;           // lines of the model
extern int nb_col;           // columns of the model
extern int format;           // 0 text grid, 1 raw raster, negative: no model
extern int itype;            // 0 16-bit samples, any other accepted answer 32-bit
extern int mind, maxd;       // stored minimum and maximum of a descriptor read
extern double dpix_size;     // pixel size in metres; a grid's cell width
extern double dpix_dy;       // a grid's cell height: its dy, else its cell size
extern double X_min, Y_min;  // lower-left corner of the lower-left cell, from a grid header
extern double nodata;        // 0, then once a grid header is read its no-data value, or NaN

extern unsigned short **jtab;    // 16-bit samples, only while they are widened
extern int **itab;               // integer samples of a raw raster
extern double **dtab;            // altitudes in metres: the model searched
extern unsigned char **tab_bin;  // the mask: 255, 1 on the lowest pixels

// The lowest and highest number of each line of dtab (nb_lig of each), and
// the cells at the line's lowest, taken by the reader while the line it has
// just written is still in cache: the search needs no pass of its own over
// the model. Null until a reader takes them. A grid's no-data cells take no
// part; line_voids counts them (0 on a raw raster, which has none).
extern double *line_min, *line_max;
extern int *line_lows, *line_voids;
extern unsigned char **line_low_bits;  // its cells at its lowest, a bit each (low_bits)
// Takes them for the nb_lig lines of dtab, those of an earlier run in this
// process given back first; the out-of-memory stop when they cannot be had.
void take_line_extremes(void);
// Gives them back (they may be null) and sets them null.
void free_line_extremes(void);

extern bool descr_OK;  // an existing descriptor was read
// The path text of the descriptor that the raw reader writes once the
// raster is read, empty when none is to be written.
extern char descr_new[PATH_TEXT];

extern char nomim1[PATH_TEXT];   // folder path, then the model file's path
extern char nomfic1[PATH_TEXT];  // model name as typed
extern char nomim2[PATH_TEXT];   // folder path, then the output image's path
extern char nomfic[PATH_TEXT];   // output image name as typed

extern FILE *f1;   // the model file
extern FILE *f1d;  // the descriptor, open while it is read

// The program state as at start: every matrix and vector given back, the
// files closed, numbers 0, names empty. The program starts from it; the
// unit tests and the fuzz targets call it between runs in one process.
void reset_state(void);

void opening(void);
void treatment(void);
void dem_lecture(void);
void ascii_lecture(void);

// Asks for a name (one word) until it leaves room, in a path text of at
// most PATH_TEXT - 1 characters, for `reserve` more characters after the
// `used` ones already built; a longer answer is refused and the prompt
// asked again.
void ask_name(const char *prompt, char *dst, size_t used, size_t reserve);

// The stop shared by the driver and the readers when a matrix or vector
// cannot be had (exit status 1).
[[noreturn]] void stop_no_memory(int lines, int columns);

#endif
