// libFuzzer: the whole dialogue, opening() then treatment(), driven by an
// arbitrary answer stream, in a folder F that holds a small grid G, a 16-bit
// raster R with its descriptor, a 32-bit raster W without one, and a folder
// named D.asc (a model name that is not a file).
//
// Oracle: the layout is still there after every run, and what a run adds
// is a whole descriptor or a mask that marks exactly the lowest cells;
// added files are removed so that every run starts from the same layout.
#include <cstdint>
#include <cstring>

#include "fuzz_program.h"

namespace {

const std::vector<std::string> layout = {"G.asc", "R_m2.raw", "R_m2.txt", "W_m4.raw", "D.asc"};

void whole_run(void)
{
    opening();
    treatment();
}

std::string le16(std::initializer_list<int> v)
{
    std::string s;
    for (int x : v) s += {static_cast<char>(x & 255), static_cast<char>(x >> 8 & 255)};
    return s;
}

std::string le32(std::initializer_list<int> v)
{
    std::string s;
    for (int x : v) {
        uint32_t u = static_cast<uint32_t>(x);
        for (int k = 0; k < 4; k++) s += static_cast<char>(u >> (8 * k) & 255);
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::make_scratch("fuzz_dialogue");
    fuzz::put("G.asc",
              "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 5\nNODATA_value -9999\n"
              "1.5 2 1.5 nan\n4 1.5 6 -9999\n7e1 -0 0x10 inf\n");
    fuzz::put("R_m2.raw", le16({120, 118, 130, 140, 117, 117, 125, 150, 119, 121, 117, 65535}));
    fuzz::put("R_m2.txt", "3\n4\n2\n117\n65535\n25.000000\n");
    fuzz::put("W_m4.raw", le32({-5000, 2500, 1000000, 7, -5000, 3}));
    if (mkdir("c/images/F/D.asc", 0755)) abort();
    fuzz::leave();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (fuzz::unsafe_answers(data, size)) return 0;
    fuzz::enter();
    fuzz::run_program(whole_run, reinterpret_cast<const char *>(data), size);
    fuzz::check_and_clean(layout);
    fuzz::reset_state();
    fuzz::leave();
    return 0;
}
