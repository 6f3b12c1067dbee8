// IMAGE: uncompressed Windows bitmaps of two kinds, read and written.
//
//   Type 0  8-bit palette image whose palette is the grey ramp (entry i has
//           blue = green = red = i)
//   Type 1  8-bit palette image with any other palette
//   Type 2  24-bit image, three bytes per pixel: blue, green, red
//
// An image is a row-pointer matrix of bytes, line 0 at the top; dimensions
// go columns first (NbCol), then lines (NbLig). On disk: a 54-byte header,
// for 8-bit images a palette of 256 four-byte entries, then the rows bottom
// line first, each padded with zero bytes to a multiple of 4.
//
// Header layout, field widths in bytes from offset 0 (all little-endian):
//   2 4 2 2 4 | 4 4 4 2 2 4 4 4 4 4 4
//
// Synopsis:
//   unsigned char **img = ucmatrice(w, h);          // fill img[l][c]
//   if (SauveBMP("mask.bmp", img, w, h, 0, nullptr) != 0) { /* failed */ }
//   Color32 *pal = nullptr;                          // null: no palette
//   int nc, nl, type;
//   unsigned char **back = ChargeBMP("mask.bmp", nc, nl, type, pal);
//   // release back: delete[] each of its nl lines, then delete[] back
//
// The library prints nothing, keeps no state between calls and touches no
// global state; the result is its only report.
#ifndef IMAGE_H
#define IMAGE_H

#include <cstdint>

// One palette entry, in its on-disk byte order. O is carried unchanged.
struct Color32 {
    unsigned char B, G, R, O;
};

// The sixteen fields of the 54-byte header. Each field is moved to and from
// its own offset by itself, so this record's layout in memory is free.
// Width and height are signed: a negative height marks rows stored top
// line first.
struct BMP_Header {
    uint16_t BfType;           // offset 0, "BM"
    uint32_t BfSize;           // 2, whole file size
    uint16_t Res1;             // 6
    uint16_t Res2;             // 8
    uint32_t BfOffBits;        // 10, where the pixel rows start
    uint32_t BiSize;           // 14, 40
    int32_t BiWidth;           // 18
    int32_t BiHeight;          // 22
    uint16_t BiPlanes;         // 26, 1
    uint16_t BiBitCount;       // 28, 8 or 24
    uint32_t BiCompression;    // 30, 0 = none
    uint32_t BiSizeImage;      // 34, rows with their padding
    uint32_t BiXPelsPerMeter;  // 38
    uint32_t BiYPelsPerMeter;  // 42
    uint32_t BiClrUsed;        // 46
    uint32_t BiClrImportant;   // 50
};

// Writes Buff (NbLig lines of at least NbCol pixels, 1 byte per pixel for
// Types 0 and 1, 3 for Type 2) to the file Nom, replacing any file of that
// name. An 8-bit image gets ColorMAP's 256 entries as its palette, or the
// grey ramp when ColorMAP is null; Types 0 and 1 are written alike.
// Returns 0 when the whole file was written, -1 on failure: a Type other
// than 0, 1, 2, a negative size or an image too large for the 32-bit size
// fields (nothing touched), memory, or any create, write, flush, close or
// naming failure, which leaves no partial file and an existing Nom
// untouched.
// The new file is created exclusively in Nom's folder, never through a
// symbolic link, with the mode 0666 less the umask, and takes the name Nom
// only once whole: on Linux it has no name until then, so a process killed
// at any moment leaves the old image or the whole new one and nothing
// else; where that is not to be had, it is written under an unpredictable
// temporary name beside Nom (Nom.tmp and 12 random letters and digits) and
// renamed. A file it replaces hands on its permission bits (POSIX). A
// symbolic link at Nom is itself replaced; what it points to is untouched.
// A Nom that is not a regular file (a device, or a link to one) is written
// in place.
int SauveBMP(const char *Nom, const unsigned char *const *Buff, int NbCol, int NbLig, int Type,
             const Color32 *ColorMAP);

// Reads the file Name, an uncompressed 8-bit image with a 256-entry palette
// or a 24-bit image, stored bottom-up or top-down, into a new matrix of
// NbLig lines of NbCol * (1 or 3) bytes, line 0 the top line, allocated with
// new[] (release each line, then the array, with delete[]). Sets NbCol,
// NbLig and Type (0, 1 or 2) on success.
// ColorMAP: null on entry means no palette is wanted, and it stays null.
// Otherwise (the value itself is ignored) it receives, before anything else,
// a new[] buffer of 256 entries that the caller owns whatever the outcome;
// it holds the file's palette after an 8-bit image was read, nothing
// defined otherwise (null if that buffer could not be had).
// Returns null on failure, having released everything else it allocated
// and closed the file: no file, not "BM", another bit count, palette size
// or compression, a negative width, a header announcing more data than the
// file holds, a file cut short, or memory.
unsigned char **ChargeBMP(const char *Name, int &NbCol, int &NbLig, int &Type, Color32 *&ColorMAP);

#endif
