// The resources of the built game, read back from glidora.exe as raw
// templates and compared with the documented menu, dialogs, pictures and
// icon, the project's version and the manifest; and the exe's own headers.
// GLIDORA_EXE names another build of the game to read, GLIDORA_EXE_BITS its
// word size when that differs from this program's: a 64-bit program reads
// the 32-bit game as a data file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/board.h"
#include "expected.h"
#include "res/resource.h"
#include "ui_pictures.h"
#include "windows_environment.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// A cursor over a resource; reading past its end yields zeros and is noted.
struct Reader {
    const Bytes &bytes;
    size_t at;
    bool overrun;
};

uint16_t Word(Reader &reader) {
    if (reader.at + 2 > reader.bytes.size()) {
        reader.overrun = true;
        return 0;
    }
    const uint16_t value =
        static_cast<uint16_t>(reader.bytes[reader.at] | (reader.bytes[reader.at + 1] << 8));
    reader.at += 2;
    return value;
}

uint32_t Dword(Reader &reader) {
    const uint32_t low = Word(reader);
    return low | (static_cast<uint32_t>(Word(reader)) << 16);
}

int16_t Short(Reader &reader) {
    return static_cast<int16_t>(Word(reader));
}

void AlignToDword(Reader &reader) {
    reader.at = (reader.at + 3) & ~static_cast<size_t>(3);
}

// Resource texts are UTF-16; every documented text is plain ASCII.
std::string WideString(Reader &reader) {
    std::string text;
    for (uint16_t unit = Word(reader); unit != 0 && !reader.overrun; unit = Word(reader)) {
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
}

struct NameOrOrdinal {
    bool present;
    bool isOrdinal;
    uint16_t ordinal;
    std::string text;
};

constexpr uint16_t ORDINAL_MARK = 0xFFFF;

NameOrOrdinal ReadNameOrOrdinal(Reader &reader) {
    NameOrOrdinal name = {false, false, 0, ""};
    const size_t start = reader.at;
    const uint16_t first = Word(reader);
    if (first == 0) {
        return name;
    }
    name.present = true;
    if (first == ORDINAL_MARK) {
        name.isOrdinal = true;
        name.ordinal = Word(reader);
        return name;
    }
    reader.at = start;
    name.text = WideString(reader);
    return name;
}

// ---- The module -------------------------------------------------------------

std::string GameExe() {
    return EnvironmentValue("GLIDORA_EXE").value_or(GLIDORA_EXE);
}

int ExpectedGameBits() {
    const std::optional<std::string> chosen = EnvironmentValue("GLIDORA_EXE_BITS");
    return chosen ? std::atoi(chosen->c_str()) : static_cast<int>(8 * sizeof(void *));
}

class ResourceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        game = LoadLibraryExA(GameExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (game != nullptr) {
            FreeLibrary(game);
            game = nullptr;
        }
    }
    void SetUp() override {
        ASSERT_NE(game, nullptr) << "cannot open " << GameExe() << " (error " << GetLastError()
                                 << ")";
    }

    static Bytes Read(LPCSTR name, LPCSTR type) {
        const HRSRC found = FindResourceA(game, name, type);
        if (found == nullptr) {
            return {};
        }
        const DWORD size = SizeofResource(game, found);
        const HGLOBAL loaded = LoadResource(game, found);
        const uint8_t *data = static_cast<const uint8_t *>(LockResource(loaded));
        return data == nullptr ? Bytes{} : Bytes(data, data + size);
    }

    static HMODULE game;
};

HMODULE ResourceTest::game = nullptr;

// ---- Menu -------------------------------------------------------------------

struct MenuItem {
    uint16_t flags;
    uint16_t id;
    std::string text;
    std::vector<MenuItem> items;
};

// Items of one level of a classic menu template, up to the one marked last.
std::vector<MenuItem> ReadMenuItems(Reader &reader) {
    std::vector<MenuItem> items;
    for (;;) {
        MenuItem item = {Word(reader), 0, "", {}};
        if ((item.flags & MF_POPUP) == 0) {
            item.id = Word(reader);
        }
        item.text = WideString(reader);
        if ((item.flags & MF_POPUP) != 0) {
            item.items = ReadMenuItems(reader);
        }
        items.push_back(item);
        if ((item.flags & MF_END) != 0 || reader.overrun) {
            return items;
        }
    }
}

TEST_F(ResourceTest, MenuHasOneGamePopupWithTheFourCommandsInOrder) {
    const Bytes menu = Read("MYMENU", RT_MENU);
    ASSERT_FALSE(menu.empty()) << "no menu MYMENU";
    Reader reader = {menu, 0, false};
    ASSERT_EQ(Word(reader), 0) << "not a classic menu template";
    reader.at += Word(reader);
    const std::vector<MenuItem> bar = ReadMenuItems(reader);
    EXPECT_FALSE(reader.overrun);

    ASSERT_EQ(bar.size(), 1u);
    EXPECT_EQ(bar[0].text, expected::MENU_POPUP);
    EXPECT_EQ(bar[0].flags, MF_POPUP | MF_END);
    const auto &commands = expected::MENU_COMMANDS;
    const std::vector<MenuItem> &items = bar[0].items;
    ASSERT_EQ(items.size(), std::size(commands)) << "no more items, no separators";
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(commands[i].text);
        EXPECT_EQ(items[i].text, commands[i].text);
        EXPECT_EQ(items[i].id, commands[i].id);
        // Nothing grayed, checked or separated; only the last carries the end mark.
        EXPECT_EQ(items[i].flags, i + 1 == items.size() ? MF_END : 0);
    }
}

