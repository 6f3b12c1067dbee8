// The image library: the bytes the writer lays down, what the reader takes
// back and what both refuse, and that a failed save harms nothing on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "image.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void spit(const std::string &path, const Bytes &b)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(b.data()), (std::streamsize)b.size());
}

uint32_t le32(const Bytes &b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}

void set32(Bytes &b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; k++) b[at + k] = (unsigned char)(v >> (8 * k));
}

// An image of nl lines of nc * taille bytes, each byte telling its place.
struct Image {
    std::vector<Bytes> lines;
    std::vector<const unsigned char *> rows;
};

Image pattern(int nc, int nl, int taille)
{
    Image im;
    for (int l = 0; l < nl; l++) {
        Bytes line((size_t)nc * taille);
        for (size_t c = 0; c < line.size(); c++) line[c] = (unsigned char)(1 + l * 37 + c * 11);
        im.lines.push_back(line);
    }
    for (auto &line : im.lines) im.rows.push_back(line.data());
    return im;
}

std::vector<Color32> odd_palette()
{
    std::vector<Color32> p(256);
    for (int i = 0; i < 256; i++)
        p[i] = Color32{(unsigned char)i, (unsigned char)(255 - i), (unsigned char)(i * 7),
                       (unsigned char)(i ^ 0x5A)};
    return p;
}

void release(unsigned char **m, int nl)
{
    for (int l = 0; l < nl; l++) delete[] m[l];
    delete[] m;
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A fresh folder per test, named after the test, under the system's
        // temporary folder.
        const ::testing::TestInfo *t = ::testing::UnitTest::GetInstance()->current_test_info();
        fs::path d = fs::temp_directory_path() / ("nadir_image_" + std::string(t->name()) + "_" +
                                                  std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::remove_all(d);
        ASSERT_TRUE(fs::create_directories(d));
        dir = d.string();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const std::string &name) const { return dir + "/" + name; }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (auto &e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    // Reads back with the wanted palette, checking what the call left.
    unsigned char **load(const std::string &path, int &nc, int &nl, int &type, std::vector<Color32> *pal)
    {
        Color32 sentinel[1] = {{9, 9, 9, 9}};
        Color32 *cm = pal ? sentinel : nullptr;
        unsigned char **m = ChargeBMP(path.c_str(), nc, nl, type, cm);
        if (!pal) {
            EXPECT_EQ(cm, nullptr) << "an unwanted palette must leave ColorMAP null";
        } else {
            EXPECT_NE(cm, sentinel) << "a wanted palette is a new buffer";
            EXPECT_EQ(sentinel[0].B, 9) << "the caller's ColorMAP value is not written through";
            if (cm) pal->assign(cm, cm + 256);
            delete[] cm;
        }
        return m;
    }
    std::string dir;
};

// ---- Writer: the bytes on disk ----

TEST_F(ImageFiles, WorkedExampleByteForByte)
{
    Image im = pattern(3, 2, 1);
    ASSERT_EQ(SauveBMP(at("a.bmp").c_str(), im.rows.data(), 3, 2, 0, nullptr), 0);
    Bytes b = slurp(at("a.bmp"));
    ASSERT_EQ(b.size(), 1086u);
    const Bytes header = {0x42, 0x4D, 0x3E, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x04, 0x00, 0x00,
                          0x28, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00,
                          0x10, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 54), header);
    for (int i = 0; i < 256; i++) {
        const Bytes entry = {(unsigned char)i, (unsigned char)i, (unsigned char)i, 0};
        EXPECT_EQ(Bytes(b.begin() + 54 + 4 * i, b.begin() + 58 + 4 * i), entry) << "palette entry " << i;
    }
    const Bytes rows = {im.lines[1][0], im.lines[1][1], im.lines[1][2], 0,
                        im.lines[0][0], im.lines[0][1], im.lines[0][2], 0};
    EXPECT_EQ(Bytes(b.begin() + 1078, b.end()), rows);
}

