#include "ui_pictures.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "expected.h"

namespace {

// The bounding box of the numeral's pixels; zero wide when there are none.
Rect FindNumeral(const Image &square) {
    int left = square.width, right = -1, top = square.height, bottom = -1;
    for (int y = 0; y < square.height; ++y) {
        for (int x = 0; x < square.width; ++x) {
            if (PixelAt(square, x, y) == expected::PICTURE_NUMERAL) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? Rect{} : Rect{left, top, right - left + 1, bottom - top + 1};
}

// The gap's square is plain; every other one holds a numeral about half as
// tall as the square and centred in it, to within a few pixels.
std::string SquareViolation(const Image &square, bool isGap) {
    const Rect numeral = FindNumeral(square);
    const bool plain = numeral.width == 0;
    if (isGap || plain) {
        return isGap == plain ? "" : isGap ? "the gap is not plain" : "no numeral";
    }
    const int edge = square.width;
    if (numeral.height * 10 < edge * 4 || numeral.height * 10 > edge * 6) {
        return "numeral " + std::to_string(numeral.height) + " pixels tall in a square of " +
               std::to_string(edge);
    }
    const int tolerance = std::max(4, edge / 10);
    const int offsetX = 2 * numeral.x + numeral.width - edge; // twice the offset from the centre
    const int offsetY = 2 * numeral.y + numeral.height - edge;
    if (std::abs(offsetX) > 2 * tolerance || std::abs(offsetY) > 2 * tolerance) {
        return "numeral not centred (off by " + std::to_string(offsetX / 2) + ", " +
               std::to_string(offsetY / 2) + ")";
    }
    return "";
}

std::string ColourViolation(const Image &picture) {
    const auto odd = std::find_if(picture.pixels.begin(), picture.pixels.end(), [](uint32_t pixel) {
        return pixel != expected::PICTURE_BACKGROUND && pixel != expected::PICTURE_NUMERAL;
    });
    if (odd == picture.pixels.end()) {
        return "";
    }
    const int at = static_cast<int>(odd - picture.pixels.begin());
    return "pixel (" + std::to_string(at % picture.width) + ", " +
           std::to_string(at / picture.width) + ") is " + DescribePixel(*odd);
}

std::string Square(int index, int size) {
    return "square (" + std::to_string(index % size) + ", " + std::to_string(index / size) + ")";
}

} // namespace

uint32_t PixelFromColorRef(COLORREF color) {
    return static_cast<uint32_t>(GetRValue(color) << 16 | GetGValue(color) << 8 | GetBValue(color));
}

int PictureIdForSize(int size) {
    const int index = size - expected::SMALLEST_SIZE;
    const auto &ids = expected::PICTURE_IDS;
    return index >= 0 && index < static_cast<int>(std::size(ids)) ? ids[index] : 0;
}

std::string PictureViolation(const Image &picture, int size) {
    if (picture.width != expected::BOARD_EDGE || picture.height != expected::BOARD_EDGE) {
        return "picture is " + std::to_string(picture.width) + " x " +
               std::to_string(picture.height);
    }
    std::string why = ColourViolation(picture);
    const int edge = expected::BOARD_EDGE / size;
    std::vector<Image> squares; // row by row
    for (int i = 0; i < size * size && why.empty(); ++i) {
        squares.push_back(Crop(picture, Rect{i % size * edge, i / size * edge, edge, edge}));
        why = SquareViolation(squares[i], i == size * size - 1);
        for (int earlier = 0; earlier < i && why.empty(); ++earlier) {
            why = squares[earlier] == squares[i] ? "alike " + Square(earlier, size) : "";
        }
        why = why.empty() ? "" : Square(i, size) + ": " + why;
    }
    return why;
}

Image LoadPicture(HINSTANCE module, int id) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP);
    const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto *bytes = static_cast<const uint8_t *>(loaded ? LockResource(loaded) : nullptr);
    if (bytes == nullptr) {
        return Image{};
    }
    return DecodeDib24(std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found)));
}
