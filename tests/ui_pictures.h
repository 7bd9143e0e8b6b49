// Board pictures as the tests see them, and a check that a picture really is
// the board picture of a given size.
#pragma once

#include <windows.h>

#include "image.h"

uint32_t PixelFromColorRef(COLORREF color);

// The picture resource id for board size 3 to 6, as expected.h has it.
int PictureIdForSize(int size);

// Empty when `picture` is the 300 x 300 board picture for `size`: only the
// two colours, every square but the bottom-right one holding a numeral about
// half its height and centred in it, no two squares alike, the bottom-right
// square plain. Otherwise what is wrong.
std::string PictureViolation(const Image &picture, int size);

// Bitmap resource `id` of `module`, decoded; empty when it is missing or not
// a 24-bit picture.
Image LoadPicture(HINSTANCE module, int id);
