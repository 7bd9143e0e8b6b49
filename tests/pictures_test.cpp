// Checks the committed board pictures and icon by decoding the files themselves, so that a
// regenerated or hand-edited picture that the game could not use is caught even if the generator
// and these files drift apart.

#include "expected.h"
#include "image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string res_path(const std::string &name) {
    return std::string(GLIDORA_RES_DIR) + "/" + name;
}

Bytes load(const std::string &name) {
    return ReadFileBytes(res_path(name));
}

std::uint32_t u8(const Bytes &bytes, std::size_t at) {
    return bytes[at];
}

std::uint32_t u16(const Bytes &bytes, std::size_t at) {
    return u8(bytes, at) | (u8(bytes, at + 1) << 8);
}

std::uint32_t u32(const Bytes &bytes, std::size_t at) {
    return u16(bytes, at) | (u16(bytes, at + 2) << 16);
}

std::int32_t i32(const Bytes &bytes, std::size_t at) {
    return static_cast<std::int32_t>(u32(bytes, at));
}

// Offsets inside BITMAPFILEHEADER and BITMAPINFOHEADER.
constexpr std::size_t file_header_size = 14;
constexpr std::size_t bf_size = 2;
constexpr std::size_t bf_off_bits = 10;
constexpr std::size_t bi_size = 0;
constexpr std::size_t bi_width = 4;
constexpr std::size_t bi_height = 8;
constexpr std::size_t bi_planes = 12;
constexpr std::size_t bi_bit_count = 14;
constexpr std::size_t bi_compression = 16;
constexpr std::uint32_t info_header_size = 40;
constexpr std::uint32_t bi_rgb = 0;

// ---------------------------------------------------------------------------------------------
// Board pictures

constexpr int board_pixels = expected::BOARD_EDGE;
constexpr std::uint32_t background = expected::PICTURE_BACKGROUND;
constexpr std::uint32_t white = expected::PICTURE_NUMERAL;
constexpr int tolerance = 3;

struct BoardCase {
    int size;
    int ink_height;
};

std::string board_name(const BoardCase &board) {
    return expected::PICTURE_FILES[board.size - expected::SMALLEST_SIZE];
}

// Empty when the file is not a picture the decoder takes.
Image decode_board(const BoardCase &board) {
    return ReadBmpFile(res_path(board_name(board)));
}

struct Square {
    int x;
    int y;
    int size;
    int number; // 0 for the gap
};

std::vector<Square> squares_of(int board_size) {
    std::vector<Square> squares;
    for (int row = 0; row < board_size; ++row) {
        for (int column = 0; column < board_size; ++column) {
            const bool gap = row == board_size - 1 && column == board_size - 1;
            squares.push_back(Square{column * board_pixels / board_size,
                                     row * board_pixels / board_size, board_pixels / board_size,
                                     gap ? 0 : row * board_size + column + 1});
        }
    }
    return squares;
}

struct InkBox {
    bool found = false;
    int x0 = 0;
    int y0 = 0;
    int x1 = 0; // inclusive
    int y1 = 0; // inclusive
};

InkBox ink_box(const Image &picture, const Square &square) {
    InkBox box;
    for (int y = square.y; y < square.y + square.size; ++y) {
        for (int x = square.x; x < square.x + square.size; ++x) {
            if (PixelAt(picture, x, y) != white) {
                continue;
            }
            if (!box.found) {
                box = InkBox{true, x, y, x, y};
            }
            box.x0 = std::min(box.x0, x);
            box.y0 = std::min(box.y0, y);
            box.x1 = std::max(box.x1, x);
            box.y1 = std::max(box.y1, y);
        }
    }
    return box;
}

// Number of horizontally separate ink parts: runs of columns holding ink inside the box.
int ink_parts(const Image &picture, const InkBox &box) {
    int parts = 0;
    bool previous_has_ink = false;
    for (int x = box.x0; x <= box.x1; ++x) {
        bool has_ink = false;
        for (int y = box.y0; y <= box.y1; ++y) {
            has_ink = has_ink || PixelAt(picture, x, y) == white;
        }
        if (has_ink && !previous_has_ink) {
            ++parts;
        }
        previous_has_ink = has_ink;
    }
    return parts;
}

