// The game's pictures as the tests see them, and what makes a picture the
// board picture of a given size or the icon: the committed files and the
// resources built from them must pass the same checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

// The picture resource id for board size 3 to 6, as expected.h has it.
int PictureIdForSize(int size);

// Empty when square `index` (row by row) of the board picture for `size` is
// as it should be: the bottom-right square plain, every other holding its
// number, one part for each digit, as tall as expected.h says, centred and
// clear of the square's edges, to within 3 pixels. Otherwise what is wrong.
std::string SquareViolation(const Image &picture, int size, int index);

// Empty when `picture` is the 300 x 300 board picture for `size`: only the
// two colours, every square as SquareViolation wants it, no two numerals
// alike. Otherwise what is wrong, and where.
std::string PictureViolation(const Image &picture, int size);

// The colours of a 32 x 32 sixteen-colour icon image whose `dib` starts at its
// BITMAPINFOHEADER, as an icon resource does; `opaque` says whether its mask
// leaves every pixel opaque. Empty when `dib` is too short.
Image DecodeIcon(const std::vector<uint8_t> &dib, bool &opaque);

// Empty when `icon` shows the miniature 3 x 3 board: grey lines, eight cells
// with white digits on dark red, no two alike, the bottom-right cell empty.
// Otherwise what is wrong.
std::string MiniatureBoardViolation(const Image &icon);