// ---- Dialogs ----------------------------------------------------------------

// The fields that a dialog and each of its controls start with: the styles,
// then the place in dialog units, a dialog's count of controls between them.
struct Frame {
    uint32_t style;
    uint32_t exStyle;
    int16_t x, y, cx, cy;
};

Frame ReadFrame(Reader &reader, uint16_t *count) {
    Frame frame = {Dword(reader), Dword(reader), 0, 0, 0, 0};
    if (count != nullptr) {
        *count = Word(reader);
    }
    frame.x = Short(reader);
    frame.y = Short(reader);
    frame.cx = Short(reader);
    frame.cy = Short(reader);
    return frame;
}

// The placing that expected.h gives a dialog or a control.
template <typename Wanted> void ExpectPlace(const Frame &frame, const Wanted &wanted) {
    EXPECT_EQ(frame.x, wanted.x);
    EXPECT_EQ(frame.y, wanted.y);
    EXPECT_EQ(frame.cx, wanted.cx);
    EXPECT_EQ(frame.cy, wanted.cy);
    EXPECT_EQ(frame.exStyle, 0u);
}

struct DialogControl {
    Frame frame;
    uint16_t id;
    NameOrOrdinal className;
    NameOrOrdinal title;
    uint16_t extraBytes;
};

struct DialogTemplate {
    bool classic;
    Frame frame;
    NameOrOrdinal menu;
    NameOrOrdinal className;
    std::string caption;
    uint16_t pointSize;
    std::string font;
    std::vector<DialogControl> controls;
    bool overrun;
};

constexpr uint16_t EXTENDED_SIGNATURE = 0xFFFF;

// A classic DLGTEMPLATE, the form the documented DIALOG statements give.
DialogTemplate ReadDialog(const Bytes &bytes) {
    DialogTemplate dialog = {};
    Reader reader = {bytes, 0, false};
    dialog.classic = !(Word(reader) == 1 && Word(reader) == EXTENDED_SIGNATURE);
    if (!dialog.classic) {
        return dialog;
    }
    reader.at = 0;
    uint16_t count = 0;
    dialog.frame = ReadFrame(reader, &count);
    dialog.menu = ReadNameOrOrdinal(reader);
    dialog.className = ReadNameOrOrdinal(reader);
    dialog.caption = WideString(reader);
    if ((dialog.frame.style & DS_SETFONT) != 0) {
        dialog.pointSize = Word(reader);
        dialog.font = WideString(reader);
    }
    for (uint16_t i = 0; i < count && !reader.overrun; ++i) {
        AlignToDword(reader);
        DialogControl control = {};
        control.frame = ReadFrame(reader, nullptr);
        control.id = Word(reader);
        control.className = ReadNameOrOrdinal(reader);
        control.title = ReadNameOrOrdinal(reader);
        control.extraBytes = Word(reader);
        reader.at += control.extraBytes;
        dialog.controls.push_back(control);
    }
    dialog.overrun = reader.overrun;
    return dialog;
}

constexpr uint16_t BUTTON_ATOM = 0x80;
constexpr uint16_t STATIC_ATOM = 0x82;
constexpr uint32_t DIALOG_STYLE = WS_POPUP | WS_CAPTION | DS_SETFONT;
constexpr uint32_t PUSH_BUTTON = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t TEXT = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr uint32_t RADIO = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;

uint16_t ClassAtom(expected::ControlKind kind) {
    return kind == expected::ControlKind::Text ? STATIC_ATOM : BUTTON_ATOM;
}

uint32_t Style(expected::ControlKind kind) {
    switch (kind) {
    case expected::ControlKind::PushButton:
        return PUSH_BUTTON;
    case expected::ControlKind::Text:
        return TEXT;
    case expected::ControlKind::Radio:
        return RADIO;
    }
    return 0;
}

