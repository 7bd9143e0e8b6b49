#include "image.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <set>
#include <sstream>

namespace {

constexpr size_t FILE_HEADER_BYTES = 14;
constexpr size_t INFO_HEADER_BYTES = 40;
constexpr int TRUE_COLOUR_BITS = 24;

uint32_t Little(const std::vector<uint8_t> &bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<size_t>(i)];
    }
    return value;
}

Image Refuse(std::string *why, const std::string &reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return Image{};
}

} // namespace

uint32_t PixelAt(const Image &image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.width + x];
}

Image Crop(const Image &image, const Rect &region) {
    Image part{region.width, region.height, {}};
    part.pixels.reserve(static_cast<size_t>(region.width) * region.height);
    for (int y = region.y; y < region.y + region.height; ++y) {
        const auto row = image.pixels.begin() + static_cast<ptrdiff_t>(y) * image.width + region.x;
        part.pixels.insert(part.pixels.end(), row, row + region.width);
    }
    return part;
}

std::string DescribePixel(uint32_t pixel) {
    char text[40];
    std::snprintf(text, sizeof text, "RGB (%u, %u, %u)", (pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF,
                  pixel & 0xFF);
    return text;
}

void PrintTo(const Image &image, std::ostream *out) {
    constexpr size_t LISTED_COLOURS = 4;
    const std::set<uint32_t> colours(image.pixels.begin(), image.pixels.end());
    *out << image.width << " x " << image.height << " image of " << colours.size() << " colours";
    size_t listed = 0;
    for (const uint32_t colour : colours) {
        if (listed++ == LISTED_COLOURS) {
            *out << ", ...";
            break;
        }
        *out << ", " << DescribePixel(colour);
    }
}

std::string ImageDifference(const Image &shown, const Image &wanted, const std::string &frame) {
    std::ostringstream text;
    if (shown.width != wanted.width || shown.height != wanted.height ||
        shown.pixels.size() != wanted.pixels.size()) {
        text << shown.width << " x " << shown.height << " pixels instead of " << wanted.width
             << " x " << wanted.height;
        return text.str();
    }
    const auto first =
        std::mismatch(shown.pixels.begin(), shown.pixels.end(), wanted.pixels.begin());
    if (first.first == shown.pixels.end()) {
        return "";
    }
    const auto differing =
        std::inner_product(shown.pixels.begin(), shown.pixels.end(), wanted.pixels.begin(),
                           size_t{0}, std::plus<>(), std::not_equal_to<>());
    const auto at = first.first - shown.pixels.begin();
    text << differing << " of " << shown.pixels.size() << " pixels differ; the first, ("
         << at % shown.width << ", " << at / shown.width << ")" << (frame.empty() ? "" : " ")
         << frame << ", is " << DescribePixel(*first.first) << " instead of "
         << DescribePixel(*first.second);
    return text.str();
}

void WritePpm(const std::string &path, const Image &image) {
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << image.width << " " << image.height << "\n255\n";
    for (const uint32_t pixel : image.pixels) {
        const char rgb[3] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8),
                             static_cast<char>(pixel)};
        file.write(rgb, sizeof rgb);
    }
}

Image DecodeDib24(const std::vector<uint8_t> &dib, std::string *why) {
    if (dib.size() < INFO_HEADER_BYTES || Little(dib, 0, 4) < INFO_HEADER_BYTES) {
        return Refuse(why, "no BITMAPINFOHEADER");
    }
    const auto width = static_cast<int32_t>(Little(dib, 4, 4));
    const auto height = static_cast<int32_t>(Little(dib, 8, 4));
    if (Little(dib, 14, 2) != TRUE_COLOUR_BITS || Little(dib, 16, 4) != 0 ||
        Little(dib, 32, 4) != 0) {
        return Refuse(why, "not an uncompressed 24-bit bitmap without palette");
    }
    if (width <= 0 || height == 0) {
        return Refuse(why, "no pixels");
    }
    const int rows = height < 0 ? -height : height;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const size_t bits = Little(dib, 0, 4);
    if (dib.size() < bits + stride * static_cast<size_t>(rows)) {
        return Refuse(why, "truncated");
    }
    Image image{width, rows, {}};
    image.pixels.reserve(static_cast<size_t>(width) * rows);
    for (int y = 0; y < rows; ++y) {
        const int stored = height > 0 ? rows - 1 - y : y;
        const uint8_t *row = dib.data() + bits + stride * static_cast<size_t>(stored);
        for (int x = 0; x < width; ++x) {
            const uint8_t *bgr = row + static_cast<ptrdiff_t>(x) * 3;
            image.pixels.push_back(uint32_t{bgr[2]} << 16 | uint32_t{bgr[1]} << 8 | bgr[0]);
        }
    }
    return image;
}

std::vector<uint8_t> ReadFileBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}

Image ReadBmpFile(const std::string &path, std::string *why) {
    const std::vector<uint8_t> file = ReadFileBytes(path);
    if (file.size() < FILE_HEADER_BYTES || file[0] != 'B' || file[1] != 'M') {
        return Refuse(why, path + " is not a BMP file");
    }
    // The pixels follow the headers directly in every file the project makes;
    // the decoder finds them by the info header's size, as in a resource.
    if (Little(file, 10, 4) != FILE_HEADER_BYTES + Little(file, FILE_HEADER_BYTES, 4)) {
        return Refuse(why, path + " has a gap or palette before its pixels");
    }
    return DecodeDib24(std::vector<uint8_t>(file.begin() + FILE_HEADER_BYTES, file.end()), why);
}
