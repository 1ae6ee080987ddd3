// Draws Vardion's icons and writes them as .ico files:
//   vardion.ico      the application icon: three toy blocks M, F, C in a pyramid,
//                    48, 32 and 16 pixels in 16 colours, 256 colours and true colour;
//   tray_normal.ico  the red signal lamp of the notification area, 32 pixels, 16 colours;
//   tray_alert.ico   the same lamp recoloured blue, with the same mask.
// Every image is an uncompressed DIB with a 1-bit mask, written at exactly its
// listed depth (general-purpose converters pick the depth themselves).
//
// Usage: draw_icons OUTPUT_DIR
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

constexpr Rgb RgbOf(uint32_t v) {
    return Rgb{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// The system's standard 16-colour palette, in its usual order.
const Rgb kVga[16] = {
    RgbOf(0x000000), RgbOf(0x800000), RgbOf(0x008000), RgbOf(0x808000),
    RgbOf(0x000080), RgbOf(0x800080), RgbOf(0x008080), RgbOf(0xC0C0C0),
    RgbOf(0x808080), RgbOf(0xFF0000), RgbOf(0x00FF00), RgbOf(0xFFFF00),
    RgbOf(0x0000FF), RgbOf(0xFF00FF), RgbOf(0x00FFFF), RgbOf(0xFFFFFF),
};

// A picture, top row first; pixels not marked opaque are transparent.
struct Picture {
    int size = 0;
    std::vector<Rgb> pixels;
    std::vector<bool> opaque;

    explicit Picture(int n) : size(n), pixels(n * n), opaque(n * n, false) {}
    void Set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= size || y >= size) return;
        pixels[y * size + x] = c;
        opaque[y * size + x] = true;
    }
};