void ExpectControl(const DialogControl &control, const expected::Control &wanted) {
    const uint16_t classAtom = ClassAtom(wanted.kind);
    EXPECT_TRUE(control.className.isOrdinal && control.className.ordinal == classAtom)
        << "class " << (control.className.isOrdinal ? "atom" : control.className.text.c_str())
        << " " << control.className.ordinal << " instead of atom " << classAtom;
    EXPECT_EQ(control.id, wanted.id);
    EXPECT_FALSE(control.title.isOrdinal);
    if (wanted.text != nullptr) {
        EXPECT_EQ(control.title.text, wanted.text);
    } else {
        EXPECT_NE(control.title.text.find('.'), std::string::npos)
            << "a web address, not \"" << control.title.text << "\"";
    }
    ExpectPlace(control.frame, wanted);
    EXPECT_EQ(control.frame.style, Style(wanted.kind)) << std::hex << control.frame.style;
    EXPECT_EQ(control.extraBytes, 0);
    if (classAtom == BUTTON_ATOM) {
        EXPECT_NE(control.frame.style & BS_TYPEMASK, static_cast<uint32_t>(BS_DEFPUSHBUTTON))
            << "no default button";
    }
}

void ExpectDialog(const Bytes &bytes, const expected::Dialog &wanted) {
    ASSERT_FALSE(bytes.empty()) << "no dialog " << wanted.id;
    const DialogTemplate dialog = ReadDialog(bytes);
    ASSERT_TRUE(dialog.classic) << "an extended template, not a classic DIALOG";
    EXPECT_FALSE(dialog.overrun);
    EXPECT_EQ(dialog.frame.style, DIALOG_STYLE) << std::hex << dialog.frame.style;
    EXPECT_EQ(dialog.frame.style & WS_SYSMENU, 0u) << "no system menu, so no close box";
    EXPECT_EQ(dialog.frame.style & DS_MODALFRAME, 0u);
    ExpectPlace(dialog.frame, wanted);
    EXPECT_FALSE(dialog.menu.present);
    EXPECT_FALSE(dialog.className.present) << "the standard dialog class";
    EXPECT_EQ(dialog.caption, wanted.caption);
    EXPECT_EQ(dialog.pointSize, expected::DIALOG_POINT_SIZE);
    EXPECT_EQ(dialog.font, expected::DIALOG_FONT);
    ASSERT_EQ(dialog.controls.size(), wanted.controls.size());
    for (size_t i = 0; i < wanted.controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i + 1));
        ExpectControl(dialog.controls[i], wanted.controls[i]);
    }
}

TEST_F(ResourceTest, SizeDialogTemplateIsAsDocumented) {
    ExpectDialog(Read(MAKEINTRESOURCEA(expected::SIZE_DIALOG_ID), RT_DIALOG),
                 expected::SIZE_DIALOG);
}

TEST_F(ResourceTest, AboutDialogTemplateIsAsDocumented) {
    ExpectDialog(Read(MAKEINTRESOURCEA(expected::ABOUT_DIALOG_ID), RT_DIALOG),
                 expected::ABOUT_DIALOG);
}

// ---- Pictures ---------------------------------------------------------------

BITMAPINFOHEADER ReadBitmapHeader(const Bytes &bytes) {
    BITMAPINFOHEADER header = {};
    if (bytes.size() >= sizeof header) {
        std::memcpy(&header, bytes.data(), sizeof header);
    }
    return header;
}

constexpr int PICTURE_ROW_BYTES = expected::BOARD_EDGE * 3; // 900: already a multiple of four

TEST_F(ResourceTest, EachBoardPictureIsA300By300TrueColourPictureOfItsSize) {
    for (int size = expected::SMALLEST_SIZE; size <= expected::LARGEST_SIZE; ++size) {
        const int id = PictureIdForSize(size);
        SCOPED_TRACE("picture " + std::to_string(id) + " for size " + std::to_string(size));
        const Bytes bytes = Read(MAKEINTRESOURCEA(id), RT_BITMAP);
        ASSERT_FALSE(bytes.empty());
        const BITMAPINFOHEADER header = ReadBitmapHeader(bytes);
        EXPECT_EQ(header.biSize, sizeof header);
        EXPECT_EQ(header.biWidth, expected::BOARD_EDGE);
        EXPECT_EQ(std::abs(header.biHeight), expected::BOARD_EDGE);
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        const size_t needed = header.biSize + header.biClrUsed * sizeof(RGBQUAD) +
                              static_cast<size_t>(PICTURE_ROW_BYTES) * expected::BOARD_EDGE;
        ASSERT_GE(bytes.size(), needed);
        ASSERT_FALSE(::testing::Test::HasFailure());
        std::string why;
        const Image picture = DecodeDib24(bytes, &why);
        EXPECT_EQ(why, "");
        EXPECT_EQ(PictureViolation(picture, size), "");
    }
}

// ---- Icon -------------------------------------------------------------------

using expected::ICON_COLOURS;
using expected::ICON_EDGE;
constexpr int ICON_XOR_ROW_BYTES = ICON_EDGE / 2; // 4 bits per pixel
constexpr int ICON_AND_ROW_BYTES = ICON_EDGE / 8; // 1 bit per pixel, already 4-byte aligned