TEST_F(ImageFiles, RowSizePaddingAndOrderForEachTypeAndWidth)
{
    // Padded row sizes for widths 1 to 5: 8-bit, then 24-bit.
    const size_t row8[] = {4, 4, 4, 4, 8}, row24[] = {4, 8, 12, 12, 16};
    for (int type = 0; type <= 2; type++) {
        for (int nc = 1; nc <= 5; nc++) {
            SCOPED_TRACE("Type " + std::to_string(type) + ", width " + std::to_string(nc));
            const int nl = 3, taille = type == 2 ? 3 : 1;
            const size_t tbuff = type == 2 ? row24[nc - 1] : row8[nc - 1];
            const size_t off = type == 2 ? 54 : 1078;
            Image im = pattern(nc, nl, taille);
            ASSERT_EQ(SauveBMP(at("r.bmp").c_str(), im.rows.data(), nc, nl, type, nullptr), 0);
            Bytes b = slurp(at("r.bmp"));
            ASSERT_EQ(b.size(), off + nl * tbuff);
            EXPECT_EQ(le32(b, 2), b.size());
            EXPECT_EQ(le32(b, 10), off);
            EXPECT_EQ(le32(b, 18), (uint32_t)nc);
            EXPECT_EQ(le32(b, 22), (uint32_t)nl);
            EXPECT_EQ(b[28], type == 2 ? 24 : 8);
            EXPECT_EQ(le32(b, 34), nl * tbuff);
            // The k-th row stored is line nl-1-k, followed by zero bytes.
            for (int k = 0; k < nl; k++) {
                Bytes expect = im.lines[nl - 1 - k];
                expect.resize(tbuff, 0);
                EXPECT_EQ(Bytes(b.begin() + off + k * tbuff, b.begin() + off + (k + 1) * tbuff), expect)
                    << "row " << k;
            }
        }
    }
}

TEST_F(ImageFiles, PaletteIsTheGreyRampTheGivenOneOrNone)
{
    Image im = pattern(2, 2, 3);
    std::vector<Color32> pal = odd_palette();
    for (int type = 0; type <= 1; type++) {
        ASSERT_EQ(SauveBMP(at("p.bmp").c_str(), im.rows.data(), 2, 2, type, pal.data()), 0);
        Bytes b = slurp(at("p.bmp"));
        EXPECT_EQ(0, memcmp(b.data() + 54, pal.data(), 1024)) << "Type " << type << ", fourth bytes included";
    }
    // Types 0 and 1 are written alike.
    ASSERT_EQ(SauveBMP(at("0.bmp").c_str(), im.rows.data(), 2, 2, 0, nullptr), 0);
    ASSERT_EQ(SauveBMP(at("1.bmp").c_str(), im.rows.data(), 2, 2, 1, nullptr), 0);
    EXPECT_EQ(slurp(at("0.bmp")), slurp(at("1.bmp")));
    // A 24-bit image has no palette, given or not.
    ASSERT_EQ(SauveBMP(at("2.bmp").c_str(), im.rows.data(), 2, 2, 2, pal.data()), 0);
    Bytes b = slurp(at("2.bmp"));
    EXPECT_EQ(b.size(), 54u + 2 * 8);
    EXPECT_EQ(le32(b, 10), 54u);
}

TEST_F(ImageFiles, EmptyImagesAreHeaderAndPaletteAlone)
{
    Image im = pattern(0, 4, 1);
    const struct {
        int nc, nl, type;
        size_t off;
    } cases[] = {{7, 0, 0, 1078}, {0, 4, 0, 1078}, {7, 0, 2, 54}, {0, 4, 2, 54}, {0, 0, 1, 1078}};
    for (auto &c : cases) {
        ASSERT_EQ(SauveBMP(at("e.bmp").c_str(), c.nl ? im.rows.data() : nullptr, c.nc, c.nl, c.type, nullptr),
                  0);
        Bytes b = slurp(at("e.bmp"));
        EXPECT_EQ(b.size(), c.off);
        EXPECT_EQ(le32(b, 2), c.off);
        EXPECT_EQ(le32(b, 34), 0u);
        EXPECT_EQ(le32(b, 18), (uint32_t)c.nc);
        EXPECT_EQ(le32(b, 22), (uint32_t)c.nl);
    }
}

// ---- Writer: refusals and failures ----

