// Compares compiled resource files (.res) resource by resource: the type, name,
// language and bytes of each, whatever order the compiler wrote them in. The
// memory flags and versions of the headers are left out: they do not reach the
// exe's resource directory.
//
//   compare_resources --list FILE             one line per resource
//   compare_resources REFERENCE OTHER...      exit 0 when every OTHER holds the
//                                             same resources as REFERENCE
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Resources {
    bool valid = false;
    std::string error;
    // "type name language" -> the resource's bytes
    std::map<std::string, std::vector<uint8_t>> entries;
};

uint32_t ReadU32(const std::vector<uint8_t> &bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t ReadU16(const std::vector<uint8_t> &bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// A type or name field at `at`, no further than `end`: an ordinal (0xFFFF, then
// the number) or a zero-terminated UTF-16 string. Advances `at` past it; empty
// when the field runs past `end`.
std::string ReadNameOrOrdinal(const std::vector<uint8_t> &bytes, size_t &at, size_t end) {
    if (at + 4 > end) {
        return "";
    }
    if (ReadU16(bytes, at) == 0xFFFF) {
        const std::string ordinal = "#" + std::to_string(ReadU16(bytes, at + 2));
        at += 4;
        return ordinal;
    }
    std::string text;
    for (; at + 2 <= end; at += 2) {
        const uint16_t unit = ReadU16(bytes, at);
        if (unit == 0) {
            at += 2;
            return text.empty() ? "\"\"" : text;
        }
        text +=
            unit < 0x80 ? std::string(1, static_cast<char>(unit)) : "\\u" + std::to_string(unit);
    }
    return "";
}

size_t AlignedToDword(size_t offset) {
    return (offset + 3) & ~static_cast<size_t>(3);
}

Resources ReadResources(const char *path) {
    Resources result;
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        result.error = std::string("cannot read ") + path;
        return result;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(stream),
                                     std::istreambuf_iterator<char>()};
    constexpr size_t FIXED_TAIL = 16; // version, flags, language, version, characteristics
    size_t at = 0;
    while (at < bytes.size()) {
        if (at + 8 > bytes.size()) {
            result.error = std::string(path) + ": truncated header at " + std::to_string(at);
            return result;
        }
        const size_t dataSize = ReadU32(bytes, at);
        const size_t headerSize = ReadU32(bytes, at + 4);
        const size_t headerEnd = at + headerSize;
        if (headerSize < 8 + 4 + 4 + FIXED_TAIL || headerEnd > bytes.size() ||
            dataSize > bytes.size() - headerEnd) {
            result.error = std::string(path) + ": bad sizes at " + std::to_string(at);
            return result;
        }
        size_t field = at + 8;
        const std::string type = ReadNameOrOrdinal(bytes, field, headerEnd);
        const std::string name = ReadNameOrOrdinal(bytes, field, headerEnd);
        field = AlignedToDword(field);
        if (type.empty() || name.empty() || field + FIXED_TAIL > headerEnd) {
            result.error = std::string(path) + ": bad type or name at " + std::to_string(at);
            return result;
        }
        const uint16_t language = ReadU16(bytes, field + 6);
        // The file starts with an empty entry of type 0 that marks it as 32-bit.
        if (!(type == "#0" && dataSize == 0)) {
            char languageText[8];
            std::snprintf(languageText, sizeof languageText, "%04x", language);
            const std::string key = type + " " + name + " " + languageText;
            if (result.entries.count(key) != 0) {
                result.error = std::string(path) + ": " + key + " twice";
                return result;
            }
            result.entries[key].assign(bytes.begin() + static_cast<ptrdiff_t>(headerEnd),
                                       bytes.begin() +
                                           static_cast<ptrdiff_t>(headerEnd + dataSize));
        }
        at = AlignedToDword(headerEnd + dataSize);
    }
    result.valid = true;
    return result;
}

// Prints how `other` differs from `reference`; true when it does not.
bool SameResources(const Resources &reference, const char *referencePath, const Resources &other,
                   const char *otherPath) {
    bool same = true;
    for (const auto &[key, data] : reference.entries) {
        const auto found = other.entries.find(key);
        if (found == other.entries.end()) {
            std::printf("%s: %s missing\n", otherPath, key.c_str());
            same = false;
            continue;
        }
        const std::vector<uint8_t> &theirs = found->second;
        size_t differsAt = 0;
        while (differsAt < data.size() && differsAt < theirs.size() &&
               data[differsAt] == theirs[differsAt]) {
            ++differsAt;
        }
        if (data.size() != theirs.size() || differsAt != data.size()) {
            std::printf("%s: %s differs from %s at byte %zu (%zu bytes against %zu)\n", otherPath,
                        key.c_str(), referencePath, differsAt, theirs.size(), data.size());
            same = false;
        }
    }
    for (const auto &entry : other.entries) {
        if (reference.entries.count(entry.first) == 0) {
            std::printf("%s: %s not in %s\n", otherPath, entry.first.c_str(), referencePath);
            same = false;
        }
    }
    if (same) {
        std::printf("%s: the same %zu resources as %s\n", otherPath, other.entries.size(),
                    referencePath);
    }
    return same;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::string(argv[1]) == "--list") {
        const Resources resources = ReadResources(argv[2]);
        if (!resources.valid) {
            std::fprintf(stderr, "compare_resources: %s\n", resources.error.c_str());
            return 2;
        }
        for (const auto &[key, data] : resources.entries) {
            std::printf("%s %zu\n", key.c_str(), data.size());
        }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: compare_resources --list FILE\n"
                             "       compare_resources REFERENCE OTHER...\n");
        return 2;
    }
    const Resources reference = ReadResources(argv[1]);
    if (!reference.valid || reference.entries.empty()) {
        std::fprintf(stderr, "compare_resources: %s\n",
                     reference.valid ? "the reference holds no resource" : reference.error.c_str());
        return 2;
    }
    bool allSame = true;
    for (int index = 2; index < argc; ++index) {
        const Resources other = ReadResources(argv[index]);
        if (!other.valid) {
            std::fprintf(stderr, "compare_resources: %s\n", other.error.c_str());
            return 2;
        }
        allSame = SameResources(reference, argv[1], other, argv[index]) && allSame;
    }
    return allSame ? 0 : 1;
}
