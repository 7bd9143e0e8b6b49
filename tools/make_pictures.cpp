// make_pictures <output-dir> <numerals-file>
//
// Writes the committed game pictures: board3.bmp .. board6.bmp (the solved board for each size,
// white numerals on dark blue, the bottom-right square left empty as the gap) and glidora.ico
// (a 16-colour miniature 3 x 3 board drawn with a built-in pixel font).
//
// The numerals come from tools/numerals.txt, a one-bit pixel font kept with the sources, not from
// a font rasteriser at build time: a rasteriser's output changes between its versions, and the
// pictures must come out the same byte for byte on every machine that regenerates them. One bit
// per pixel also keeps every picture to exactly two colours, so the game and its tests tell ink
// from background without thresholds.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

// ---------------------------------------------------------------------------------------------
// Little-endian byte output shared by both file formats.

using Bytes = std::vector<std::uint8_t>;

void put_u8(Bytes &out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
}

void put_u16(Bytes &out, unsigned value) {
    put_u8(out, value & 0xFFu);
    put_u8(out, (value >> 8) & 0xFFu);
}

void put_u32(Bytes &out, std::uint32_t value) {
    put_u16(out, value & 0xFFFFu);
    put_u16(out, (value >> 16) & 0xFFFFu);
}

void put_i32(Bytes &out, std::int32_t value) {
    put_u32(out, static_cast<std::uint32_t>(value));
}

constexpr std::uint32_t bitmap_info_header_size = 40;
constexpr std::uint32_t bmp_file_header_size = 14;
constexpr unsigned bi_rgb = 0;
constexpr unsigned single_plane = 1;

void put_bitmap_info_header(Bytes &out, int width, int height, unsigned bits_per_pixel,
                            std::uint32_t image_size, std::uint32_t palette_entries) {
    // Resolution is left unspecified (0) so nothing machine-dependent enters the file.
    put_u32(out, bitmap_info_header_size);
    put_i32(out, width);
    put_i32(out, height);
    put_u16(out, single_plane);
    put_u16(out, bits_per_pixel);
    put_u32(out, bi_rgb);
    put_u32(out, image_size);
    put_i32(out, 0);
    put_i32(out, 0);
    put_u32(out, palette_entries);
    put_u32(out, 0);
}

bool write_file(const std::filesystem::path &path, const Bytes &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// One-bit pictures: the numerals and the boards are built as masks, coloured only when written.

struct Mask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> on;
};

Mask make_mask(int width, int height) {
    return Mask{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height))};
}

bool mask_at(const Mask &mask, int x, int y) {
    return mask.on[static_cast<std::size_t>(y * mask.width + x)] != 0;
}

void set_mask(Mask &mask, int x, int y) {
    mask.on[static_cast<std::size_t>(y * mask.width + x)] = 1;
}

// ---------------------------------------------------------------------------------------------
// Board pictures.

constexpr int board_pixels = 300;
constexpr int bmp_bits_per_pixel = 24;
constexpr int bmp_bytes_per_pixel = 3;
constexpr Rgb board_background{1, 9, 87};
constexpr Rgb board_ink{255, 255, 255};

struct BoardStyle {
    int size;          // squares per side
    int figure_height; // pixel height of a flat-topped digit, about half a square
};

constexpr std::array<BoardStyle, 4> board_styles{{{3, 50}, {4, 38}, {5, 29}, {6, 26}}};

// One digit of the numeral font: its ink, placed relative to the pen origin on the baseline
// (y grows downwards), and how far it moves the pen.
struct Glyph {
    int left = 0;
    int top = 0;
    int advance = 0;
    Mask bits;
};

using Digits = std::array<Glyph, 10>;

struct NumeralFont {
    int figure_height = 0;
    Digits digits;
};

bool font_error(const std::filesystem::path &path, int line, const char *what) {
    std::fprintf(stderr, "make_pictures: %s:%d: %s\n", path.string().c_str(), line, what);
    return false;
}

// Reads one glyph's rows of '#' (ink) and '.' (none).
bool read_rows(std::istream &in, const std::filesystem::path &path, int &line_number,
               Glyph &glyph) {
    std::string row;
    for (int y = 0; y < glyph.bits.height; ++y) {
        ++line_number;
        if (!std::getline(in, row) || static_cast<int>(row.size()) != glyph.bits.width ||
            row.find_first_not_of("#.") != std::string::npos) {
            return font_error(path, line_number, "bad glyph row");
        }
        for (int x = 0; x < glyph.bits.width; ++x) {
            if (row[static_cast<std::size_t>(x)] == '#') {
                set_mask(glyph.bits, x, y);
            }
        }
    }
    return true;
}

