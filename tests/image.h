// The one picture type of the tests, and the one BMP decoder: the committed
// pictures, the game's bitmap resources and what the screen shows all become
// an Image, so that any two can be compared pixel for pixel.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0xRRGGBB, rows from the top
    bool operator==(const Image &) const = default;
};

// How GoogleTest shows an Image in a failure: its size and a few colours,
// never every pixel.
void PrintTo(const Image &image, std::ostream *out);

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

uint32_t PixelAt(const Image &image, int x, int y);
Image Crop(const Image &image, const Rect &region);
std::string DescribePixel(uint32_t pixel);
// Empty when `shown` equals `wanted`; otherwise the sizes, or how many pixels
// differ and the first of them, row by row, in both colours. `frame` says what
// its (x, y) count from, where that is not the image's own corner.
std::string ImageDifference(const Image &shown, const Image &wanted, const std::string &frame = "");
// A binary PPM, for a person to look at beside a failure.
void WritePpm(const std::string &path, const Image &image);

// Decodes an uncompressed 24-bit bitmap, bottom-up or top-down, without
// palette. `dib` starts at the BITMAPINFOHEADER: a .bmp file minus its 14-byte
// file header, or a bitmap resource as it is. Empty when it is anything else;
// `why` then says what.
Image DecodeDib24(const std::vector<uint8_t> &dib, std::string *why = nullptr);
std::vector<uint8_t> ReadFileBytes(const std::string &path);
// A .bmp file, decoded as above.
Image ReadBmpFile(const std::string &path, std::string *why = nullptr);