std::vector<bool> ink_pattern(const Image &picture, const InkBox &box) {
    std::vector<bool> pattern;
    for (int y = box.y0; y <= box.y1; ++y) {
        for (int x = box.x0; x <= box.x1; ++x) {
            pattern.push_back(PixelAt(picture, x, y) == white);
        }
    }
    return pattern;
}

struct BoardPicture : testing::TestWithParam<BoardCase> {};

TEST_P(BoardPicture, HeadersDescribeAnUncompressed24BitSquareWithoutPalette) {
    const Bytes bytes = load(board_name(GetParam()));
    ASSERT_GE(bytes.size(), file_header_size + info_header_size);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(u32(bytes, bf_size), bytes.size());
    EXPECT_EQ(u32(bytes, bf_off_bits), file_header_size + info_header_size);

    const std::size_t info = file_header_size;
    EXPECT_EQ(u32(bytes, info + bi_size), info_header_size);
    EXPECT_EQ(i32(bytes, info + bi_width), board_pixels);
    EXPECT_EQ(i32(bytes, info + bi_height), board_pixels); // positive: bottom-up rows
    EXPECT_EQ(u16(bytes, info + bi_planes), 1u);
    EXPECT_EQ(u16(bytes, info + bi_bit_count), 24u);
    EXPECT_EQ(u32(bytes, info + bi_compression), bi_rgb);

    const std::size_t row_bytes = 900;
    EXPECT_EQ(bytes.size(), file_header_size + info_header_size + row_bytes * board_pixels);
}

TEST_P(BoardPicture, UsesExactlyBackgroundAndWhite) {
    const Image picture = decode_board(GetParam());
    ASSERT_FALSE(picture.pixels.empty());
    std::size_t background_count = 0;
    std::size_t white_count = 0;
    std::size_t other_count = 0;
    for (const std::uint32_t colour : picture.pixels) {
        if (colour == background) {
            ++background_count;
        } else if (colour == white) {
            ++white_count;
        } else {
            ++other_count;
        }
    }
    EXPECT_EQ(other_count, 0u);
    EXPECT_GT(background_count, 0u);
    EXPECT_GT(white_count, 0u);
    EXPECT_EQ(background_count + white_count + other_count,
              static_cast<std::size_t>(board_pixels * board_pixels));
}

TEST_P(BoardPicture, GapIsBlankAndEveryOtherSquareHoldsItsOwnCentredNumeral) {
    const BoardCase board = GetParam();
    const Image picture = decode_board(board);
    ASSERT_EQ(picture.width, board_pixels);
    ASSERT_EQ(picture.height, board_pixels);

    for (const Square &square : squares_of(board.size)) {
        SCOPED_TRACE("square for " + std::to_string(square.number));
        const InkBox box = ink_box(picture, square);
        if (square.number == 0) {
            EXPECT_FALSE(box.found);
            continue;
        }
        ASSERT_TRUE(box.found);
        // Ink touching the square's border would run into (or come from) a neighbour.
        EXPECT_GT(box.x0, square.x);
        EXPECT_GT(box.y0, square.y);
        EXPECT_LT(box.x1, square.x + square.size - 1);
        EXPECT_LT(box.y1, square.y + square.size - 1);

        EXPECT_NEAR(box.y1 - box.y0 + 1, board.ink_height, tolerance);
        const double centre = square.size / 2.0;
        EXPECT_NEAR((box.x0 + box.x1 + 1) / 2.0 - square.x, centre, tolerance);
        EXPECT_NEAR((box.y0 + box.y1 + 1) / 2.0 - square.y, centre, tolerance);
    }
}

