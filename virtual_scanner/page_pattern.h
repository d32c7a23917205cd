#pragma once

// The picture on every page of the virtual scanner, pixel by pixel: a black
// frame, the page number in large digits with the sheet and its side below,
// a checkerboard, eight colour bars and a grey ramp. The scanner draws its
// pages with it and the tests check every delivered pixel against it, so it
// is plain arithmetic without fonts or Windows.

#include <cstdint>
#include <string>

// Which image of a scan a page is.
struct PageFace {
    int number = 1;  // 1 for the first image of the scan
    int sheet = 1;   // the sheet of paper it comes from
    bool back = false;
};

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;

    bool operator==(const Rgb& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
    bool operator!=(const Rgb& other) const { return !(*this == other); }
};

// Pixels along a side of the given length in millimetres at a resolution in
// dots per inch, rounded to the nearest pixel.
constexpr int PixelsFor(int millimetres, int dpi) { return (millimetres * dpi * 10 + 127) / 254; }
constexpr int A4Width(int dpi) { return PixelsFor(210, dpi); }
constexpr int A4Height(int dpi) { return PixelsFor(297, dpi); }

// The grey a colour becomes on a grey scan (ITU-R 601 weights), and whether it
// stays white on a black-and-white one.
constexpr std::uint8_t GreyOf(Rgb colour) {
    return static_cast<std::uint8_t>(
        (299 * colour.red + 587 * colour.green + 114 * colour.blue + 500) / 1000);
}
constexpr bool IsWhite(std::uint8_t grey) { return grey >= 128; }

class PagePattern {
public:
    PagePattern(int width, int height, const PageFace& face)
        : width_(width),
          height_(height),
          border_(AtLeastOne(width / 200)),
          bigDot_(AtLeastOne(width / 40)),
          smallDot_(AtLeastOne(width / 80)),
          textLeft_(width / 10),
          numberTop_(height / 12),
          sideTop_(height / 12 + 9 * AtLeastOne(width / 40)),
          checkerLeft_(width * 6 / 10),
          checkerRight_(width * 9 / 10),
          checkerTop_(height / 12),
          checkerBottom_(height * 4 / 12),
          barsTop_(height * 6 / 10),
          barsBottom_(height * 3 / 4),
          rampTop_(height * 8 / 10),
          rampBottom_(height * 9 / 10),
          number_(std::to_string(face.number)),
          side_(std::to_string(face.sheet) + (face.back ? "B" : "F")) {}

    int Width() const { return width_; }
    int Height() const { return height_; }

    // x from the left, y from the top.
    Rgb Colour(int x, int y) const {
        if (x < border_ || y < border_ || x >= width_ - border_ || y >= height_ - border_)
            return kBlack;
        if (InText(number_, numberTop_, bigDot_, x, y) || InText(side_, sideTop_, smallDot_, x, y))
            return kBlack;
        if (x >= checkerLeft_ && x < checkerRight_ && y >= checkerTop_ && y < checkerBottom_) {
            const int square = (x - checkerLeft_) / bigDot_ + (y - checkerTop_) / bigDot_;
            return square % 2 == 0 ? kBlack : kWhite;
        }
        if (y >= barsTop_ && y < barsBottom_) return Bar(x * 8 / width_);
        if (y >= rampTop_ && y < rampBottom_) {
            const auto grey = static_cast<std::uint8_t>(width_ > 1 ? x * 255 / (width_ - 1) : 0);
            return Rgb{grey, grey, grey};
        }
        return kWhite;
    }

    std::uint8_t Grey(int x, int y) const { return GreyOf(Colour(x, y)); }
    bool White(int x, int y) const { return IsWhite(Grey(x, y)); }

private:
    static constexpr Rgb kBlack{0, 0, 0};
    static constexpr Rgb kWhite{255, 255, 255};

    static constexpr int AtLeastOne(int value) { return value > 0 ? value : 1; }

    static Rgb Bar(int index) {
        static constexpr Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                         {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
        return kBars[index];
    }

    // Rows of a 5 x 7 glyph, the leftmost dot in the highest of the five bits.
    static const std::uint8_t* Glyph(char c) {
        static constexpr std::uint8_t kDigits[10][7] = {
            {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
            {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
            {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
            {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
            {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};
        static constexpr std::uint8_t kFront[7] = {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10};
        static constexpr std::uint8_t kBack[7] = {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E};
        if (c >= '0' && c <= '9') return kDigits[c - '0'];
        return c == 'F' ? kFront : kBack;
    }

    // Whether (x, y) is a dot of the text, drawn from textLeft_ at top with
    // square dots of the given size and one empty column between glyphs.
    bool InText(const std::string& text, int top, int dot, int x, int y) const {
        if (y < top || y >= top + 7 * dot || x < textLeft_) return false;
        const int column = (x - textLeft_) / dot;
        const auto glyph = static_cast<std::size_t>(column / 6);
        if (glyph >= text.size() || column % 6 == 5) return false;
        const int row = (y - top) / dot;
        return (Glyph(text[glyph])[row] >> (4 - column % 6)) & 1;
    }

    int width_;
    int height_;
    int border_;
    int bigDot_;
    int smallDot_;
    int textLeft_;
    int numberTop_;
    int sideTop_;
    int checkerLeft_;
    int checkerRight_;
    int checkerTop_;
    int checkerBottom_;
    int barsTop_;
    int barsBottom_;
    int rampTop_;
    int rampBottom_;
    std::string number_;
    std::string side_;
};