TEST_F(ImageFiles, InvalidRequestsAreRefusedBeforeAnythingIsCreated)
{
    Image im = pattern(4, 4, 3);
    const char *p = nullptr;
    std::string path = at("x.bmp");
    p = path.c_str();
    EXPECT_EQ(SauveBMP(p, im.rows.data(), 4, 4, 3, nullptr), -1);
    EXPECT_EQ(SauveBMP(p, im.rows.data(), 4, 4, -1, nullptr), -1);
    EXPECT_EQ(SauveBMP(p, im.rows.data(), -1, 4, 0, nullptr), -1);
    EXPECT_EQ(SauveBMP(p, im.rows.data(), 4, -1, 2, nullptr), -1);
    EXPECT_EQ(SauveBMP(nullptr, im.rows.data(), 4, 4, 0, nullptr), -1);
    // Too large for the 32-bit size fields: 65536 rows of 65536 bytes, and
    // one row whose 3-byte pixels overflow 32 bits. Were the size check
    // missing, the first would write 4 GiB and the second overrun its line.
    Bytes line(65536, 0);
    std::vector<const unsigned char *> rows(65536, line.data());
    EXPECT_EQ(SauveBMP(p, rows.data(), 65536, 65536, 0, nullptr), -1);
    EXPECT_EQ(SauveBMP(p, rows.data(), 1431655766, 1, 2, nullptr), -1);
    EXPECT_TRUE(names().empty());
}

TEST_F(ImageFiles, UnwritablePlacesGiveMinusOneAndCreateNothing)
{
    Image im = pattern(3, 3, 1);
    EXPECT_EQ(SauveBMP(at("missing/x.bmp").c_str(), im.rows.data(), 3, 3, 0, nullptr), -1);
    spit(at("file"), Bytes{1, 2, 3});
    EXPECT_EQ(SauveBMP(at("file/x.bmp").c_str(), im.rows.data(), 3, 3, 0, nullptr), -1);
    fs::create_directory(at("folder"));
    EXPECT_EQ(SauveBMP(at("folder").c_str(), im.rows.data(), 3, 3, 0, nullptr), -1);
    EXPECT_EQ(names(), (std::vector<std::string>{"file", "folder"}));
    EXPECT_TRUE(fs::is_empty(at("folder")));
    // A full device: the rows fill it at once, or its close reports it.
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(SauveBMP("/dev/full", im.rows.data(), 3, 3, 0, nullptr), -1);
        EXPECT_EQ(SauveBMP("/dev/full", im.rows.data(), 0, 0, 2, nullptr), -1) << "a header alone";
    }
}

