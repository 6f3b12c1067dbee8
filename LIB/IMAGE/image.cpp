// IMAGE: the BMP writer and reader (see image.h for what each returns).
#include "image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "new_file.h"

static_assert(sizeof(Color32) == 4, "a palette entry is read and written as 4 bytes");

namespace {

const int HEADER_BYTES = 54;
const int PALETTE_ENTRIES = 256;
const int PALETTE_BYTES = PALETTE_ENTRIES * 4;
const uint32_t OFFSET_8BIT = HEADER_BYTES + PALETTE_BYTES;  // 1078
const uint32_t OFFSET_24BIT = HEADER_BYTES;
const uint16_t SIGNATURE = 0x4D42;  // "BM"
// Large enough that a mask of 20 000 columns goes out in a few hundred
// system calls rather than one per row.
const size_t STREAM_BUFFER = size_t(1) << 20;
// Lines of a zero-width image hold no bytes, so the file cannot vouch for
// their count; past the largest height a 16-bit field held it is refused.
const int32_t MAX_EMPTY_LINES = 32767;

void put16(unsigned char *p, uint16_t v)
{
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)(v >> 8);
}

void put32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)((v >> 8) & 0xFF);
    p[2] = (unsigned char)((v >> 16) & 0xFF);
    p[3] = (unsigned char)(v >> 24);
}

uint16_t get16(const unsigned char *p) { return (uint16_t)(p[0] | (p[1] << 8)); }

uint32_t get32(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void header_to_bytes(const BMP_Header &h, unsigned char *b)
{
    put16(b + 0, h.BfType);
    put32(b + 2, h.BfSize);
    put16(b + 6, h.Res1);
    put16(b + 8, h.Res2);
    put32(b + 10, h.BfOffBits);
    put32(b + 14, h.BiSize);
    put32(b + 18, (uint32_t)h.BiWidth);
    put32(b + 22, (uint32_t)h.BiHeight);
    put16(b + 26, h.BiPlanes);
    put16(b + 28, h.BiBitCount);
    put32(b + 30, h.BiCompression);
    put32(b + 34, h.BiSizeImage);
    put32(b + 38, h.BiXPelsPerMeter);
    put32(b + 42, h.BiYPelsPerMeter);
    put32(b + 46, h.BiClrUsed);
    put32(b + 50, h.BiClrImportant);
}

void header_from_bytes(const unsigned char *b, BMP_Header &h)
{
    h.BfType = get16(b + 0);
    h.BfSize = get32(b + 2);
    h.Res1 = get16(b + 6);
    h.Res2 = get16(b + 8);
    h.BfOffBits = get32(b + 10);
    h.BiSize = get32(b + 14);
    h.BiWidth = (int32_t)get32(b + 18);
    h.BiHeight = (int32_t)get32(b + 22);
    h.BiPlanes = get16(b + 26);
    h.BiBitCount = get16(b + 28);
    h.BiCompression = get32(b + 30);
    h.BiSizeImage = get32(b + 34);
    h.BiXPelsPerMeter = get32(b + 38);
    h.BiYPelsPerMeter = get32(b + 42);
    h.BiClrUsed = get32(b + 46);
    h.BiClrImportant = get32(b + 50);
}

// Row size on disk: the pixel bytes rounded up to a multiple of 4.
uint64_t padded_row(uint64_t larg) { return (larg + 3) / 4 * 4; }

// A fully buffered stream with a buffer of its own; the caller frees *buf
// after closing. Without the memory the stream keeps its default buffer.
void big_buffer(FILE *f, uint64_t file_bytes, char **buf)
{
    size_t n = file_bytes < STREAM_BUFFER ? (size_t)file_bytes : STREAM_BUFFER;
    *buf = nullptr;
    if (n <= BUFSIZ) return;
    char *b = new (std::nothrow) char[n];
    if (b && setvbuf(f, b, _IOFBF, n) != 0) {
        delete[] b;
        b = nullptr;
    }
    *buf = b;
}

// The size of an open file, or -1 when it cannot be told (a pipe).
int64_t file_size(FILE *f)
{
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    int64_t n = _ftelli64(f);
    if (_fseeki64(f, 0, SEEK_SET) != 0) return -1;
#else
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    int64_t n = (int64_t)ftello(f);
    if (fseeko(f, 0, SEEK_SET) != 0) return -1;
#endif
    return n;
}

// The header, the palette of an 8-bit image and the rows, bottom line
// first: true when every write was taken.
bool write_image(FILE *f, const unsigned char *header, const Color32 *palette,
                 const unsigned char *const *Buff, int NbLig, size_t larg, size_t TBuff, unsigned char *row)
{
    if (fwrite(header, HEADER_BYTES, 1, f) != 1) return false;
    if (palette && fwrite(palette, 4, PALETTE_ENTRIES, f) != (size_t)PALETTE_ENTRIES) return false;
    if (TBuff > 0) {
        // Rows without padding go out straight from the matrix; padded ones
        // through the staging row, whose padding stays zero from its one
        // clearing since every line overwrites the same leading bytes.
        for (int i = NbLig - 1; i >= 0; i--) {
            const unsigned char *src = Buff[i];
            if (larg < TBuff) {
                memcpy(row, src, larg);
                src = row;
            }
            if (fwrite(src, 1, TBuff, f) != TBuff) return false;
        }
    }
    return true;
}

}  // namespace