TEST_F(ResourceTest, IconGroupHoldsOne32By32SixteenColourImage) {
    const Bytes group = Read("IDI_ICON1", RT_GROUP_ICON);
    ASSERT_FALSE(group.empty()) << "no icon group IDI_ICON1";
    Reader reader = {group, 0, false};
    EXPECT_EQ(Word(reader), 0); // reserved
    EXPECT_EQ(Word(reader), 1); // icons, not cursors
    ASSERT_EQ(Word(reader), 1) << "exactly one image";
    const uint8_t width = group[reader.at];
    const uint8_t height = group[reader.at + 1];
    const uint8_t colours = group[reader.at + 2];
    reader.at += 4;
    Word(reader); // planes
    const uint16_t bitCount = Word(reader);
    const uint32_t size = Dword(reader);
    const uint16_t imageId = Word(reader);
    ASSERT_FALSE(reader.overrun);
    EXPECT_EQ(width, ICON_EDGE);
    EXPECT_EQ(height, ICON_EDGE);
    EXPECT_EQ(colours, ICON_COLOURS);
    EXPECT_TRUE(bitCount == 0 || bitCount == 4) << bitCount;

    const Bytes image = Read(MAKEINTRESOURCEA(imageId), RT_ICON);
    ASSERT_EQ(image.size(), size);
    const BITMAPINFOHEADER header = ReadBitmapHeader(image);
    EXPECT_EQ(header.biWidth, ICON_EDGE);
    EXPECT_EQ(header.biHeight, 2 * ICON_EDGE) << "colour and mask halves";
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == ICON_COLOURS);
    const size_t expectedSize = sizeof header + ICON_COLOURS * sizeof(RGBQUAD) +
                                (ICON_XOR_ROW_BYTES + ICON_AND_ROW_BYTES) * ICON_EDGE;
    ASSERT_EQ(image.size(), expectedSize);
    ASSERT_FALSE(::testing::Test::HasFailure());

    bool opaque = false;
    const Image icon = DecodeIcon(image, opaque);
    EXPECT_TRUE(opaque) << "no transparent pixel";
    EXPECT_EQ(MiniatureBoardViolation(icon), "");
}

// ---- Version ----------------------------------------------------------------

// One node of the version resource: a key, a value and children, each
// starting on a DWORD boundary.
struct VersionNode {
    std::string key;
    uint16_t valueLength; // characters for text, bytes otherwise
    bool isText;
    size_t valueAt;
    std::vector<VersionNode> children;
};

constexpr uint16_t VERSION_TEXT_TYPE = 1;

VersionNode ReadVersionNode(Reader &reader) {
    const size_t start = reader.at;
    const uint16_t length = Word(reader);
    VersionNode node = {"", Word(reader), false, 0, {}};
    node.isText = Word(reader) == VERSION_TEXT_TYPE;
    node.key = WideString(reader);
    AlignToDword(reader);
    node.valueAt = reader.at;
    const size_t end = start + length;
    if (length == 0 || end > reader.bytes.size()) {
        reader.overrun = true;
        return node;
    }
    reader.at += node.isText ? node.valueLength * 2u : node.valueLength;
    AlignToDword(reader);
    while (reader.at < end && !reader.overrun) {
        node.children.push_back(ReadVersionNode(reader));
        AlignToDword(reader);
    }
    reader.at = end;
    return node;
}

const VersionNode *Child(const VersionNode &node, const std::string &key) {
    for (const VersionNode &child : node.children) {
        if (child.key == key) {
            return &child;
        }
    }
    return nullptr;
}

// The version CMake gives the project, as four 16-bit parts and as text.
struct ProjectVersion {
    uint32_t high; // major and minor
    uint32_t low;  // patch and build
    std::string text;
};

ProjectVersion VersionOfProject() {
    uint32_t parts[4] = {};
    std::istringstream given(GLIDORA_PROJECT_VERSION);
    std::string part;
    for (uint32_t &value : parts) {
        if (std::getline(given, part, '.')) {
            value = static_cast<uint32_t>(std::stoul(part));
        }
    }
    std::ostringstream text;
    text << parts[0] << '.' << parts[1] << '.' << parts[2] << '.' << parts[3];
    return {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3], text.str()};
}

class VersionTest : public ResourceTest {
  protected:
    void SetUp() override {
        ResourceTest::SetUp();
        bytes = Read(MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
        ASSERT_FALSE(bytes.empty()) << "no version resource";
        Reader reader = {bytes, 0, false};
        root = ReadVersionNode(reader);
        ASSERT_FALSE(reader.overrun);
        ASSERT_EQ(root.key, "VS_VERSION_INFO");
    }

    std::string Text(const VersionNode &table, const char *key) const {
        const VersionNode *value = Child(table, key);
        if (value == nullptr || !value->isText) {
            ADD_FAILURE() << "no text " << key;
            return "";
        }
        Reader reader = {bytes, value->valueAt, false};
        return WideString(reader);
    }

    Bytes bytes;
    VersionNode root;
};

TEST_F(VersionTest, FixedPartGivesTheProjectVersionOfAWindowsApplication) {
    VS_FIXEDFILEINFO fixed = {};
    ASSERT_EQ(root.valueLength, sizeof fixed);
    std::memcpy(&fixed, bytes.data() + root.valueAt, sizeof fixed);
    const ProjectVersion version = VersionOfProject();
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, version.high) << std::hex << fixed.dwFileVersionMS;
    EXPECT_EQ(fixed.dwFileVersionLS, version.low) << std::hex << fixed.dwFileVersionLS;
    EXPECT_EQ(fixed.dwProductVersionMS, version.high) << std::hex << fixed.dwProductVersionMS;
    EXPECT_EQ(fixed.dwProductVersionLS, version.low) << std::hex << fixed.dwProductVersionLS;
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
}

