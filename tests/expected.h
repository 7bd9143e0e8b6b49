// What the tests expect the game to show and say, written out here rather
// than taken from the game's own constants and resource script, so that a
// slip in the game is a failure instead of a new expectation.
#pragma once

#include <cstdint>

namespace expected {

constexpr char WINDOW_TITLE[] = "Glidora";
constexpr char WINDOW_CLASS[] = "MyWindowClass";

constexpr char WIN_CAPTION[] = "Good job!";
constexpr char WIN_TEXT[] = "Congratulations, you won!";
constexpr char PICTURE_ERROR_CAPTION[] = "Error";
constexpr char PICTURE_ERROR_TEXT[] = "Could not load board Bitmap";
constexpr char ABOUT_CAPTION[] = "About Glidora";
constexpr char SIZE_CAPTION[] = "Game Size";

// The main window's outer size on the classic frame.
constexpr int WINDOW_WIDTH = 312;
constexpr int WINDOW_HEIGHT = 350;

constexpr int BOARD_EDGE = 300; // pixels, on screen and in every picture
constexpr int SMALLEST_SIZE = 3;
constexpr int LARGEST_SIZE = 6;
constexpr int START_SIZE = 4;

constexpr uint32_t PICTURE_BACKGROUND = 0x010957; // RGB (1, 9, 87)
constexpr uint32_t PICTURE_NUMERAL = 0xFFFFFF;

// The committed board pictures, by board size from SMALLEST_SIZE.
constexpr const char *PICTURE_FILES[] = {"board3.bmp", "board4.bmp", "board5.bmp", "board6.bmp"};

} // namespace expected