int SauveBMP(const char *Nom, const unsigned char *const *Buff, int NbCol, int NbLig, int Type,
             const Color32 *ColorMAP)
{
    if (!Nom || Type < 0 || Type > 2 || NbCol < 0 || NbLig < 0) return -1;
    const bool eight_bit = Type != 2;
    const uint64_t taille = eight_bit ? 1 : 3;
    const uint32_t offset = eight_bit ? OFFSET_8BIT : OFFSET_24BIT;
    // 64-bit sizes: NbCol * 3 and NbLig * TBuff overflow 32 bits long before
    // the allocation or the write could notice.
    const uint64_t larg = (uint64_t)NbCol * taille;
    const uint64_t TBuff = padded_row(larg);
    const uint64_t image_bytes = (uint64_t)NbLig * TBuff;
    if (offset + image_bytes > 0xFFFFFFFFu) return -1;
    if (!Buff && image_bytes > 0) return -1;

    BMP_Header h;
    h.BfType = SIGNATURE;
    h.BfSize = (uint32_t)(offset + image_bytes);
    h.Res1 = 0;
    h.Res2 = 0;
    h.BfOffBits = offset;
    h.BiSize = 40;
    h.BiWidth = NbCol;
    h.BiHeight = NbLig;
    h.BiPlanes = 1;
    h.BiBitCount = eight_bit ? 8 : 24;
    h.BiCompression = 0;
    h.BiSizeImage = (uint32_t)image_bytes;
    h.BiXPelsPerMeter = 10000;
    h.BiYPelsPerMeter = 10000;
    h.BiClrUsed = 0;
    h.BiClrImportant = 0;
    unsigned char BuffHeader[HEADER_BYTES];
    header_to_bytes(h, BuffHeader);

    Color32 CM[PALETTE_ENTRIES];
    for (int i = 0; i < PALETTE_ENTRIES; i++) {
        if (ColorMAP) {
            CM[i] = ColorMAP[i];
        } else {
            CM[i].B = CM[i].G = CM[i].R = (unsigned char)i;
            CM[i].O = 0;
        }
    }

    // No staging row for an image without lines: its width may be anything.
    unsigned char *row = nullptr;
    if (larg < TBuff && NbLig > 0) {
        row = new (std::nothrow) unsigned char[(size_t)TBuff]();
        if (!row) return -1;
    }

    // The image has its name only once whole: a failure never leaves a
    // partial image nor harms an existing one.
    NewFile nf;
    if (!new_file_open(&nf, Nom, "wb", true)) {
        delete[] row;
        return -1;
    }
    char *stream_buf = nullptr;
    big_buffer(nf.f, offset + image_bytes, &stream_buf);
    bool ok = write_image(nf.f, BuffHeader, eight_bit ? CM : nullptr, Buff, NbLig, (size_t)larg,
                          (size_t)TBuff, row);
    if (ok)
        ok = new_file_commit(&nf) == 0;  // the flush, the close and the name
    else
        new_file_discard(&nf);
    delete[] stream_buf;  // the stream is closed
    delete[] row;
    return ok ? 0 : -1;
}

