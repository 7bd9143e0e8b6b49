#include "ui_pictures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "engine/board.h"
#include "res/resource.h"

uint32_t PixelFromColorRef(COLORREF color) {
    return (static_cast<uint32_t>(GetRValue(color)) << 16) |
           (static_cast<uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
}

std::string DescribePixel(uint32_t pixel) {
    char text[40];
    std::snprintf(text, sizeof text, "RGB (%u, %u, %u)", (pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF,
                  pixel & 0xFF);
    return text;
}

int PictureIdForSize(int size) {
    switch (size) {
    case 3:
        return IDB_BOARD3;
    case 4:
        return IDB_BOARD4;
    case 5:
        return IDB_BOARD5;
    case 6:
        return IDB_BOARD6;
    default:
        return 0;
    }
}

static std::string Square(int col, int row) {
    char text[40];
    std::snprintf(text, sizeof text, "square (%d, %d)", col, row);
    return text;
}

static uint32_t PixelAt(const Image &image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.width + x];
}

struct NumeralBox {
    bool found;
    int left, top, right, bottom; // inclusive
};

static NumeralBox FindNumeral(const Image &picture, int x0, int y0, int edge) {
    NumeralBox box = {false, edge, edge, -1, -1};
    for (int y = 0; y < edge; ++y) {
        for (int x = 0; x < edge; ++x) {
            if (PixelAt(picture, x0 + x, y0 + y) == PICTURE_NUMERAL) {
                box.found = true;
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    return box;
}

// A numeral about half as tall as its square and centred in it, to within a
// few pixels.
static std::string NumeralViolation(const NumeralBox &box, int edge) {
    const int height = box.bottom - box.top + 1;
    if (height * 10 < edge * 4 || height * 10 > edge * 6) {
        return "numeral " + std::to_string(height) + " pixels tall in a square of " +
               std::to_string(edge);
    }
    const int tolerance = std::max(4, edge / 10);
    const int offsetX = (box.left + box.right + 1) - edge; // twice the offset from the centre
    const int offsetY = (box.top + box.bottom + 1) - edge;
    if (std::abs(offsetX) > 2 * tolerance || std::abs(offsetY) > 2 * tolerance) {
        return "numeral not centred (off by " + std::to_string(offsetX / 2) + ", " +
               std::to_string(offsetY / 2) + ")";
    }
    return "";
}

static bool SquaresAlike(const Image &picture, int edge, int colA, int rowA, int colB, int rowB) {
    for (int y = 0; y < edge; ++y) {
        for (int x = 0; x < edge; ++x) {
            if (PixelAt(picture, colA * edge + x, rowA * edge + y) !=
                PixelAt(picture, colB * edge + x, rowB * edge + y)) {
                return false;
            }
        }
    }
    return true;
}

static std::string ColourViolation(const Image &picture) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t pixel = PixelAt(picture, x, y);
            if (pixel != PICTURE_BACKGROUND && pixel != PICTURE_NUMERAL) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                       DescribePixel(pixel);
            }
        }
    }
    return "";
}

static std::string SquareViolation(const Image &picture, int size, int col, int row) {
    const int edge = BOARD_PIXELS / size;
    const NumeralBox box = FindNumeral(picture, col * edge, row * edge, edge);
    const bool isGap = col == size - 1 && row == size - 1;
    if (isGap) {
        return box.found ? Square(col, row) + " (the gap) is not plain" : "";
    }
    if (!box.found) {
        return Square(col, row) + " holds no numeral";
    }
    const std::string why = NumeralViolation(box, edge);
    return why.empty() ? "" : Square(col, row) + ": " + why;
}

std::string PictureViolation(const Image &picture, int size) {
    if (picture.width != BOARD_PIXELS || picture.height != BOARD_PIXELS) {
        return "picture is " + std::to_string(picture.width) + " x " +
               std::to_string(picture.height);
    }
    std::string why = ColourViolation(picture);
    for (int col = 0; col < size && why.empty(); ++col) {
        for (int row = 0; row < size && why.empty(); ++row) {
            why = SquareViolation(picture, size, col, row);
        }
    }
    const int edge = BOARD_PIXELS / size;
    const int squares = size * size;
    for (int a = 0; a < squares && why.empty(); ++a) {
        for (int b = a + 1; b < squares && why.empty(); ++b) {
            if (SquaresAlike(picture, edge, a % size, a / size, b % size, b / size)) {
                why = Square(a % size, a / size) + " and " + Square(b % size, b / size) +
                      " are alike";
            }
        }
    }
    return why;
}

Image LoadPicture(HINSTANCE module, int id) {
    Image image = {0, 0, {}};
    const HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(id));
    if (bitmap == nullptr) {
        return image;
    }
    BITMAP shape = {};
    GetObjectA(bitmap, sizeof shape, &shape);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shape.bmWidth;
    info.bmiHeader.biHeight = -shape.bmHeight; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> bits(static_cast<size_t>(shape.bmWidth) * shape.bmHeight);
    const HDC screen = GetDC(nullptr);
    const int rows =
        GetDIBits(screen, bitmap, 0, shape.bmHeight, bits.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    if (rows != shape.bmHeight) {
        return image;
    }
    for (uint32_t &pixel : bits) {
        pixel &= 0xFFFFFF;
    }
    image.width = shape.bmWidth;
    image.height = shape.bmHeight;
    image.pixels = std::move(bits);
    return image;
}