// The numerals file: "figure <height>" starts a size, "digit <d> <left> <top> <advance> <width>
// <rows>" a glyph, followed by its rows; blank lines and lines starting "# " are comments.
bool read_numeral_fonts(const std::filesystem::path &path, std::vector<NumeralFont> &fonts) {
    std::ifstream in(path);
    if (!in) {
        return font_error(path, 0, "cannot open");
    }
    std::string line;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword) || keyword == "#") {
            continue;
        }
        if (keyword == "figure") {
            fonts.emplace_back();
            if (!(words >> fonts.back().figure_height)) {
                return font_error(path, line_number, "bad figure line");
            }
            continue;
        }
        int digit = -1;
        int width = 0;
        int height = 0;
        Glyph glyph;
        if (keyword != "digit" || fonts.empty() ||
            !(words >> digit >> glyph.left >> glyph.top >> glyph.advance >> width >> height) ||
            digit < 0 || digit > 9 || width < 0 || height < 0) {
            return font_error(path, line_number, "bad digit line");
        }
        glyph.bits = make_mask(width, height);
        if (!read_rows(in, path, line_number, glyph)) {
            return false;
        }
        fonts.back().digits[static_cast<std::size_t>(digit)] = std::move(glyph);
    }
    return true;
}

struct InkBox {
    int x0;
    int y0;
    int x1; // exclusive
    int y1; // exclusive
};

struct PlacedGlyph {
    int left;
    int top;
    const Mask *bits;
};

// Places each digit's glyph on one baseline, one plain advance after the previous one.
std::vector<PlacedGlyph> lay_out(const Digits &digits, std::string_view text) {
    std::vector<PlacedGlyph> glyphs;
    int pen_x = 0;
    for (char character : text) {
        const Glyph &glyph = digits[static_cast<std::size_t>(character - '0')];
        glyphs.push_back({pen_x + glyph.left, -glyph.top, &glyph.bits});
        pen_x += glyph.advance;
    }
    return glyphs;
}

// Returns false when the glyphs hold no ink at all.
bool ink_bounds(const std::vector<PlacedGlyph> &glyphs, InkBox &box) {
    bool any = false;
    for (const PlacedGlyph &glyph : glyphs) {
        for (int y = 0; y < glyph.bits->height; ++y) {
            for (int x = 0; x < glyph.bits->width; ++x) {
                if (!mask_at(*glyph.bits, x, y)) {
                    continue;
                }
                const int px = glyph.left + x;
                const int py = glyph.top + y;
                box = any ? InkBox{std::min(box.x0, px), std::min(box.y0, py),
                                   std::max(box.x1, px + 1), std::max(box.y1, py + 1)}
                          : InkBox{px, py, px + 1, py + 1};
                any = true;
            }
        }
    }
    return any;
}

Mask crop(const std::vector<PlacedGlyph> &glyphs, const InkBox &box) {
    Mask ink = make_mask(box.x1 - box.x0, box.y1 - box.y0);
    for (const PlacedGlyph &glyph : glyphs) {
        for (int y = 0; y < glyph.bits->height; ++y) {
            for (int x = 0; x < glyph.bits->width; ++x) {
                if (mask_at(*glyph.bits, x, y)) {
                    set_mask(ink, glyph.left + x - box.x0, glyph.top + y - box.y0);
                }
            }
        }
    }
    return ink;
}

// Returns the number's ink cropped to its bounding box, ready to be centred.
bool render_number(const Digits &digits, int number, Mask &ink) {
    const std::vector<PlacedGlyph> glyphs = lay_out(digits, std::to_string(number));
    InkBox box{};
    if (!ink_bounds(glyphs, box)) {
        std::fprintf(stderr, "make_pictures: no ink for %d\n", number);
        return false;
    }
    ink = crop(glyphs, box);
    return true;
}

const NumeralFont *font_for(const std::vector<NumeralFont> &fonts, int figure_height) {
    for (const NumeralFont &font : fonts) {
        if (font.figure_height == figure_height) {
            return &font;
        }
    }
    std::fprintf(stderr, "make_pictures: no numerals %d px high\n", figure_height);
    return nullptr;
}