namespace {

void free_lines(unsigned char **m, int32_t n)
{
    for (int32_t i = 0; i < n; i++) delete[] m[i];
    delete[] m;
}

// The matrix of `lines` lines of larg bytes, filled from rows of TBuff
// bytes stored bottom line first (top line first when top_down); null, with
// everything released, when memory or the file runs short.
unsigned char **read_rows(FILE *f, int32_t lines, bool top_down, size_t larg, size_t TBuff)
{
    unsigned char **m = new (std::nothrow) unsigned char *[(size_t)lines];
    if (!m) return nullptr;
    int32_t made = 0;
    while (made < lines && (m[made] = new (std::nothrow) unsigned char[larg]) != nullptr) made++;
    bool ok = made == lines;
    // Unpadded rows are read straight into their line; padded ones through
    // the staging row, which drops the padding. Without lines the width is
    // not vouched for by the file size: no staging row then.
    unsigned char *row = nullptr;
    if (ok && lines > 0 && larg < TBuff) {
        row = new (std::nothrow) unsigned char[TBuff];
        ok = row != nullptr;
    }
    for (int32_t k = 0; ok && k < lines; k++) {
        unsigned char *line = m[top_down ? k : lines - 1 - k];
        ok = fread(row ? row : line, 1, TBuff, f) == TBuff;
        if (ok && row) memcpy(line, row, larg);
    }
    delete[] row;
    if (!ok) {
        free_lines(m, made);
        return nullptr;
    }
    return m;
}

// Everything of ChargeBMP between the opening and the closing of f.
unsigned char **read_image(FILE *f, Color32 *palette, int &NbCol, int &NbLig, int &Type)
{
    const int64_t size = file_size(f);
    unsigned char BuffHeader[HEADER_BYTES];
    if (size < HEADER_BYTES || fread(BuffHeader, HEADER_BYTES, 1, f) != 1) return nullptr;
    BMP_Header h;
    header_from_bytes(BuffHeader, h);

    if (h.BfType != SIGNATURE) return nullptr;
    uint64_t taille;
    if (h.BiBitCount == 8 && h.BfOffBits == OFFSET_8BIT)
        taille = 1;
    else if (h.BiBitCount == 24 && h.BfOffBits == OFFSET_24BIT)
        taille = 3;
    else
        return nullptr;
    // Run lengths, bit fields and embedded JPEG or PNG would be read as
    // pixels: only plain rows are accepted.
    if (h.BiCompression != 0) return nullptr;
    if (h.BiWidth < 0 || h.BiHeight == INT32_MIN) return nullptr;
    const bool top_down = h.BiHeight < 0;
    const int32_t lines = top_down ? -h.BiHeight : h.BiHeight;
    const uint64_t larg = (uint64_t)h.BiWidth * taille;
    const uint64_t TBuff = padded_row(larg);
    if (larg == 0 && lines > MAX_EMPTY_LINES) return nullptr;
    // The file must hold every row the header announces before anything is
    // allocated: a forged header must not buy gigabytes of memory.
    if (h.BfOffBits + (uint64_t)lines * TBuff > (uint64_t)size) return nullptr;
    if (TBuff > (uint64_t)SIZE_MAX) return nullptr;

    int kind = 2;
    if (taille == 1) {
        // The reader never seeks: the accepted offsets put the palette right
        // behind the header and the rows right behind the palette.
        if (fread(palette, 4, PALETTE_ENTRIES, f) != (size_t)PALETTE_ENTRIES) return nullptr;
        kind = 0;
        for (int i = 0; i < PALETTE_ENTRIES; i++) {
            if (palette[i].B != i || palette[i].G != i || palette[i].R != i) {
                kind = 1;
                break;
            }
        }
    }
    unsigned char **m = read_rows(f, lines, top_down, (size_t)larg, (size_t)TBuff);
    if (!m) return nullptr;
    NbCol = h.BiWidth;
    NbLig = lines;
    Type = kind;
    return m;
}

}  // namespace

unsigned char **ChargeBMP(const char *Name, int &NbCol, int &NbLig, int &Type, Color32 *&ColorMAP)
{
    // A wanted palette is the caller's from the start, whatever follows.
    Color32 own[PALETTE_ENTRIES];
    Color32 *palette = own;
    if (ColorMAP) {
        ColorMAP = new (std::nothrow) Color32[PALETTE_ENTRIES];
        if (!ColorMAP) return nullptr;
        palette = ColorMAP;
    }
    if (!Name) return nullptr;
    FILE *f = fopen(Name, "rb");
    if (!f) return nullptr;
    unsigned char **m = read_image(f, palette, NbCol, NbLig, Type);
    fclose(f);
    return m;
}
