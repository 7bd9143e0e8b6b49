#include "ui_pictures.h"

#include <algorithm>
#include <cstdlib>

#include "expected.h"

namespace {

constexpr int NUMERAL_TOLERANCE = 3; // pixels, of a numeral's height and centre

// The bounding box of the numeral's pixels in `region`; zero wide when there are none.
Rect NumeralBox(const Image &picture, const Rect &region) {
    int left = region.x + region.width, right = -1, top = region.y + region.height, bottom = -1;
    for (int y = region.y; y < region.y + region.height; ++y) {
        for (int x = region.x; x < region.x + region.width; ++x) {
            if (PixelAt(picture, x, y) == expected::PICTURE_NUMERAL) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? Rect{} : Rect{left, top, right - left + 1, bottom - top + 1};
}

// Runs of columns of `box` holding numeral pixels: one for each digit.
int NumeralParts(const Image &picture, const Rect &box) {
    const auto inked = [&](int x) {
        return NumeralBox(picture, Rect{x, box.y, 1, box.height}).width > 0;
    };
    int parts = 0;
    for (int x = box.x; x < box.x + box.width; ++x) {
        parts += inked(x) && (x == box.x || !inked(x - 1)) ? 1 : 0;
    }
    return parts;
}

Rect SquareAt(int index, int size) {
    const int edge = expected::BOARD_EDGE / size;
    return Rect{index % size * edge, index / size * edge, edge, edge};
}

std::string Cell(const char *what, int index, int size) {
    // Appended: GCC 12 warns falsely on a concatenation that starts with `what`.
    std::string text = what;
    text += " (" + std::to_string(index % size) + ", " + std::to_string(index / size) + ")";
    return text;
}

std::string ColourViolation(const Image &picture) {
    const auto odd = std::find_if(picture.pixels.begin(), picture.pixels.end(), [](uint32_t pixel) {
        return pixel != expected::PICTURE_BACKGROUND && pixel != expected::PICTURE_NUMERAL;
    });
    const int at = static_cast<int>(odd - picture.pixels.begin());
    return odd == picture.pixels.end()
               ? ""
               : Cell("pixel", at, picture.width) + " is " + DescribePixel(*odd);
}

} // namespace

int PictureIdForSize(int size) {
    const int index = size - expected::SMALLEST_SIZE;
    const auto &ids = expected::PICTURE_IDS;
    return index >= 0 && index < static_cast<int>(std::size(ids)) ? ids[index] : 0;
}

std::string SquareViolation(const Image &picture, int size, int index) {
    const Rect square = SquareAt(index, size);
    const Rect numeral = NumeralBox(picture, square);
    const bool isGap = index == size * size - 1;
    const bool plain = numeral.width == 0;
    if (isGap || plain) {
        return isGap == plain ? "" : isGap ? "the gap is not plain" : "no numeral";
    }
    // A numeral on the square's edge would run into, or come from, a neighbour.
    if (numeral.x == square.x || numeral.y == square.y ||
        numeral.x + numeral.width == square.x + square.width ||
        numeral.y + numeral.height == square.y + square.height) {
        return "the numeral touches the square's edge";
    }
    const int height = expected::NUMERAL_HEIGHTS[size - expected::SMALLEST_SIZE];
    if (std::abs(numeral.height - height) > NUMERAL_TOLERANCE) {
        return "numeral " + std::to_string(numeral.height) + " pixels tall, not " +
               std::to_string(height);
    }
    // Twice the offsets from the centre, so that odd sizes stay whole.
    const int offsetX = 2 * (numeral.x - square.x) + numeral.width - square.width;
    const int offsetY = 2 * (numeral.y - square.y) + numeral.height - square.height;
    if (std::abs(offsetX) > 2 * NUMERAL_TOLERANCE || std::abs(offsetY) > 2 * NUMERAL_TOLERANCE) {
        return "numeral not centred (off by " + std::to_string(offsetX / 2) + ", " +
               std::to_string(offsetY / 2) + ")";
    }
    const int parts = NumeralParts(picture, numeral);
    return parts == (index + 1 < 10 ? 1 : 2) ? ""
                                             : std::to_string(parts) + " parts, not its digits";
}

std::string PictureViolation(const Image &picture, int size) {
    if (picture.width != expected::BOARD_EDGE || picture.height != expected::BOARD_EDGE) {
        return "picture is " + std::to_string(picture.width) + " x " +
               std::to_string(picture.height);
    }
    std::string why = ColourViolation(picture);
    // The numerals cut to their ink: alike, a number is repeated or missing,
    // wherever in its square each stands.
    std::vector<Image> numerals;
    for (int i = 0; i < size * size && why.empty(); ++i) {
        why = SquareViolation(picture, size, i);
        numerals.push_back(Crop(picture, NumeralBox(picture, SquareAt(i, size))));
        for (int earlier = 0; earlier < i && why.empty() && i + 1 < size * size; ++earlier) {
            why = numerals[earlier] == numerals[i] ? Cell("alike square", earlier, size) : "";
        }
        why = why.empty() ? "" : Cell("square", i, size) + ": " + why;
    }
    return why;
}

Image DecodeIcon(const std::vector<uint8_t> &dib, bool &opaque) {
    using expected::ICON_EDGE;
    constexpr size_t PALETTE = 40; // after the BITMAPINFOHEADER, four bytes a colour
    constexpr size_t XOR_ROW_BYTES = ICON_EDGE / 2; // 4 bits a pixel
    constexpr size_t AND_ROW_BYTES = ICON_EDGE / 8; // 1 bit a pixel, already 4-byte aligned
    constexpr size_t XOR_BITS = PALETTE + expected::ICON_COLOURS * 4;
    constexpr size_t AND_BITS = XOR_BITS + XOR_ROW_BYTES * ICON_EDGE;
    if (dib.size() < AND_BITS + AND_ROW_BYTES * ICON_EDGE) {
        return Image{};
    }
    Image icon{ICON_EDGE, ICON_EDGE, {}};
    opaque = true;
    for (int y = 0; y < ICON_EDGE; ++y) {
        const size_t stored = static_cast<size_t>(ICON_EDGE - 1 - y); // bottom-up
        for (int x = 0; x < ICON_EDGE; ++x) {
            const uint8_t pair = dib[XOR_BITS + stored * XOR_ROW_BYTES + x / 2];
            const uint8_t *entry =
                &dib[PALETTE + 4 * static_cast<size_t>(x % 2 == 0 ? pair >> 4 : pair & 0x0F)];
            icon.pixels.push_back(uint32_t{entry[2]} << 16 | uint32_t{entry[1]} << 8 | entry[0]);
            const uint8_t mask = dib[AND_BITS + stored * AND_ROW_BYTES + x / 8];
            opaque = opaque && (mask & (0x80 >> (x % 8))) == 0;
        }
    }
    return icon;
}

std::string MiniatureBoardViolation(const Image &icon) {
    using expected::ICON_EDGE;
    using expected::ICON_LINES;
    if (icon.width != ICON_EDGE || icon.height != ICON_EDGE) {
        return "icon is " + std::to_string(icon.width) + " x " + std::to_string(icon.height);
    }
    const auto isLine = [](int at) { return at == ICON_LINES[0] || at == ICON_LINES[1]; };
    for (int y = 0; y < ICON_EDGE; ++y) {
        for (int x = 0; x < ICON_EDGE; ++x) {
            const uint32_t pixel = PixelAt(icon, x, y);
            if (isLine(x) || isLine(y)
                    ? pixel != expected::ICON_LINE
                    : pixel != expected::ICON_BOARD && pixel != expected::ICON_DIGIT) {
                return Cell("pixel", y * ICON_EDGE + x, ICON_EDGE) + " is " + DescribePixel(pixel);
            }
        }
    }
    // Cells between the lines, as wide as the first; the gap's is all board.
    const int starts[] = {0, ICON_LINES[0] + 1, ICON_LINES[1] + 1};
    std::vector<Image> cells;
    for (int i = 0; i < 9; ++i) {
        cells.push_back(
            Crop(icon, Rect{starts[i % 3], starts[i / 3], ICON_LINES[0], ICON_LINES[0]}));
        const bool digit =
            std::count(cells[i].pixels.begin(), cells[i].pixels.end(), expected::ICON_DIGIT) > 0;
        if (digit == (i == 8)) {
            return Cell(digit ? "a digit in the empty cell" : "no digit in cell", i, 3);
        }
        for (int earlier = 0; earlier < i && digit; ++earlier) {
            if (cells[earlier] == cells[i]) {
                return Cell("the same digit as", earlier, 3) + " in " + Cell("cell", i, 3);
            }
        }
    }
    return "";
}
