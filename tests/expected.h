// What the tests expect the game to show and say, written out here rather
// than taken from the game's own constants and resource script, so that a
// slip in the game is a failure instead of a new expectation.
#pragma once

#include <cstdint>
#include <span>

namespace expected {

constexpr char WINDOW_TITLE[] = "Glidora";
constexpr char PRODUCT_NAME[] = "Glidora"; // in the version resource
constexpr char WINDOW_CLASS[] = "MyWindowClass";

constexpr char WIN_CAPTION[] = "Good job!";
constexpr char WIN_TEXT[] = "Congratulations, you won!";
constexpr char PICTURE_ERROR_CAPTION[] = "Error";
constexpr char PICTURE_ERROR_TEXT[] = "Could not load board Bitmap";
constexpr char REGISTRATION_ERROR_CAPTION[] = "Error!";
constexpr char REGISTRATION_ERROR_TEXT[] = "Window Registration Failed!";
constexpr char ABOUT_CAPTION[] = "About Glidora";
constexpr char ABOUT_AUTHOR[] = "Made by Tovarin";
constexpr char ABOUT_DATE[] = "February 2001";
constexpr char SIZE_CAPTION[] = "Game Size";

// The main window's outer size on the classic frame.
constexpr int WINDOW_WIDTH = 312;
constexpr int WINDOW_HEIGHT = 350;

constexpr int BOARD_EDGE = 300; // pixels, on screen and in every picture
constexpr int SMALLEST_SIZE = 3;
constexpr int LARGEST_SIZE = 6;
constexpr int START_SIZE = 4;
constexpr int SHUFFLE_MOVES = 1000; // random moves of one New

constexpr uint32_t PICTURE_BACKGROUND = 0x010957; // RGB (1, 9, 87)
constexpr uint32_t PICTURE_NUMERAL = 0xFFFFFF;
// How tall each numeral is, in pixels, by board size from SMALLEST_SIZE: about
// half its square.
constexpr int NUMERAL_HEIGHTS[] = {50, 38, 29, 26};

// The board pictures, by board size from SMALLEST_SIZE: committed files and resource ids.
constexpr const char *PICTURE_FILES[] = {"board3.bmp", "board4.bmp", "board5.bmp", "board6.bmp"};
constexpr int PICTURE_IDS[] = {108, 107, 115, 116};

// The icon: a miniature 3 x 3 board, grey lines between dark red cells with
// white digits, the bottom-right cell empty.
constexpr int ICON_EDGE = 32;
constexpr int ICON_COLOURS = 16;
constexpr uint32_t ICON_BOARD = 0x800000; // RGB (128, 0, 0)
constexpr uint32_t ICON_LINE = 0xC0C0C0;  // RGB (192, 192, 192)
constexpr uint32_t ICON_DIGIT = 0xFFFFFF;
constexpr int ICON_LINES[] = {10, 21}; // the columns, and the rows, of the grey lines

// Resource and control ids. OK and Cancel are the system's IDOK and IDCANCEL.
constexpr int SIZE_DIALOG_ID = 102;
constexpr int ABOUT_DIALOG_ID = 103;
constexpr int SIZE_PROMPT_ID = 1000;
constexpr int SIZE_BUTTON_IDS[] = {1002, 1003, 1004, 1005}; // by board size from SMALLEST_SIZE
constexpr int START_SIZE_BUTTON_ID = 1003;
constexpr int OK_ID = 1;
constexpr int CANCEL_ID = 2;
constexpr int NO_ID = 0xFFFF; // a static text without an id

// The menu: one popup, its commands in order.
struct MenuCommand {
    const char *text;
    int id;
};
constexpr char MENU_POPUP[] = "&Game";
constexpr MenuCommand MENU_COMMANDS[] = {
    {"&New", 40001}, {"&Size...", 40002}, {"&About", 40005}, {"E&xit", 40003}};

// The dialog templates, in dialog units, controls in template order.
enum class ControlKind { PushButton, Text, Radio };
struct Control {
    ControlKind kind;
    int id;
    const char *text; // null: any web address
    int x, y, cx, cy;
};
constexpr char DIALOG_FONT[] = "MS Sans Serif";
constexpr char OK_TEXT[] = "&OK";
constexpr int DIALOG_POINT_SIZE = 8;

struct Dialog {
    int id;
    const char *caption;
    int x, y, cx, cy;
    std::span<const Control> controls;
};

constexpr Control SIZE_DIALOG_CONTROLS[] = {
    {ControlKind::PushButton, OK_ID, OK_TEXT, 15, 102, 50, 14},
    {ControlKind::Text, SIZE_PROMPT_ID, "How big should the board be?", 27, 7, 96, 8},
    {ControlKind::Radio, SIZE_BUTTON_IDS[0], "&3x3 (I can handle that)", 7, 24, 87, 10},
    {ControlKind::Radio, SIZE_BUTTON_IDS[1], "&4x4 (OK, I'll open my eyes...)", 7, 40, 105, 10},
    {ControlKind::Radio, SIZE_BUTTON_IDS[2], "&5x5 (Finally, a challenge)", 7, 56, 93, 10},
    {ControlKind::Radio, SIZE_BUTTON_IDS[3], "&6x6 (Hooah!)", 7, 72, 57, 10},
    {ControlKind::PushButton, CANCEL_ID, "&Cancel", 81, 102, 50, 14},
};
constexpr Dialog SIZE_DIALOG = {SIZE_DIALOG_ID,      SIZE_CAPTION, 15, 5, 147, 123,
                                SIZE_DIALOG_CONTROLS};

constexpr Control ABOUT_DIALOG_CONTROLS[] = {
    {ControlKind::Text, NO_ID, ABOUT_AUTHOR, 33, 7, 72, 8},
    {ControlKind::PushButton, OK_ID, OK_TEXT, 44, 53, 50, 14},
    {ControlKind::Text, NO_ID, ABOUT_DATE, 45, 21, 46, 8},
    {ControlKind::Text, NO_ID, nullptr, 22, 36, 94, 8},
};
constexpr Dialog ABOUT_DIALOG = {ABOUT_DIALOG_ID,      ABOUT_CAPTION, 0, 0, 138, 74,
                                 ABOUT_DIALOG_CONTROLS};

} // namespace expected