TEST_P(BoardPicture, NumeralsHaveOnePartPerDigitAndAllDiffer) {
    const BoardCase board = GetParam();
    const Image picture = decode_board(board);
    ASSERT_EQ(picture.width, board_pixels);
    ASSERT_EQ(picture.height, board_pixels);

    std::set<std::pair<int, std::vector<bool>>> patterns;
    int numbered = 0;
    for (const Square &square : squares_of(board.size)) {
        if (square.number == 0) {
            continue;
        }
        SCOPED_TRACE("square for " + std::to_string(square.number));
        const InkBox box = ink_box(picture, square);
        ASSERT_TRUE(box.found);
        const int digits = square.number < 10 ? 1 : 2;
        EXPECT_EQ(ink_parts(picture, box), digits);
        // Identical ink in two squares would mean a number is repeated or missing.
        patterns.insert({box.x1 - box.x0, ink_pattern(picture, box)});
        ++numbered;
    }
    EXPECT_EQ(patterns.size(), static_cast<std::size_t>(numbered));
    EXPECT_EQ(numbered, board.size * board.size - 1);
}

INSTANTIATE_TEST_SUITE_P(AllSizes, BoardPicture,
                         testing::Values(BoardCase{3, 50}, BoardCase{4, 38}, BoardCase{5, 29},
                                         BoardCase{6, 26}),
                         [](const testing::TestParamInfo<BoardCase> &param_info) {
                             // Appended rather than "N" + ...: GCC 12 warns falsely on that at -O3.
                             std::string name = "N";
                             name += std::to_string(param_info.param.size);
                             return name;
                         });

// ---------------------------------------------------------------------------------------------
// Icon

constexpr int icon_pixels = expected::ICON_EDGE;
constexpr int icon_colours = expected::ICON_COLOURS;
constexpr std::size_t icon_dir_size = 6;
constexpr std::size_t icon_entry_size = 16;
constexpr std::size_t palette_bytes = icon_colours * 4;
constexpr std::size_t xor_bytes = icon_pixels * icon_pixels / 2;
constexpr std::size_t and_bytes = icon_pixels * icon_pixels / 8;
constexpr std::uint32_t dark_red = expected::ICON_BOARD;
constexpr std::uint32_t light_grey = expected::ICON_LINE;
constexpr std::uint32_t icon_digit = expected::ICON_DIGIT;
constexpr int first_line = expected::ICON_LINES[0];
constexpr int second_line = expected::ICON_LINES[1];

// Where the single image starts, as the directory entry says.
std::size_t image_offset(const Bytes &icon) {
    return u32(icon, icon_dir_size + 12);
}

bool icon_is_complete(const Bytes &icon) {
    return icon.size() >= icon_dir_size + icon_entry_size &&
           icon.size() >=
               image_offset(icon) + info_header_size + palette_bytes + xor_bytes + and_bytes;
}

Image decode_icon(const Bytes &icon) {
    const std::size_t palette = image_offset(icon) + info_header_size;
    const std::size_t pixels = palette + palette_bytes;
    Image picture{icon_pixels, icon_pixels, {}};
    for (int y = 0; y < icon_pixels; ++y) {
        const std::size_t row =
            pixels + static_cast<std::size_t>(icon_pixels - 1 - y) * icon_pixels / 2;
        for (int x = 0; x < icon_pixels; ++x) {
            const std::uint8_t pair = icon[row + static_cast<std::size_t>(x) / 2];
            const int index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
            const std::size_t entry = palette + static_cast<std::size_t>(index) * 4;
            picture.pixels.push_back(u32(icon, entry) & 0xFFFFFF);
        }
    }
    return picture;
}