// Copies the number's ink centred in its square; refuses ink that would leave the square.
bool draw_centred(Mask &board, const Mask &ink, int square_x, int square_y, int square_size) {
    if (ink.width > square_size || ink.height > square_size) {
        std::fprintf(stderr, "make_pictures: numeral larger than its square\n");
        return false;
    }
    const int origin_x = square_x + (square_size - ink.width) / 2;
    const int origin_y = square_y + (square_size - ink.height) / 2;
    for (int y = 0; y < ink.height; ++y) {
        for (int x = 0; x < ink.width; ++x) {
            if (mask_at(ink, x, y)) {
                set_mask(board, origin_x + x, origin_y + y);
            }
        }
    }
    return true;
}

bool draw_board(const Digits &digits, const BoardStyle &style, Mask &board) {
    board = make_mask(board_pixels, board_pixels);
    const int square_size = board_pixels / style.size;
    const int last_square = style.size * style.size - 1;
    for (int index = 0; index < last_square; ++index) {
        const int column = index % style.size;
        const int row = index / style.size;
        Mask ink;
        if (!render_number(digits, index + 1, ink) ||
            !draw_centred(board, ink, column * board_pixels / style.size,
                          row * board_pixels / style.size, square_size)) {
            return false;
        }
    }
    return true;
}

Bytes encode_board_bmp(const Mask &board) {
    constexpr int row_alignment = 4;
    const int row_bytes =
        (board.width * bmp_bytes_per_pixel + row_alignment - 1) / row_alignment * row_alignment;
    const auto image_size = static_cast<std::uint32_t>(row_bytes * board.height);
    const std::uint32_t pixel_offset = bmp_file_header_size + bitmap_info_header_size;

    Bytes out;
    out.reserve(pixel_offset + image_size);
    put_u8(out, 'B');
    put_u8(out, 'M');
    put_u32(out, pixel_offset + image_size);
    put_u32(out, 0); // two reserved 16-bit fields
    put_u32(out, pixel_offset);
    put_bitmap_info_header(out, board.width, board.height, bmp_bits_per_pixel, image_size, 0);

    // Positive height means the rows are stored bottom-up.
    for (int y = board.height - 1; y >= 0; --y) {
        for (int x = 0; x < board.width; ++x) {
            const Rgb colour = mask_at(board, x, y) ? board_ink : board_background;
            put_u8(out, colour.b);
            put_u8(out, colour.g);
            put_u8(out, colour.r);
        }
        for (int pad = board.width * bmp_bytes_per_pixel; pad < row_bytes; ++pad) {
            put_u8(out, 0);
        }
    }
    return out;
}