TEST_F(VersionTest, TextsNameTheProductAndTheProjectVersionInTheDeclaredLanguage) {
    const VersionNode *strings = Child(root, "StringFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(strings->children.size(), 1u) << "texts in one language";
    const VersionNode &table = strings->children[0];
    const ProjectVersion version = VersionOfProject();
    EXPECT_EQ(Text(table, "ProductName"), expected::PRODUCT_NAME);
    EXPECT_NE(Text(table, "FileDescription"), "");
    EXPECT_EQ(Text(table, "FileVersion"), version.text);
    EXPECT_EQ(Text(table, "ProductVersion"), version.text);

    // The table is found through the language and code page declared here.
    const VersionNode *languages = Child(root, "VarFileInfo");
    ASSERT_NE(languages, nullptr);
    const VersionNode *translation = Child(*languages, "Translation");
    ASSERT_NE(translation, nullptr);
    ASSERT_GE(translation->valueLength, 4);
    Reader reader = {bytes, translation->valueAt, false};
    const uint16_t language = Word(reader);
    const uint16_t codePage = Word(reader);
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", language, codePage);
    std::string tableKey = table.key;
    std::transform(tableKey.begin(), tableKey.end(), tableKey.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_EQ(tableKey, key);
}

TEST_F(VersionTest, CopyrightIsTheLineOfTheLicense) {
    std::ifstream license(GLIDORA_LICENSE);
    std::string copyright;
    for (std::string line; copyright.empty() && std::getline(license, line);) {
        if (line.rfind("Copyright ", 0) == 0) {
            copyright = line.substr(0, line.find_last_not_of('\r') + 1);
        }
    }
    ASSERT_NE(copyright, "") << "no copyright line in " << GLIDORA_LICENSE;
    const VersionNode *strings = Child(root, "StringFileInfo");
    ASSERT_TRUE(strings != nullptr && !strings->children.empty());
    EXPECT_EQ(Text(strings->children[0], "LegalCopyright"), copyright);
}

// ---- Manifest ---------------------------------------------------------------

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Comments may mention anything; only the elements count.
std::string WithoutComments(std::string xml) {
    for (size_t open = xml.find("<!--"); open != std::string::npos; open = xml.find("<!--")) {
        const size_t close = xml.find("-->", open);
        xml.erase(open, close == std::string::npos ? std::string::npos : close + 3 - open);
    }
    return xml;
}

// The opening tags, attributes included, of the elements named `name`
// whatever their namespace prefix.
std::vector<std::string> Elements(const std::string &xml, const std::string &name) {
    std::vector<std::string> tags;
    for (size_t open = xml.find('<'); open != std::string::npos; open = xml.find('<', open + 1)) {
        const size_t close = xml.find('>', open);
        const std::string tag = xml.substr(open + 1, close - open - 1);
        const std::string qualified = tag.substr(0, tag.find_first_of(" \t\r\n/"));
        const size_t colon = qualified.find(':');
        if ((colon == std::string::npos ? qualified : qualified.substr(colon + 1)) == name) {
            tags.push_back(tag);
        }
    }
    return tags;
}

// Attribute `name` of an opening tag, read by XML's rules: any whitespace
// before each name and around its `=`, the value in either kind of quote.
// Empty when the tag has no such attribute.
std::string Attribute(const std::string &tag, const std::string &name) {
    constexpr char SPACE[] = " \t\r\n";
    constexpr size_t NONE = std::string::npos;
    for (size_t at = tag.find_first_of(SPACE); (at = tag.find_first_not_of(SPACE, at)) != NONE;) {
        const size_t equals = tag.find('=', at);
        const size_t quote = equals == NONE ? NONE : tag.find_first_not_of(SPACE, equals + 1);
        const size_t close = quote == NONE ? NONE : tag.find(tag[quote], quote + 1);
        if (close == NONE || (tag[quote] != '"' && tag[quote] != '\'')) {
            return "";
        }
        if (tag.substr(at, tag.find_last_not_of(SPACE, equals - 1) + 1 - at) == name) {
            return tag.substr(quote + 1, close - quote - 1);
        }
        at = close + 1;
    }
    return "";
}

class ManifestTest : public ResourceTest {
  protected:
    void SetUp() override {
        ResourceTest::SetUp();
        const Bytes bytes = Read(CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
        ASSERT_FALSE(bytes.empty()) << "no manifest with id 1";
        xml = WithoutComments(std::string(bytes.begin(), bytes.end()));
        ASSERT_EQ(Elements(xml, "assembly").size(), 1u) << xml;
    }

    std::string xml;
};

TEST_F(ManifestTest, RunsAsTheInvokerWithoutElevation) {
    const std::vector<std::string> levels = Elements(xml, "requestedExecutionLevel");
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(Attribute(levels[0], "level"), "asInvoker");
    EXPECT_NE(Attribute(levels[0], "uiAccess"), "true");
}

TEST_F(ManifestTest, DeclaresWindows7Through10) {
    struct System {
        const char *name;
        const char *id;
    };
    const System systems[] = {
        {"Windows 7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"},
        {"Windows 8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"},
        {"Windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"},
        {"Windows 10", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"},
    };
    std::vector<std::string> declared;
    for (const std::string &tag : Elements(xml, "supportedOS")) {
        declared.push_back(Lowercase(Attribute(tag, "Id")));
    }
    for (const System &system : systems) {
        EXPECT_TRUE(std::find(declared.begin(), declared.end(), system.id) != declared.end())
            << system.name << " is not declared";
    }
}

TEST_F(ManifestTest, KeepsTheClassicLookOfTheDialogs) {
    EXPECT_FALSE(Lowercase(xml).find("microsoft.windows.common-controls") != std::string::npos)
        << "a dependency on Common Controls 6 restyles every dialog";
}

TEST_F(ManifestTest, IdentityCarriesTheProjectVersion) {
    const std::vector<std::string> identities = Elements(xml, "assemblyIdentity");
    ASSERT_FALSE(identities.empty());
    EXPECT_EQ(Attribute(identities[0], "version"), VersionOfProject().text);
}

// ---- The exe itself ---------------------------------------------------------

// A header copied out of the file; false where the file ends first.
template <typename T> bool ReadAt(const Bytes &file, size_t at, T &value) {
    if (at > file.size() || file.size() - at < sizeof value) {
        return false;
    }
    std::memcpy(&value, file.data() + at, sizeof value);
    return true;
}

struct Sections {
    const Bytes &file;
    std::vector<IMAGE_SECTION_HEADER> headers;
};

// What the image holds at a relative virtual address, from a section's bytes
// in the file; false elsewhere.
template <typename T> bool ReadAtRva(const Sections &image, uint64_t rva, T &value) {
    for (const IMAGE_SECTION_HEADER &section : image.headers) {
        if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
            return ReadAt(image.file, section.PointerToRawData + (rva - section.VirtualAddress),
                          value);
        }
    }
    return false;
}

std::string TextAtRva(const Sections &image, uint64_t rva) {
    std::string text;
    for (char c = 0; ReadAtRva(image, rva, c) && c != 0; ++rva) {
        text += c;
    }
    return text;
}

struct Import {
    std::string dll; // lower case
    std::string function;
};

struct ExeHeaders {
    bool valid = false;
    uint16_t machine = 0;
    uint16_t optionalMagic = 0;
    uint16_t subsystem = 0;
    uint16_t characteristics = 0;
    uint16_t dllCharacteristics = 0;
    uint32_t osVersion = 0; // major and minor, 0x00060000 for 6.0
    uint32_t subsystemVersion = 0;
    uint32_t timestamp = 0;
    std::vector<std::string> imports; // DLL names, lower case
    std::vector<Import> functions;
    std::set<uint64_t> relocated; // addresses the loader moves with the image
    int strayRelocations = 0;     // of another kind, or moving no address of the image
    uint64_t codeStart = 0;       // the section that holds the entry point
    uint64_t codeEnd = 0;
};

// The image after its NT headers at `pe`: PE32 or PE32+ as NtHeaders says.
template <typename NtHeaders> ExeHeaders ReadImage(const Bytes &file, size_t pe) {
    typedef decltype(NtHeaders{}.OptionalHeader.ImageBase) Address;
    constexpr Address BY_ORDINAL = Address{1} << (8 * sizeof(Address) - 1);
    constexpr int ADDRESS_RELOCATION =
        sizeof(Address) == 8 ? IMAGE_REL_BASED_DIR64 : IMAGE_REL_BASED_HIGHLOW;
    ExeHeaders exe;
    NtHeaders nt;
    if (!ReadAt(file, pe, nt) || nt.Signature != IMAGE_NT_SIGNATURE) {
        return exe;
    }
    const auto &optional = nt.OptionalHeader;
    exe.machine = nt.FileHeader.Machine;
    exe.optionalMagic = optional.Magic;
    exe.subsystem = optional.Subsystem;
    exe.characteristics = nt.FileHeader.Characteristics;
    exe.dllCharacteristics = optional.DllCharacteristics;
    exe.osVersion =
        uint32_t{optional.MajorOperatingSystemVersion} << 16 | optional.MinorOperatingSystemVersion;
    exe.subsystemVersion =
        uint32_t{optional.MajorSubsystemVersion} << 16 | optional.MinorSubsystemVersion;
    exe.timestamp = nt.FileHeader.TimeDateStamp;
    Sections image = {file, std::vector<IMAGE_SECTION_HEADER>(nt.FileHeader.NumberOfSections)};
    size_t at = pe + offsetof(NtHeaders, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    bool read = true;
    for (IMAGE_SECTION_HEADER &section : image.headers) {
        read = read && ReadAt(file, at, section);
        at += sizeof section;
        if (optional.AddressOfEntryPoint - section.VirtualAddress < section.Misc.VirtualSize) {
            exe.codeStart = section.VirtualAddress;
            exe.codeEnd = section.VirtualAddress + section.Misc.VirtualSize;
        }
    }

    IMAGE_IMPORT_DESCRIPTOR descriptor;
    for (uint64_t rva = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
         (read = read && ReadAtRva(image, rva, descriptor)) && descriptor.Name != 0;
         rva += sizeof descriptor) {
        const std::string dll = Lowercase(TextAtRva(image, descriptor.Name));
        exe.imports.push_back(dll);
        Address thunk;
        for (uint64_t entry = descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk
                                                                 : descriptor.FirstThunk;
             (read = read && ReadAtRva(image, entry, thunk)) && thunk != 0; entry += sizeof thunk) {
            exe.functions.push_back({dll, (thunk & BY_ORDINAL) != 0
                                              ? std::string("(by ordinal)")
                                              : TextAtRva(image, thunk + sizeof(WORD))});
        }
    }

    const IMAGE_DATA_DIRECTORY &relocations =
        optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    IMAGE_BASE_RELOCATION block;
    for (uint64_t rva = relocations.VirtualAddress;
         read && rva < uint64_t{relocations.VirtualAddress} + relocations.Size;
         rva += block.SizeOfBlock) {
        read = ReadAtRva(image, rva, block) && block.SizeOfBlock >= sizeof block;
        for (uint64_t entry = rva + sizeof block; read && entry < rva + block.SizeOfBlock;
             entry += sizeof(WORD)) {
            WORD relocation = 0;
            read = ReadAtRva(image, entry, relocation);
            if (relocation >> 12 == IMAGE_REL_BASED_ABSOLUTE) {
                continue; // pads a block to a dword
            }
            const uint64_t target = block.VirtualAddress + (relocation & 0xFFFu);
            Address value = 0;
            const bool movesAnAddress = relocation >> 12 == ADDRESS_RELOCATION &&
                                        ReadAtRva(image, target, value) &&
                                        value - optional.ImageBase < optional.SizeOfImage;
            exe.relocated.insert(target);
            exe.strayRelocations += movesAnAddress ? 0 : 1;
        }
    }
    exe.valid = read;
    return exe;
}

ExeHeaders ReadGameExe() {
    std::ifstream stream(GameExe(), std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 headers;
    if (!ReadAt(file, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !ReadAt(file, static_cast<size_t>(dos.e_lfanew), headers)) {
        return {};
    }
    return headers.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
               ? ReadImage<IMAGE_NT_HEADERS64>(file, dos.e_lfanew)
               : ReadImage<IMAGE_NT_HEADERS32>(file, dos.e_lfanew);
}

TEST(ExeTest, IsAStaticGuiProgramOfTheExpectedWordSize) {
    const ExeHeaders exe = ReadGameExe();
    ASSERT_TRUE(exe.valid) << GameExe() << " is not a readable Windows program";

    const bool wide = ExpectedGameBits() == 64;
    EXPECT_EQ(exe.machine, wide ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386)
        << std::hex << exe.machine;
    EXPECT_EQ(exe.optionalMagic,
              wide ? IMAGE_NT_OPTIONAL_HDR64_MAGIC : IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(exe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    // Statically linked: nothing but the system's own DLLs. MSYS2's UCRT64 and
    // CLANG64 builds call the Universal C Runtime, part of Windows since 10;
    // a compiler's runtime DLL (libstdc++, winpthreads, vcruntime) is a fault.
    const std::vector<std::string> system = {"gdi32.dll", "kernel32.dll", "msvcrt.dll",
                                             "user32.dll", "ucrtbase.dll"};
    for (const std::string &name : exe.imports) {
        const bool universalCrt = name.rfind("api-ms-win-crt-", 0) == 0;
        EXPECT_TRUE(universalCrt || std::find(system.begin(), system.end(), name) != system.end())
            << name;
    }
    for (const char *needed : {"gdi32.dll", "kernel32.dll", "user32.dll"}) {
        EXPECT_NE(std::find(exe.imports.begin(), exe.imports.end(), needed), exe.imports.end())
            << needed;
    }
}

// What the game may import: its own calls into USER32 and GDI32, and what the
// start-up code and libraries of MinGW-w64 call in KERNEL32 and msvcrt, for
// 32- and 64-bit, GCC and clang, Debian 12 and 13. A new import is a change to
// this list. The clock is _time64 alone: msvcrt's `time` and `_time32` count
// in 32 bits and fail or wrap in 2038.
const std::map<std::string, std::set<std::string>> ALLOWED_IMPORTS = {
    {"user32.dll", {"AdjustWindowRectEx", "BeginPaint",      "CheckRadioButton", "CreateWindowExA",
                    "DefWindowProcA",     "DestroyWindow",   "DialogBoxParamA",  "DispatchMessageA",
                    "EndDialog",          "EndPaint",        "GetMessageA",      "InvalidateRect",
                    "LoadBitmapA",        "LoadCursorA",     "LoadIconA",        "MessageBoxA",
                    "PostMessageA",       "PostQuitMessage", "RegisterClassExA", "ShowWindow",
                    "TranslateMessage",   "UpdateWindow"}},
    {"gdi32.dll", {"BitBlt", "CreateCompatibleDC", "DeleteDC", "DeleteObject", "SelectObject"}},
    {"kernel32.dll",
     {"DeleteCriticalSection", "EnterCriticalSection", "FreeLibrary", "GetLastError",
      "GetModuleHandleA", "GetProcAddress", "GetStartupInfoA", "InitializeCriticalSection",
      "LeaveCriticalSection", "LoadLibraryA", "SetUnhandledExceptionFilter", "Sleep", "TlsGetValue",
      "VirtualProtect", "VirtualQuery", "__C_specific_handler"}},
    {"msvcrt.dll", {"__getmainargs", "__initenv",  "__iob_func",     "__p__acmdln",
                    "__p__commode",  "__p__fmode", "__set_app_type", "__setusermatherr",
                    "_acmdln",       "_amsg_exit", "_cexit",         "_commode",
                    "_fmode",        "_initterm",  "_iob",           "_ismbblead",
                    "_onexit",       "_time64",    "abort",          "calloc",
                    "exit",          "fprintf",    "free",           "fwrite",
                    "malloc",        "memcpy",     "signal",         "strlen",
                    "strncmp",       "vfprintf"}},
};

TEST(ExeTest, ImportsOnlyTheFunctionsOfTheAllowList) {
    const ExeHeaders exe = ReadGameExe();
    ASSERT_TRUE(exe.valid) << GameExe() << " is not a readable Windows program";
    ASSERT_FALSE(exe.functions.empty());
    // Microsoft's static runtime and the UCRT call KERNEL32 for themselves.
    const bool mingwRuntime =
        std::find(exe.imports.begin(), exe.imports.end(), "msvcrt.dll") != exe.imports.end();
    for (const Import &import : exe.functions) {
        const auto allowed = ALLOWED_IMPORTS.find(import.dll);
        if (allowed == ALLOWED_IMPORTS.end() || (import.dll == "kernel32.dll" && !mingwRuntime)) {
            continue;
        }
        EXPECT_EQ(allowed->second.count(import.function), 1u)
            << import.dll << "!" << import.function << " is not on the list";
    }
}

TEST(ExeTest, AsksForDepAndAslrAndCarriesTheRelocationsAslrNeeds) {
    constexpr uint64_t PAGE_BYTES = 4096;
    const ExeHeaders exe = ReadGameExe();
    ASSERT_TRUE(exe.valid) << GameExe() << " is not a readable Windows program";
    EXPECT_NE(exe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, 0) << "no DEP";
    EXPECT_NE(exe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, 0) << "no ASLR";
    EXPECT_EQ(exe.characteristics & IMAGE_FILE_RELOCS_STRIPPED, 0) << "relocations stripped";
    ASSERT_FALSE(exe.relocated.empty()) << "the loader could not move the image";
    EXPECT_EQ(exe.strayRelocations, 0) << "relocations that move no address of the image";
    // 32-bit code reaches globals, jump tables and imports by absolute address:
    // a page of it without relocations would go on using the old base.
    if (exe.optionalMagic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        ASSERT_LT(exe.codeStart, exe.codeEnd) << "no section holds the entry point";
        for (uint64_t page = exe.codeStart; page + PAGE_BYTES <= exe.codeEnd; page += PAGE_BYTES) {
            EXPECT_NE(exe.relocated.lower_bound(page), exe.relocated.lower_bound(page + PAGE_BYTES))
                << "no relocation in the code page at " << std::hex << page;
        }
    }
}

// Windows treats a program marked older than Vista as a legacy one, and
// shows it another frame. GLIDORA_EXE_TIME is the commit's time the build
// dated the game with, where it dates it.
TEST(ExeTest, IsMarkedForVistaOrLaterTerminalServerAwareAndDatedWithItsCommit) {
    constexpr uint32_t VISTA = 0x00060000;
    const ExeHeaders exe = ReadGameExe();
    ASSERT_TRUE(exe.valid) << GameExe() << " is not a readable Windows program";
    EXPECT_GE(exe.osVersion, VISTA) << std::hex << exe.osVersion;
    EXPECT_GE(exe.subsystemVersion, VISTA) << std::hex << exe.subsystemVersion;
    EXPECT_NE(exe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0);
    const std::optional<std::string> time = EnvironmentValue("GLIDORA_EXE_TIME");
    if (time) {
        EXPECT_EQ(std::to_string(exe.timestamp), *time);
    }
}

} // namespace
