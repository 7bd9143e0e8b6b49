// Checks the committed board pictures and icon by decoding the files themselves, so that a
// regenerated or hand-edited picture that the game could not use is caught even if the generator
// and these files drift apart.

#include "expected.h"
#include "image.h"
#include "ui_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
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

std::string board_name(int size) {
    return expected::PICTURE_FILES[size - expected::SMALLEST_SIZE];
}

// Empty when the file is not a picture the decoder takes.
Image decode_board(int size) {
    return ReadBmpFile(res_path(board_name(size)));
}

struct BoardPicture : testing::TestWithParam<int> {};

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
    const int size = GetParam();
    const Image picture = decode_board(size);
    ASSERT_EQ(picture.width, board_pixels);
    ASSERT_EQ(picture.height, board_pixels);
    for (int index = 0; index < size * size; ++index) {
        EXPECT_EQ(SquareViolation(picture, size, index), "") << "square for " << index + 1;
    }
}

// Each numeral in one part per digit, and no two alike: a number repeated or
// missing would look the same twice.
TEST_P(BoardPicture, NumeralsHaveOnePartPerDigitAndAllDiffer) {
    EXPECT_EQ(PictureViolation(decode_board(GetParam()), GetParam()), "");
}

INSTANTIATE_TEST_SUITE_P(AllSizes, BoardPicture,
                         testing::Range(expected::SMALLEST_SIZE, expected::LARGEST_SIZE + 1),
                         [](const testing::TestParamInfo<int> &param_info) {
                             // Appended rather than "N" + ...: GCC 12 warns falsely on that at -O3.
                             std::string name = "N";
                             name += std::to_string(param_info.param);
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

// Where the single image starts, as the directory entry says.
std::size_t image_offset(const Bytes &icon) {
    return u32(icon, icon_dir_size + 12);
}

bool icon_is_complete(const Bytes &icon) {
    return icon.size() >= icon_dir_size + icon_entry_size &&
           icon.size() >=
               image_offset(icon) + info_header_size + palette_bytes + xor_bytes + and_bytes;
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

    bool opaque = false;
    EXPECT_EQ(DecodeIcon(Bytes(icon.begin() + info, icon.end()), opaque).width, icon_pixels);
    EXPECT_TRUE(opaque) << "a pixel of the mask is set";
}

TEST(IconFile, PixelsShowAMiniatureBoardWithEightDigits) {
    const Bytes icon = load("glidora.ico");
    ASSERT_TRUE(icon_is_complete(icon));
    bool opaque = false;
    const Image picture = DecodeIcon(Bytes(icon.begin() + image_offset(icon), icon.end()), opaque);
    EXPECT_EQ(MiniatureBoardViolation(picture), "");
}

} // namespace