Rgb Mix(Rgb a, Rgb b, double t) {
    auto channel = [t](int u, int v) { return uint8_t(u + (v - u) * t + 0.5); };
    return Rgb{channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

const Rgb kWhite = RgbOf(0xFFFFFF);
const Rgb kBlack = RgbOf(0x000000);

// ---------------------------------------------------------------------------
// The application icon

// Letters as pixel maps, one set per icon size, '#' marking the letter.
using Glyph = std::vector<std::string>;

struct LetterSet {
    Glyph m, f, c;
};

const LetterSet kLetters48 = {
    {
        "###......###",
        "####....####",
        "#####..#####",
        "############",
        "###.####.###",
        "###..##..###",
        "###......###",
        "###......###",
        "###......###",
        "###......###",
        "###......###",
        "###......###",
    },
    {
        "##########",
        "##########",
        "###.......",
        "###.......",
        "###.......",
        "########..",
        "########..",
        "###.......",
        "###.......",
        "###.......",
        "###.......",
        "###.......",
    },
    {
        "...######..",
        ".#########.",
        ".###....###",
        "###......##",
        "###........",
        "###........",
        "###........",
        "###........",
        "###......##",
        ".###....###",
        ".#########.",
        "...######..",
    },
};

const LetterSet kLetters32 = {
    {
        "##...##",
        "###.###",
        "#######",
        "##.#.##",
        "##...##",
        "##...##",
        "##...##",
        "##...##",
    },
    {
        "######",
        "######",
        "##....",
        "#####.",
        "#####.",
        "##....",
        "##....",
        "##....",
    },
    {
        ".#####.",
        "#######",
        "##...##",
        "##.....",
        "##.....",
        "##...##",
        "#######",
        ".#####.",
    },
};

const LetterSet kLetters16 = {
    {
        "#...#",
        "##.##",
        "#.#.#",
        "#...#",
        "#...#",
    },
    {
        "####",
        "#...",
        "###.",
        "#...",
        "#...",
    },
    {
        ".###",
        "#...",
        "#...",
        "#...",
        ".###",
    },
};

// How the blocks are painted at one colour depth.
enum class Finish {
    kSixteen,   // light grey blocks, dithered faces, grey outlines, dark-red letters
    kFlat,      // coloured blocks, one tone per face (256 colours)
    kGradient,  // coloured blocks with graded faces (true colour)
};

// The tones of one coloured block.
struct BlockColours {
    Rgb base;    // the front face
    Rgb letter;  // the darker tone of the letter
};

const BlockColours kOrange = {RgbOf(0xF7941D), RgbOf(0x9E1B0F)};
const BlockColours kGreen = {RgbOf(0x43B047), RgbOf(0x14561B)};
const BlockColours kBlue = {RgbOf(0x3D7DD8), RgbOf(0x0F2E73)};

// The geometry of the blocks at one icon size: a block's front face is `face`
// pixels square, outline included; its top and right side recede `depth`
// pixels up and to the right; `bevel` is the raised rim inside the front face.
// Which edges of a front face are outlined. At 16 pixels the letter needs
// nearly every pixel of the face: the coloured blocks stand apart by colour
// alone, the grey ones keep the outline on the left and bottom.
enum class FrontOutline { kAll, kLeftAndBottom, kNone };

struct Geometry {
    int face, depth, bevel, origin;
    FrontOutline outline;
    const LetterSet* letters;
};

Geometry GeometryFor(int size, Finish finish) {
    if (size == 48) return {20, 6, 2, 1, FrontOutline::kAll, &kLetters48};
    if (size == 32) return {13, 4, 1, 1, FrontOutline::kAll, &kLetters32};
    FrontOutline outline =
        finish == Finish::kSixteen ? FrontOutline::kLeftAndBottom : FrontOutline::kNone;
    return {7, 2, 0, 0, outline, &kLetters16};
}

class BlockPainter {
  public:
    BlockPainter(Picture& pic, const Geometry& geo, Finish finish)
        : pic_(pic), geo_(geo), finish_(finish) {}

    // Paints one block whose front face has its top left corner at (x, y).
    void Paint(int x, int y, const BlockColours& colours, const Glyph& glyph) {
        const int w = geo_.face, d = geo_.depth;
        const int right = x + w - 1, bottom = y + w - 1;
        // The top face, one row per step of depth.
        for (int r = 1; r <= d; ++r) {
            for (int px = x + r; px <= right + r; ++px) {
                bool edge = r == d || px == x + r || px == right + r;
                pic_.Set(px, y - r, edge ? Outline(colours) : Top(colours, px - x - r, r));
            }
        }
        // The right side face, one column per step of depth.
        for (int c = 1; c <= d; ++c) {
            for (int py = y - c; py <= bottom - c; ++py) {
                bool edge = c == d || py == y - c || py == bottom - c;
                pic_.Set(right + c, py, edge ? Outline(colours) : Side(colours, py - y + c, c));
            }
        }
        // The front face with its rim, then the letter centred on it.
        const bool all = geo_.outline == FrontOutline::kAll;
        const bool leftAndBottom = all || geo_.outline == FrontOutline::kLeftAndBottom;
        for (int py = y; py <= bottom; ++py) {
            for (int px = x; px <= right; ++px) {
                bool edge = (leftAndBottom && (px == x || py == bottom)) ||
                            (all && (px == right || py == y));
                pic_.Set(px, py, edge ? Outline(colours) : Front(colours, px - x, py - y));
            }
        }
        // The letter is centred in the face inside its outline.
        const int inLeft = leftAndBottom ? x + 1 : x, inTop = all ? y + 1 : y;
        const int inWidth = right - (all ? 1 : 0) - inLeft + 1;
        const int inHeight = bottom - (leftAndBottom ? 1 : 0) - inTop + 1;
        const int gh = int(glyph.size()), gw = int(glyph[0].size());
        const int gx = inLeft + (inWidth - gw + 1) / 2, gy = inTop + (inHeight - gh + 1) / 2;
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i)
                if (glyph[j][i] == '#') pic_.Set(gx + i, gy + j, Letter(colours));
    }

  private:
    Rgb Outline(const BlockColours& c) const {
        if (finish_ == Finish::kSixteen) return kVga[8];
        return Mix(c.letter, kBlack, 0.35);
    }
    Rgb Letter(const BlockColours& c) const {
        return finish_ == Finish::kSixteen ? kVga[1] : c.letter;
    }
    // The top face catches the light; i counts along the face, r up its depth.
    Rgb Top(const BlockColours& c, int i, int r) const {
        if (finish_ == Finish::kSixteen) return kVga[15];
        if (finish_ == Finish::kFlat) return Mix(c.base, kWhite, 0.45);
        double t = double(i) / geo_.face * 0.15 + double(r) / geo_.depth * 0.15;
        return Mix(c.base, kWhite, 0.55 - t);
    }
    // The side face lies in shade; j counts down the face.
    Rgb Side(const BlockColours& colours, int j, int c) const {
        if (finish_ == Finish::kSixteen) return ((j + c) & 1) == 0 ? kVga[8] : kVga[7];
        if (finish_ == Finish::kFlat) return Mix(colours.base, kBlack, 0.35);
        return Mix(colours.base, kBlack, 0.28 + 0.14 * j / geo_.face);
    }
    // The front face: a rim lit from the upper left around a flat panel.
    Rgb Front(const BlockColours& c, int i, int j) const {
        const int w = geo_.face, b = geo_.bevel;
        if (finish_ == Finish::kSixteen) {
            return ((i + j) & 1) == 0 ? kVga[15] : kVga[7];
        }
        bool lit = (j <= b && i < w - 1 - (j - 1)) || (i <= b && j < w - 1 - (i - 1));
        bool shaded = (j >= w - 1 - b) || (i >= w - 1 - b);
        if (finish_ == Finish::kFlat) {
            if (lit) return Mix(c.base, kWhite, 0.3);
            if (shaded) return Mix(c.base, kBlack, 0.18);
            return c.base;
        }
        double t = double(i + j) / (2.0 * w);
        if (lit) return Mix(c.base, kWhite, 0.42 - 0.2 * t);
        if (shaded) return Mix(c.base, kBlack, 0.12 + 0.1 * t);
        return Mix(Mix(c.base, kWhite, 0.18), Mix(c.base, kBlack, 0.08), t);
    }

    Picture& pic_;
    Geometry geo_;
    Finish finish_;
};

// Three blocks in a pyramid: F lower left, C lower right, M on top of both.
Picture DrawBlocks(int size, Finish finish) {
    Picture pic(size);
    const Geometry geo = GeometryFor(size, finish);
    BlockPainter painter(pic, geo, finish);
    const int w = geo.face, d = geo.depth, o = geo.origin;
    const int lowerY = o + d + w;
    painter.Paint(o, lowerY, kGreen, geo.letters->f);
    painter.Paint(o + w, lowerY, kBlue, geo.letters->c);
    painter.Paint(o + (w + 1) / 2, o + d, kOrange, geo.letters->m);
    return pic;
}

// ---------------------------------------------------------------------------
// The notification-area lamp

// The lamp's outline: the first and last opaque column of each row from the
// top (row 2) down; the shape is symmetric about the centre of the square.
const int kLampTop = 2;
const int kLampLeft[] = {6, 4, 3, 2, 2, 1, 1, 1, 1, 1, 1,  1,  1,  1,  1,
                         1, 1, 1, 2, 2, 3, 4, 5, 6, 8, 10, 13, 13, 13, 13};

// The four colours of the lamp, as indices into the 16-colour palette.
struct LampColours {
    int bright, dark, fringe, black;
};

const LampColours kLampNormal = {9, 1, 13, 0};  // red, dark red, magenta, black
const LampColours kLampAlert = {12, 4, 6, 0};   // blue, navy, teal, black

// The few black pixels on the lower edge, where the body meets the stub.
bool IsLampShadow(int x, int y) {
    return (y == 27 && (x == 11 || x == 12 || x == 20)) || (y == 31 && (x == 13 || x == 18));
}

bool InLamp(int x, int y) {
    int row = y - kLampTop;
    if (row < 0 || row >= int(sizeof kLampLeft / sizeof kLampLeft[0])) return false;
    int left = kLampLeft[row];
    return x >= left && x <= 31 - left;
}

// The lamp in the given colours; both tray images come from this one drawing.
Picture DrawLamp(const LampColours& colours) {
    Picture pic(32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (!InLamp(x, y)) continue;
            bool outline =
                !InLamp(x - 1, y) || !InLamp(x + 1, y) || !InLamp(x, y - 1) || !InLamp(x, y + 1);
            int index = y < kLampTop + 10 ? colours.bright : colours.dark;
            // The band of light from the centre up to the right edge.
            double along = (x - 15.5) * 0.94 - (y - 19.0) * 0.34;
            double across = (x - 15.5) * 0.34 + (y - 19.0) * 0.94;
            if (along >= -1.0 && across > -2.5 && across < 2.5) index = colours.bright;
            if (outline && x < 16 && y >= kLampTop + 5) index = colours.fringe;
            if (IsLampShadow(x, y)) index = colours.black;
            pic.Set(x, y, kVga[index]);
        }
    }
    return pic;
}

