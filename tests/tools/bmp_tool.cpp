// Drives the image library from the command line so that other decoders
// and encoders can be checked against it.
//   bmp_tool write PATH TYPE NBCOL NBLIG [odd]
//     saves a pattern: byte j of line l is (31 l + 7 j + 3) mod 256; with
//     "odd" an 8-bit image gets the palette B=i G=255-i R=7i O=i^0x5A.
//     Prints SauveBMP's result; exit status 0 when it is 0.
//   bmp_tool read PATH [palette]
//     prints "type T", "size NBCOL NBLIG", with "palette" one line of the
//     1024 palette bytes in hex (8-bit images), then each line in hex, line
//     0 first; or "null" (exit status 1).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image.h"

static void hex_line(const char *tag, const unsigned char *p, size_t n)
{
    printf("%s", tag);
    for (size_t i = 0; i < n; i++) printf("%02x", p[i]);
    printf("\n");
}

int main(int argc, char **argv)
{
    if (argc >= 6 && !strcmp(argv[1], "write")) {
        int type = atoi(argv[3]), nc = atoi(argv[4]), nl = atoi(argv[5]);
        size_t larg = (size_t)nc * (type == 2 ? 3 : 1);
        std::vector<std::vector<unsigned char>> lines(nl, std::vector<unsigned char>(larg + 1));
        std::vector<const unsigned char *> rows;
        for (int l = 0; l < nl; l++) {
            for (size_t j = 0; j < larg; j++) lines[l][j] = (unsigned char)(31 * l + 7 * j + 3);
            rows.push_back(lines[l].data());
        }
        Color32 odd[256];
        for (int i = 0; i < 256; i++)
            odd[i] = Color32{(unsigned char)i, (unsigned char)(255 - i), (unsigned char)(7 * i),
                             (unsigned char)(i ^ 0x5A)};
        bool want_odd = argc >= 7 && !strcmp(argv[6], "odd");
        int r = SauveBMP(argv[2], rows.data(), nc, nl, type, want_odd ? odd : nullptr);
        printf("%d\n", r);
        return r == 0 ? 0 : 1;
    }
    if (argc >= 3 && !strcmp(argv[1], "read")) {
        bool want = argc >= 4 && !strcmp(argv[3], "palette");
        Color32 *pal = want ? reinterpret_cast<Color32 *>(&want) : nullptr;  // any non-null value
        int nc = 0, nl = 0, type = 0;
        unsigned char **m = ChargeBMP(argv[2], nc, nl, type, pal);
        if (!m) {
            printf("null\n");
            delete[] pal;
            return 1;
        }
        printf("type %d\nsize %d %d\n", type, nc, nl);
        if (want && type != 2) hex_line("palette ", reinterpret_cast<unsigned char *>(pal), 1024);
        size_t larg = (size_t)nc * (type == 2 ? 3 : 1);
        for (int l = 0; l < nl; l++) {
            hex_line("", m[l], larg);
            delete[] m[l];
        }
        delete[] m;
        delete[] pal;
        return 0;
    }
    printf("usage: bmp_tool write PATH TYPE NBCOL NBLIG [odd] | read PATH [palette]\n");
    return 2;
}
