// Board pictures as the tests see them: pixels as 0xRRGGBB, top row first,
// and a check that a picture really is the board picture of a given size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Image {
    int width;
    int height;
    std::vector<uint32_t> pixels; // 0xRRGGBB, rows from the top
};

constexpr uint32_t PICTURE_BACKGROUND = 0x010957; // RGB (1, 9, 87)
constexpr uint32_t PICTURE_NUMERAL = 0xFFFFFF;

uint32_t PixelFromColorRef(COLORREF color);
std::string DescribePixel(uint32_t pixel);

// The picture resource id for board size 3 to 6, as documented; the tests
// keep their own table so that a wrong table in the game shows.
int PictureIdForSize(int size);

// Empty when `picture` is the 300 x 300 board picture for `size`: only the
// two colours, every square but the bottom-right one holding a numeral about
// half its height and centred in it, no two squares alike, the bottom-right
// square plain. Otherwise what is wrong.
std::string PictureViolation(const Image &picture, int size);

// Loads bitmap `id` from `module` and reads it as a 32-bit top-down image;
// width 0 when it cannot be loaded.
Image LoadPicture(HINSTANCE module, int id);
