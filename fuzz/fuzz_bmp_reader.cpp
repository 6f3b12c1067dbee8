// libFuzzer: ChargeBMP on arbitrary bytes. The reader takes a path, so the
// bytes go to a file, in memory (/dev/shm) where there is one. Whatever it
// accepts must be fully readable and must survive a save and a reload
// unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "image.h"

namespace {

std::string in_path, out_path;

void remove_scratch()
{
    remove(in_path.c_str());
    remove(out_path.c_str());
}

void release(unsigned char **m, int nl)
{
    for (int l = 0; l < nl; l++) delete[] m[l];
    delete[] m;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string base = std::string(dir) + "/fuzz_bmp_reader." + std::to_string(getpid());
    in_path = base + ".in.bmp";
    out_path = base + ".out.bmp";
    atexit(remove_scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen(in_path.c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, size, 1, f) != 1) abort();
    if (fclose(f) != 0) abort();

    Color32 wish;
    Color32 *pal = &wish;  // the palette wanted: any non-null value
    int nc = -1, nl = -1, type = -1;
    unsigned char **m = ChargeBMP(in_path.c_str(), nc, nl, type, pal);
    if (!pal) abort();
    if (m) {
        if (nc < 0 || nl < 0 || type < 0 || type > 2) abort();
        const size_t larg = (size_t)nc * (type == 2 ? 3 : 1);
        if (SauveBMP(out_path.c_str(), m, nc, nl, type, type == 2 ? nullptr : pal) != 0) abort();
        Color32 *none = nullptr;
        int nc2, nl2, type2;
        unsigned char **back = ChargeBMP(out_path.c_str(), nc2, nl2, type2, none);
        if (!back || none || nc2 != nc || nl2 != nl || type2 != type) abort();
        for (int l = 0; l < nl; l++)
            if (memcmp(m[l], back[l], larg) != 0) abort();
        release(back, nl2);
        release(m, nl);
    }
    delete[] pal;

    // The same without the palette: ColorMAP stays null.
    pal = nullptr;
    m = ChargeBMP(in_path.c_str(), nc, nl, type, pal);
    if (pal) abort();
    if (m) release(m, nl);
    return 0;
}