TEST(IconFile, DirectoryHoldsOne32PixelSixteenColourImage) {
    const Bytes icon = load("glidora.ico");
    ASSERT_GE(icon.size(), icon_dir_size + icon_entry_size);
    EXPECT_EQ(u16(icon, 0), 0u);
    EXPECT_EQ(u16(icon, 2), 1u);
    EXPECT_EQ(u16(icon, 4), 1u);

    const std::size_t entry = icon_dir_size;
    EXPECT_EQ(u8(icon, entry + 0), static_cast<std::uint32_t>(icon_pixels));
    EXPECT_EQ(u8(icon, entry + 1), static_cast<std::uint32_t>(icon_pixels));
    EXPECT_EQ(u8(icon, entry + 2), static_cast<std::uint32_t>(icon_colours));
    EXPECT_EQ(u8(icon, entry + 3), 0u);
    EXPECT_EQ(u16(icon, entry + 4), 1u);
    EXPECT_EQ(u16(icon, entry + 6), 4u);
    const std::uint32_t image_bytes = u32(icon, entry + 8);
    EXPECT_EQ(image_bytes, info_header_size + palette_bytes + xor_bytes + and_bytes);
    EXPECT_EQ(image_offset(icon), icon_dir_size + icon_entry_size);
    EXPECT_EQ(image_offset(icon) + image_bytes, icon.size());
}

TEST(IconFile, ImageIsA4BitDibWithAnOpaqueMask) {
    const Bytes icon = load("glidora.ico");
    ASSERT_TRUE(icon_is_complete(icon));
    const std::size_t info = image_offset(icon);
    EXPECT_EQ(u32(icon, info + bi_size), info_header_size);
    EXPECT_EQ(i32(icon, info + bi_width), icon_pixels);
    EXPECT_EQ(i32(icon, info + bi_height), 2 * icon_pixels); // colour rows plus mask rows
    EXPECT_EQ(u16(icon, info + bi_planes), 1u);
    EXPECT_EQ(u16(icon, info + bi_bit_count), 4u);
    EXPECT_EQ(u32(icon, info + bi_compression), bi_rgb);

    const std::size_t mask = info + info_header_size + palette_bytes + xor_bytes;
    std::size_t set_mask_bytes = 0;
    for (std::size_t at = mask; at < mask + and_bytes; ++at) {
        set_mask_bytes += icon[at] != 0 ? 1 : 0;
    }
    EXPECT_EQ(set_mask_bytes, 0u);
}

TEST(IconFile, PixelsShowAMiniatureBoardWithEightDigits) {
    const Bytes icon = load("glidora.ico");
    ASSERT_TRUE(icon_is_complete(icon));
    const Image picture = decode_icon(icon);

    std::set<std::uint32_t> used;
    for (const std::uint32_t colour : picture.pixels) {
        used.insert(colour);
    }
    EXPECT_EQ(used, (std::set<std::uint32_t>{dark_red, light_grey, icon_digit}));

    for (int i = 0; i < icon_pixels; ++i) {
        for (int line : {first_line, second_line}) {
            EXPECT_EQ(PixelAt(picture, line, i), light_grey) << "column " << line << " row " << i;
            EXPECT_EQ(PixelAt(picture, i, line), light_grey) << "row " << line << " column " << i;
        }
    }

    const int cell_starts[] = {0, first_line + 1, second_line + 1};
    const int cell_size = first_line;
    std::set<std::vector<bool>> shapes;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            SCOPED_TRACE("cell row " + std::to_string(row) + " column " + std::to_string(column));
            const bool gap = row == 2 && column == 2;
            std::vector<bool> shape;
            int white_count = 0;
            for (int y = cell_starts[row]; y < cell_starts[row] + cell_size; ++y) {
                for (int x = cell_starts[column]; x < cell_starts[column] + cell_size; ++x) {
                    const std::uint32_t colour = PixelAt(picture, x, y);
                    EXPECT_TRUE(colour == dark_red || (!gap && colour == icon_digit))
                        << x << "," << y;
                    shape.push_back(colour == icon_digit);
                    white_count += colour == icon_digit ? 1 : 0;
                }
            }
            if (gap) {
                EXPECT_EQ(white_count, 0);
            } else {
                EXPECT_GT(white_count, 0);
                shapes.insert(shape);
            }
        }
    }
    EXPECT_EQ(shapes.size(), 8u) << "every digit should look different";
}

} // namespace
