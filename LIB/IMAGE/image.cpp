// Placeholder until the image library lands: an 8-bit grey writer.
#include "image.h"

#include <cstdio>
#include <cstring>
#include <vector>

static void put32(unsigned char *p, unsigned v)
{
    p[0] = v & 255; p[1] = (v >> 8) & 255; p[2] = (v >> 16) & 255; p[3] = v >> 24;
}

int SauveBMP(const char *Nom, unsigned char **Buff, int NbCol, int NbLig, int, Color32 *)
{
    FILE *f = fopen(Nom, "wb");
    if (!f) return -1;
    unsigned tb = (NbCol + 3) / 4 * 4;
    unsigned char h[54] = {'B', 'M'};
    put32(h + 2, 1078 + tb * NbLig); put32(h + 10, 1078); put32(h + 14, 40);
    put32(h + 18, NbCol); put32(h + 22, NbLig); h[26] = 1; h[28] = 8;
    put32(h + 34, tb * NbLig); put32(h + 38, 10000); put32(h + 42, 10000);
    fwrite(h, 54, 1, f);
    for (int i = 0; i < 256; i++) { unsigned char e[4] = {(unsigned char)i, (unsigned char)i, (unsigned char)i, 0}; fwrite(e, 4, 1, f); }
    std::vector<unsigned char> row(tb);
    for (int l = NbLig - 1; l >= 0 && NbCol > 0; l--) { memcpy(row.data(), Buff[l], NbCol); fwrite(row.data(), tb, 1, f); }
    return fclose(f) == 0 ? 0 : -1;
}