#ifndef _WIN32
// Saves in a child process whose files cannot grow past `limit` bytes, as
// on a full disk; returns what SauveBMP returned.
int save_with_size_limit(const std::string &path, const Image &im, int nc, int nl, int type, rlim_t limit)
{
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl = {limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        int r = SauveBMP(path.c_str(), im.rows.data(), nc, nl, type, nullptr);
        _exit(r == 0 ? 0 : r == -1 ? 1 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) < 2 ? -WEXITSTATUS(status) : 99;
}

TEST_F(ImageFiles, FailedSaveLeavesTheExistingFileAndNoPartOfTheNewOne)
{
    Image im = pattern(100, 50, 3);  // 54 + 50 * 300 bytes
    const Bytes old(20000, 0xAB);
    spit(at("m.bmp"), old);
    // Out of room in the header, the palette, the rows, at the very end.
    for (rlim_t limit : {0, 20, 1000, 1100, 9000, 15053}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        EXPECT_EQ(save_with_size_limit(at("m.bmp"), im, 100, 50, limit < 1100 ? 0 : 2, limit), -1);
        EXPECT_EQ(slurp(at("m.bmp")), old);
        EXPECT_EQ(names(), std::vector<std::string>{"m.bmp"}) << "no temporary file left";
    }
    // With room enough the new image replaces the old one whole.
    ASSERT_EQ(save_with_size_limit(at("m.bmp"), im, 100, 50, 2, 15054), 0);
    EXPECT_EQ(slurp(at("m.bmp")).size(), 15054u);
    EXPECT_EQ(names(), std::vector<std::string>{"m.bmp"});
}

mode_t mode_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(ImageFiles, NewImagesTakeTheUmaskReplacedOnesKeepTheirMode)
{
    Image im = pattern(3, 2, 1);
    const mode_t saved = umask(0);
    for (mode_t mask : {077, 022}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        umask(mask);
        fs::remove(at("new.bmp"));
        ASSERT_EQ(SauveBMP(at("new.bmp").c_str(), im.rows.data(), 3, 2, 0, nullptr), 0);
        EXPECT_EQ(mode_of(at("new.bmp")), 0666 & ~mask);
        spit(at("kept.bmp"), Bytes{1});
        chmod(at("kept.bmp").c_str(), 0640);
        ASSERT_EQ(SauveBMP(at("kept.bmp").c_str(), im.rows.data(), 3, 2, 0, nullptr), 0);
        EXPECT_EQ(mode_of(at("kept.bmp")), 0640u);
        EXPECT_EQ(slurp(at("kept.bmp")), slurp(at("new.bmp")));
    }
    umask(saved);
    EXPECT_EQ(names(), (std::vector<std::string>{"kept.bmp", "new.bmp"}));
}

TEST_F(ImageFiles, ProtectedImageIsNotReplaced)
{
    // The folder's permission would let the rename replace a file its
    // owner protected; the save refuses it, as an overwrite would. Root may
    // write any file: the saves run as another user, in a folder it may
    // write (a new image there is saved).
    Image im = pattern(3, 2, 1);
    spit(at("p.bmp"), Bytes{1, 2, 3});
    chmod(at("p.bmp").c_str(), 0444);
    chmod(dir.c_str(), 0777);
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
        bool refused = SauveBMP(at("p.bmp").c_str(), im.rows.data(), 3, 2, 0, nullptr) == -1;
        _exit(refused && SauveBMP(at("new.bmp").c_str(), im.rows.data(), 3, 2, 0, nullptr) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(slurp(at("p.bmp")), (Bytes{1, 2, 3}));
    EXPECT_EQ(names(), (std::vector<std::string>{"new.bmp", "p.bmp"}));
}

TEST_F(ImageFiles, LinkAtTheNameIsReplacedNeverWrittenThrough)
{
    // Planted where the image goes: the link itself is replaced by the new
    // image; neither a missing target is created nor a present one touched.
    Image im = pattern(3, 2, 1);
    const std::string outside = at("outside");
    fs::create_directory(outside);
    spit(outside + "/theirs", Bytes{7, 7});
    fs::create_symlink(outside + "/missing", at("dangling.bmp"));
    fs::create_symlink(outside + "/theirs", at("present.bmp"));
    for (const char *name : {"dangling.bmp", "present.bmp"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(SauveBMP(at(name).c_str(), im.rows.data(), 3, 2, 0, nullptr), 0);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at(name))));
        EXPECT_EQ(slurp(at(name)).size(), 1086u);
    }
    EXPECT_FALSE(fs::exists(outside + "/missing"));
    EXPECT_EQ(slurp(outside + "/theirs"), (Bytes{7, 7}));
    EXPECT_EQ(names(), (std::vector<std::string>{"dangling.bmp", "outside", "present.bmp"}));
}
#endif  // file size limits, modes and links are POSIX

// ---- Reader ----

TEST_F(ImageFiles, RoundTripsOfEveryType)
{
    std::vector<Color32> odd = odd_palette();
    const struct {
        int type;
        const Color32 *pal;
        int expect_type;
    } kinds[] = {{0, nullptr, 0}, {1, odd.data(), 1}, {1, nullptr, 0}, {0, odd.data(), 1}, {2, nullptr, 2}};
    for (auto &k : kinds) {
        for (int nc = 1; nc <= 5; nc++) {
            for (int nl = 1; nl <= 3; nl++) {
                SCOPED_TRACE("Type " + std::to_string(k.type) + " " + std::to_string(nc) + "x" +
                             std::to_string(nl));
                Image im = pattern(nc, nl, k.type == 2 ? 3 : 1);
                ASSERT_EQ(SauveBMP(at("t.bmp").c_str(), im.rows.data(), nc, nl, k.type, k.pal), 0);
                int rc = -1, rl = -1, rt = -1;
                std::vector<Color32> pal;
                unsigned char **m = load(at("t.bmp"), rc, rl, rt, &pal);
                ASSERT_NE(m, nullptr);
                EXPECT_EQ(rc, nc);
                EXPECT_EQ(rl, nl);
                EXPECT_EQ(rt, k.expect_type);
                for (int l = 0; l < nl; l++)
                    EXPECT_EQ(Bytes(m[l], m[l] + im.lines[l].size()), im.lines[l]) << "line " << l;
                if (k.pal) {
                    EXPECT_EQ(0, memcmp(pal.data(), k.pal, 1024)) << "palette, fourth bytes included";
                }
                release(m, nl);
            }
        }
    }
}

