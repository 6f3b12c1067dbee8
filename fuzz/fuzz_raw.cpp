// libFuzzer: the raw raster reader with its descriptor, through the real
// dialogue, so that opening() reads the descriptor and dem_lecture() the
// raster exactly as in a run.
//
// Input: byte 0 the descriptor's length (255: no descriptor, the dialogue
// asks for the dimensions and writes one), byte 1 the length of the
// answers that follow "F M 1" (the depth, the unit, locate, an image
// name...), then the descriptor text, the answers, and the raster bytes.
// The raster and the descriptor are laid out as the model M at both
// depths (M_m2.*, M_m4.*: links to one file).
//
// Oracle: samples read are the raster's, little-endian; altitudes are the
// samples times one unit factor; a descriptor that was there is untouched;
// a created one is whole; a mask marks exactly the lowest cells.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fuzz_program.h"

namespace {

const char PREFIX[] = "F\nM\n1\n";
std::string answers;

void whole_run(void)
{
    opening();
    treatment();
}

int sample(const std::string &raster, size_t i)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(raster.data());
    if (itype == 0) return p[2 * i] | p[2 * i + 1] << 8;
    uint32_t u = p[4 * i] | p[4 * i + 1] << 8 | p[4 * i + 2] << 16 | uint32_t(p[4 * i + 3]) << 24;
    int32_t v;
    memcpy(&v, &u, sizeof v);
    return v;
}

void check_model(const std::string &raster)
{
    if (!itab) return;
    if (!dtab || nb_lig < 1 || nb_col < 1) abort();
    size_t i = 0;
    for (int l = 0; l < nb_lig; l++)
        for (int c = 0; c < nb_col; c++, i++)
            if (itab[l][c] != sample(raster, i)) {
                fprintf(stderr, "fuzz_raw: sample %zu read as %d\n", i, itab[l][c]);
                abort();
            }
    // The unit factor, from the first cell that shows it; altitudes all 0
    // until the unit is answered.
    const double factors[4] = {1.0, 0.1, 0.01, 0.001};
    double f = 0.0;
    for (int l = 0; l < nb_lig && f == 0.0; l++)
        for (int c = 0; c < nb_col && f == 0.0; c++)
            if (dtab[l][c] != 0.0)
                for (double g : factors)
                    if (dtab[l][c] == itab[l][c] * g) f = g;
    bool none = f == 0.0;
    for (int l = 0; l < nb_lig; l++)
        for (int c = 0; c < nb_col; c++)
            if (dtab[l][c] != (none ? 0.0 : itab[l][c] * f)) {
                fprintf(stderr, "fuzz_raw: cell %d,%d: %.17g for the sample %d\n", l, c, dtab[l][c],
                        itab[l][c]);
                abort();
            }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::make_scratch("fuzz_raw");
    fuzz::put("M_m2.raw", "", 0);
    if (link("c/images/F/M_m2.raw", "c/images/F/M_m4.raw")) abort();
    fuzz::leave();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    const bool has_descriptor = data[0] != 255;
    size_t at = 2;
    size_t dn = has_descriptor ? std::min<size_t>(data[0], size - at) : 0;
    std::string descriptor(reinterpret_cast<const char *>(data) + at, dn);
    at += dn;
    size_t an = std::min<size_t>(data[1], size - at);
    if (fuzz::unsafe_answers(data + at, an)) return 0;
    answers.assign(PREFIX);
    answers.append(reinterpret_cast<const char *>(data) + at, an);
    at += an;
    std::string raster(reinterpret_cast<const char *>(data) + at, size - at);
    fuzz::enter();

    // The 16-bit and 32-bit names are links to one file each: one write.
    std::vector<std::string> layout = {"M_m2.raw", "M_m4.raw"};
    fuzz::put("M_m2.raw", raster);
    if (has_descriptor) {
        fuzz::put("M_m2.txt", descriptor);
        if (access("c/images/F/M_m4.txt", F_OK) != 0 && link("c/images/F/M_m2.txt", "c/images/F/M_m4.txt"))
            abort();
        layout.push_back("M_m2.txt");
        layout.push_back("M_m4.txt");
    } else {
        remove("c/images/F/M_m2.txt");
        remove("c/images/F/M_m4.txt");
    }

    fuzz::run_program(whole_run, answers.data(), answers.size());
    check_model(raster);
    std::string text;
    if (has_descriptor && (!fuzz::read_file("c/images/F/M_m2.txt", &text) || text != descriptor)) {
        fprintf(stderr, "fuzz_raw: the descriptor was changed\n");
        abort();
    }
    fuzz::check_and_clean(layout);
    fuzz::reset_state();
    fuzz::leave();
    return 0;
}