bool write_boards(const std::filesystem::path &output_dir,
                  const std::filesystem::path &numerals_path) {
    std::vector<NumeralFont> fonts;
    if (!read_numeral_fonts(numerals_path, fonts)) {
        return false;
    }
    for (const BoardStyle &style : board_styles) {
        const NumeralFont *font = font_for(fonts, style.figure_height);
        Mask board;
        if (font == nullptr || !draw_board(font->digits, style, board) ||
            !write_file(output_dir / ("board" + std::to_string(style.size) + ".bmp"),
                        encode_board_bmp(board))) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Icon: a 32 x 32, 16-colour miniature of the 3 x 3 board.

constexpr int icon_pixels = 32;
constexpr int icon_bits_per_pixel = 4;
constexpr int icon_palette_size = 16;
constexpr int icon_cells = 3;
constexpr int icon_cell_pixels = 10;
constexpr int icon_line_step = icon_cell_pixels + 1; // a cell plus its one-pixel line

// The classic Windows 16-colour (VGA) palette, in its usual order.
constexpr std::array<Rgb, icon_palette_size> vga_palette{{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

constexpr std::uint8_t icon_background = 1; // dark red
constexpr std::uint8_t icon_line = 7;       // light grey
constexpr std::uint8_t icon_digit = 15;     // white

constexpr int digit_font_width = 5;
constexpr int digit_font_height = 7;
using DigitGlyph = std::array<std::string_view, digit_font_height>;

// Hand-drawn 5 x 7 digits; '#' is ink. Only 1 to 8 appear on the icon.
constexpr int decimal_digits = 10;
constexpr std::array<DigitGlyph, decimal_digits> digit_font{{
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {".###.", "#...#", "....#", "..##.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},
}};

using IconPixels = std::array<std::array<std::uint8_t, icon_pixels>, icon_pixels>;

void draw_icon_lines(IconPixels &pixels) {
    for (int line = 1; line < icon_cells; ++line) {
        const int at = line * icon_line_step - 1;
        for (int i = 0; i < icon_pixels; ++i) {
            pixels[at][i] = icon_line;
            pixels[i][at] = icon_line;
        }
    }
}

void draw_icon_digit(IconPixels &pixels, int digit, int cell_x, int cell_y) {
    const int left = cell_x + (icon_cell_pixels - digit_font_width) / 2;
    const int top = cell_y + (icon_cell_pixels - digit_font_height) / 2;
    const DigitGlyph &glyph = digit_font[static_cast<std::size_t>(digit)];
    for (int y = 0; y < digit_font_height; ++y) {
        for (int x = 0; x < digit_font_width; ++x) {
            if (glyph[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#') {
                pixels[top + y][left + x] = icon_digit;
            }
        }
    }
}

IconPixels draw_icon() {
    IconPixels pixels{};
    for (auto &row : pixels) {
        row.fill(icon_background);
    }
    draw_icon_lines(pixels);
    const int last_cell = icon_cells * icon_cells - 1;
    for (int index = 0; index < last_cell; ++index) {
        draw_icon_digit(pixels, index + 1, (index % icon_cells) * icon_line_step,
                        (index / icon_cells) * icon_line_step);
    }
    return pixels;
}

Bytes encode_icon(const IconPixels &pixels) {
    constexpr int bits_per_byte = 8;
    constexpr int row_alignment_bits = 32;
    constexpr int xor_row_bytes = (icon_pixels * icon_bits_per_pixel + row_alignment_bits - 1) /
                                  row_alignment_bits * row_alignment_bits / bits_per_byte;
    constexpr int and_row_bytes = (icon_pixels + row_alignment_bits - 1) / row_alignment_bits *
                                  row_alignment_bits / bits_per_byte;
    constexpr std::uint32_t mask_bytes = (xor_row_bytes + and_row_bytes) * icon_pixels;
    constexpr std::uint32_t palette_bytes = icon_palette_size * 4;
    constexpr std::uint32_t image_bytes = bitmap_info_header_size + palette_bytes + mask_bytes;
    constexpr std::uint32_t icon_dir_size = 6;
    constexpr std::uint32_t icon_entry_size = 16;
    constexpr unsigned icon_resource_type = 1;

    Bytes out;
    put_u16(out, 0);
    put_u16(out, icon_resource_type);
    put_u16(out, 1); // one image

    put_u8(out, icon_pixels);
    put_u8(out, icon_pixels);
    put_u8(out, icon_palette_size);
    put_u8(out, 0);
    put_u16(out, single_plane);
    put_u16(out, icon_bits_per_pixel);
    put_u32(out, image_bytes);
    put_u32(out, icon_dir_size + icon_entry_size);

    // Icon DIBs declare twice the height: the colour rows followed by the transparency mask.
    put_bitmap_info_header(out, icon_pixels, 2 * icon_pixels, icon_bits_per_pixel, mask_bytes,
                           icon_palette_size);
    for (const Rgb &colour : vga_palette) {
        put_u8(out, colour.b);
        put_u8(out, colour.g);
        put_u8(out, colour.r);
        put_u8(out, 0);
    }
    constexpr int high_nibble_shift = 4;
    for (int y = icon_pixels - 1; y >= 0; --y) {
        for (int x = 0; x < icon_pixels; x += 2) {
            put_u8(out,
                   static_cast<unsigned>(pixels[y][x] << high_nibble_shift) | pixels[y][x + 1]);
        }
    }
    // An all-clear mask keeps every pixel opaque.
    out.insert(out.end(), static_cast<std::size_t>(and_row_bytes * icon_pixels), 0);
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output-dir> <numerals-file>\n",
                     argc > 0 ? argv[0] : "make_pictures");
        return 2;
    }
    const std::filesystem::path output_dir = argv[1];
    const std::filesystem::path numerals_path = argv[2];

    std::error_code error;
    std::filesystem::create_directories(output_dir, error);
    if (error) {
        std::fprintf(stderr, "make_pictures: cannot create %s\n", output_dir.string().c_str());
        return 1;
    }
    const bool ok = write_boards(output_dir, numerals_path) &&
                    write_file(output_dir / "glidora.ico", encode_icon(draw_icon()));
    return ok ? 0 : 1;
}