TEST_F(ImageFiles, TypeRuleLooksAtRedGreenBlueOfEveryEntryOnly)
{
    Image im = pattern(2, 2, 1);
    std::vector<Color32> pal(256);
    for (int i = 0; i < 256; i++)
        pal[i] = Color32{(unsigned char)i, (unsigned char)i, (unsigned char)i, (unsigned char)(200 - i)};
    int nc, nl, type;
    ASSERT_EQ(SauveBMP(at("g.bmp").c_str(), im.rows.data(), 2, 2, 1, pal.data()), 0);
    unsigned char **m = load(at("g.bmp"), nc, nl, type, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(type, 0) << "fourth bytes do not make a palette other than grey";
    release(m, nl);
    for (int field = 0; field < 3; field++) {
        std::vector<Color32> p = pal;
        unsigned char *entry = &p[255].B;
        entry[field] ^= 1;  // only the last entry differs
        ASSERT_EQ(SauveBMP(at("g.bmp").c_str(), im.rows.data(), 2, 2, 0, p.data()), 0);
        m = load(at("g.bmp"), nc, nl, type, nullptr);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(type, 1) << "field " << field;
        release(m, nl);
    }
}

TEST_F(ImageFiles, WantedPaletteIsTheCallersWhateverTheOutcome)
{
    int nc, nl, type;
    std::vector<Color32> pal;
    EXPECT_EQ(load(at("none.bmp"), nc, nl, type, &pal), nullptr);
    EXPECT_EQ(pal.size(), 256u) << "handed over although the file is missing";
    EXPECT_EQ(load(at("none.bmp"), nc, nl, type, nullptr), nullptr);
    Image im = pattern(2, 2, 3);
    ASSERT_EQ(SauveBMP(at("c.bmp").c_str(), im.rows.data(), 2, 2, 2, nullptr), 0);
    unsigned char **m = load(at("c.bmp"), nc, nl, type, &pal);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(type, 2);
    release(m, nl);
}

// A valid file of either kind, to be spoiled.
Bytes valid_file(const std::string &path, int type, int nc = 5, int nl = 3)
{
    Image im = pattern(nc, nl, type == 2 ? 3 : 1);
    EXPECT_EQ(SauveBMP(path.c_str(), im.rows.data(), nc, nl, type, nullptr), 0);
    return slurp(path);
}

TEST_F(ImageFiles, ReaderRejectsOtherKindsAndForgedSizes)
{
    const std::string p = at("bad.bmp");
    const Bytes b8 = valid_file(p, 0), b24 = valid_file(p, 2);
    auto rejected = [&](Bytes b, const char *why) {
        spit(p, b);
        int nc, nl, type;
        std::vector<Color32> pal;
        unsigned char **m = load(p, nc, nl, type, &pal);
        EXPECT_EQ(m, nullptr) << why;
        if (m) release(m, nl);
    };
    Bytes b = b8;
    b[1] = 'A';
    rejected(b, "signature");
    for (int bits : {1, 4, 16, 24, 32}) {
        b = b8;
        b[28] = (unsigned char)bits;
        rejected(b, "8-bit offset with another bit count");
    }
    b = b8;
    set32(b, 10, 1074);
    rejected(b, "short palette");
    b = b24;
    set32(b, 10, 1078);
    rejected(b, "24 bits after a palette");
    for (uint32_t comp : {1u, 2u, 3u, 4u, 5u, 6u, 0x80000000u}) {
        b = b8;
        set32(b, 30, comp);
        rejected(b, "compressed 8-bit");
        b = b24;
        set32(b, 30, comp);
        rejected(b, "compressed 24-bit");
    }
    // Sizes the file does not hold: must fail at once, allocating nothing
    // (the sanitizers' allocator would report gigabytes).
    const uint32_t forged[][2] = {{5, 0x7FFFFFFF},          {0x7FFFFFFF, 3}, {5, 4},          {9, 3},
                                  {0x40000000, 0x7FFFFFFF}, {5, 0x80000001}, {0, 0x7FFFFFFF}, {0, 32768},
                                  {0xFFFFFFFF, 3},          {5, 0x80000000}};
    for (auto &wh : forged) {
        for (const Bytes *base : {&b8, &b24}) {
            b = *base;
            set32(b, 18, wh[0]);
            set32(b, 22, wh[1]);
            rejected(b, ("width " + std::to_string(wh[0]) + ", height " + std::to_string(wh[1])).c_str());
        }
    }
}

TEST_F(ImageFiles, ReaderRejectsAFileCutAnywhere)
{
    for (int type : {0, 2}) {
        const Bytes full = valid_file(at("cut.bmp"), type);
        for (size_t n = 0; n < full.size(); n++) {
            spit(at("cut.bmp"), Bytes(full.begin(), full.begin() + n));
            int nc, nl, t;
            std::vector<Color32> pal;
            unsigned char **m = load(at("cut.bmp"), nc, nl, t, n % 2 ? &pal : nullptr);
            EXPECT_EQ(m, nullptr) << "Type " << type << " cut at " << n;
            if (m) release(m, nl);
        }
    }
}

TEST_F(ImageFiles, ReaderTakesWhatTheOtherFieldsAndTrailingBytesSay)
{
    for (int type : {0, 2}) {
        // Nothing but signature, bit count, offset, compression and the sizes
        // counts; bytes after the last row are ignored.
        Bytes b = valid_file(at("o.bmp"), type);
        for (size_t at : {2, 6, 14, 34, 38, 42, 46, 50}) set32(b, at, 0xDEADBEEF);
        b[26] = 7;  // planes
        b.insert(b.end(), 7, 0xEE);
        // Stored top line first: negative height, rows reversed.
        Bytes td = b;
        set32(td, 22, (uint32_t)-3);
        const size_t off = type == 2 ? 54 : 1078, tbuff = type == 2 ? 16 : 8;
        for (int k = 0; k < 3; k++)
            std::copy(b.begin() + off + k * tbuff, b.begin() + off + (k + 1) * tbuff,
                      td.begin() + off + (2 - k) * tbuff);
        Image im = pattern(5, 3, type == 2 ? 3 : 1);
        for (const Bytes *file : {&b, &td}) {
            spit(at("o.bmp"), *file);
            int nc, nl, t;
            unsigned char **m = load(at("o.bmp"), nc, nl, t, nullptr);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(nc, 5);
            EXPECT_EQ(nl, 3);
            EXPECT_EQ(t, type);
            for (int l = 0; l < 3; l++) EXPECT_EQ(Bytes(m[l], m[l] + im.lines[l].size()), im.lines[l]);
            release(m, nl);
        }
    }
}

TEST_F(ImageFiles, ReaderTakesEmptyAndWideImages)
{
    int nc, nl, type;
    // No lines: a matrix all the same, with no line.
    valid_file(at("e.bmp"), 0, 5, 0);
    unsigned char **m = load(at("e.bmp"), nc, nl, type, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(nl, 0);
    EXPECT_EQ(nc, 5);
    release(m, nl);
    // No lines, whatever the width: nothing is staged for rows that are not
    // there (a staging row of the width would take 6 GiB here).
    ASSERT_EQ(SauveBMP(at("e.bmp").c_str(), nullptr, 2147483647, 0, 2, nullptr), 0);
    EXPECT_EQ(slurp(at("e.bmp")).size(), 54u);
    m = load(at("e.bmp"), nc, nl, type, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(nc, 2147483647);
    EXPECT_EQ(nl, 0);
    release(m, nl);
    // No columns: empty lines.
    valid_file(at("e.bmp"), 2, 0, 4);
    m = load(at("e.bmp"), nc, nl, type, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(nc, 0);
    EXPECT_EQ(nl, 4);
    release(m, nl);
    // Past 32767 either way, read as they are.
    for (auto wh : {std::pair<int, int>{40000, 2}, {1, 40000}}) {
        Image im = pattern(wh.first, wh.second, 1);
        ASSERT_EQ(SauveBMP(at("w.bmp").c_str(), im.rows.data(), wh.first, wh.second, 0, nullptr), 0);
        m = load(at("w.bmp"), nc, nl, type, nullptr);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(nc, wh.first);
        EXPECT_EQ(nl, wh.second);
        EXPECT_EQ(Bytes(m[nl - 1], m[nl - 1] + nc), im.lines[nl - 1]);
        release(m, nl);
    }
}

}  // namespace