// ---------------------------------------------------------------------------
// The .ico format

class Bytes {
  public:
    void U8(unsigned v) { data_.push_back(char(v & 0xFF)); }
    void U16(unsigned v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Append(const std::string& s) { data_ += s; }
    const std::string& str() const { return data_; }

  private:
    std::string data_;
};

struct IconImage {
    Picture picture;
    int bits;                  // 4, 8 or 24
    std::vector<Rgb> palette;  // 16 or 256 entries for 4 and 8 bits
};

int PaletteIndex(const std::vector<Rgb>& palette, Rgb c) {
    for (size_t i = 0; i < palette.size(); ++i)
        if (palette[i] == c) return int(i);
    return -1;
}

// The 16 standard colours, then every other colour of the picture in the
// order it first appears; black pads the rest.
bool MakePalette256(const Picture& pic, std::vector<Rgb>& palette) {
    palette.assign(kVga, kVga + 16);
    for (size_t i = 0; i < pic.pixels.size(); ++i) {
        if (!pic.opaque[i] || PaletteIndex(palette, pic.pixels[i]) >= 0) continue;
        if (palette.size() == 256) return false;
        palette.push_back(pic.pixels[i]);
    }
    palette.resize(256, kBlack);
    return true;
}

// One image: BITMAPINFOHEADER with the height doubled for the mask, the
// palette, the colour rows and then the mask rows, both bottom-up and padded
// to 4 bytes. Transparent pixels have colour 0 and mask bit 1.
bool EncodeImage(const IconImage& image, std::string& out) {
    const Picture& pic = image.picture;
    const int n = pic.size;
    const int colourStride = (n * image.bits + 31) / 32 * 4;
    const int maskStride = (n + 31) / 32 * 4;
    Bytes b;
    b.U32(40);
    b.U32(n);
    b.U32(n * 2);
    b.U16(1);
    b.U16(image.bits);
    b.U32(0);  // BI_RGB
    b.U32((colourStride + maskStride) * n);
    b.U32(0);
    b.U32(0);
    b.U32(0);
    b.U32(0);
    for (const Rgb& c : image.palette) {
        b.U8(c.b);
        b.U8(c.g);
        b.U8(c.r);
        b.U8(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::string row(colourStride, '\0');
        for (int x = 0; x < n; ++x) {
            const int at = y * n + x;
            const Rgb c = pic.opaque[at] ? pic.pixels[at] : kBlack;
            if (image.bits == 24) {
                row[x * 3] = char(c.b);
                row[x * 3 + 1] = char(c.g);
                row[x * 3 + 2] = char(c.r);
                continue;
            }
            const int index = PaletteIndex(image.palette, c);
            if (index < 0) return false;
            if (image.bits == 8) {
                row[x] = char(index);
            } else {
                row[x / 2] = char(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
            }
        }
        b.Append(row);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::string row(maskStride, '\0');
        for (int x = 0; x < n; ++x)
            if (!pic.opaque[y * n + x]) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        b.Append(row);
    }
    out = b.str();
    return true;
}

// The icon file: a 6-byte header, a 16-byte entry per image, then the images.
bool WriteIcon(const std::string& path, const std::vector<IconImage>& images) {
    std::vector<std::string> encoded(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        if (!EncodeImage(images[i], encoded[i])) {
            std::cerr << path << ": image " << i << " has a colour outside its palette\n";
            return false;
        }
    }
    Bytes b;
    b.U16(0);
    b.U16(1);
    b.U16(unsigned(images.size()));
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        b.U8(images[i].picture.size);
        b.U8(images[i].picture.size);
        b.U8(images[i].bits == 4 ? 16 : 0);
        b.U8(0);
        b.U16(1);
        b.U16(images[i].bits);
        b.U32(uint32_t(encoded[i].size()));
        b.U32(offset);
        offset += uint32_t(encoded[i].size());
    }
    for (const std::string& e : encoded) b.Append(e);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(b.str().data(), std::streamsize(b.str().size()));
    file.close();
    if (!file) {
        std::cerr << path << ": cannot write\n";
        return false;
    }
    return true;
}

bool WriteApplicationIcon(const std::string& path) {
    std::vector<IconImage> images;
    const std::vector<Rgb> vga(kVga, kVga + 16);
    for (int size : {48, 32, 16}) images.push_back({DrawBlocks(size, Finish::kSixteen), 4, vga});
    for (int size : {48, 32, 16}) {
        IconImage image{DrawBlocks(size, Finish::kFlat), 8, {}};
        if (!MakePalette256(image.picture, image.palette)) {
            std::cerr << path << ": more than 256 colours at " << size << " pixels\n";
            return false;
        }
        images.push_back(image);
    }
    for (int size : {48, 32, 16}) images.push_back({DrawBlocks(size, Finish::kGradient), 24, {}});
    return WriteIcon(path, images);
}

bool WriteLampIcon(const std::string& path, const LampColours& colours) {
    const std::vector<Rgb> vga(kVga, kVga + 16);
    return WriteIcon(path, {{DrawLamp(colours), 4, vga}});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: draw_icons OUTPUT_DIR\n";
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = WriteApplicationIcon(dir + "/vardion.ico");
    ok = WriteLampIcon(dir + "/tray_normal.ico", kLampNormal) && ok;
    ok = WriteLampIcon(dir + "/tray_alert.ico", kLampAlert) && ok;
    return ok ? 0 : 1;
}
