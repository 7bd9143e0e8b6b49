// Drives the real glidora.exe under Wine in a private Xvfb display: starts and
// stops the processes, sends X input through xdotool, reads the screen back
// with ImageMagick's import, and turns the native engine's board into the
// picture the game should show. Everything a test starts is recorded in its
// GameRun, so StopEverything can end it, also after a failed assertion.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// The display each test gets; large enough for a maximised window to leave
// plenty of client area beyond the 300 x 300 board.
constexpr int SCREEN_WIDTH = 1024;
constexpr int SCREEN_HEIGHT = 768;

struct Point {
    int x = 0;
    int y = 0;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Top-down rows of 8-bit R, G, B.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

struct CommandResult {
    bool finished = false; // false when it was killed for running too long
    int exitCode = -1;     // -1 unless it exited normally
    std::string output;    // standard output
    std::string errors;    // standard error
};

struct GameRun {
    pid_t xvfbPid = -1;
    std::string display; // ":N"
    pid_t gamePid = -1;  // the wine process that runs glidora.exe
    bool gameEnded = false;
    int gameWaitStatus = 0; // as waitpid reports it, once gameEnded
    std::string mainWindow; // X window id of the "Glidora" window
    Point boardOrigin;      // screen position of client pixel (0, 0) as drawn
    Point inputOrigin;      // and where Windows maps mouse input for it
};

// Runs a program (searched on PATH) with extra "NAME=value" environment
// entries; kills its whole process group when it outlives timeoutMs.
CommandResult RunCommand(const std::vector<std::string> &argv, int timeoutMs,
                         const std::vector<std::string> &environment = {});

void SleepMs(int milliseconds);

// --- Processes -------------------------------------------------------------

// Starts Xvfb, Wine and the game, and finds the window and the board on it.
// The engine is reset to the start-up board, which the screen must show.
testing::AssertionResult LaunchGame(GameRun &run);

// Ends whatever of run is still alive: the game, this prefix's wineserver and
// every Wine process under it, and Xvfb.
void StopEverything(GameRun &run);

bool GameAlive(GameRun &run);

// Starts the game before each test and ends everything it started after.
class GameRunTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(LaunchGame(run));
    }
    void TearDown() override {
        StopEverything(run);
    }
    GameRun run;
};

// Waits for the game process to end; the result says how it ended.
testing::AssertionResult WaitForGameExit(GameRun &run, int timeoutMs, int expectedExitCode);

// Runs the window text probe for a top-level window with that exact caption.
// Lines are "window\t<caption>\t<owner caption>" then "child\t<class>\t<text>".
testing::AssertionResult ReadWindowTexts(const std::string &caption,
                                         std::vector<std::string> &lines);

// --- X input and windows ---------------------------------------------------

testing::AssertionResult Xdotool(const std::vector<std::string> &arguments);
std::vector<std::string> FindWindows(const std::string &captionPattern);
testing::AssertionResult WaitForWindow(const std::string &captionPattern, int timeoutMs,
                                       std::string &window);
testing::AssertionResult WaitForNoWindow(const std::string &captionPattern, int timeoutMs);
testing::AssertionResult WindowGeometry(const std::string &window, Rect &geometry);
testing::AssertionResult FocusWindow(const std::string &window);

// Focuses the window, then presses the keys in order (xdotool key names).
testing::AssertionResult PressKeys(const std::string &window, const std::vector<std::string> &keys,
                                   int delayMs = 40);

// A left click at a client position of the main window.
testing::AssertionResult ClickClient(const GameRun &run, int clientX, int clientY);

// Alt+G then the item's mnemonic letter, with the main window focused.
testing::AssertionResult ChooseMenuItem(const GameRun &run, const std::string &mnemonic);

// --- Screen ----------------------------------------------------------------

testing::AssertionResult CaptureScreen(Image &screen);
testing::AssertionResult CaptureRegion(const Rect &region, Image &image);
Image Crop(const Image &image, const Rect &region);
bool SameImage(const Image &a, const Image &b);
// Finds needle in haystack with its top-left corner inside `corners`.
bool FindImage(const Image &haystack, const Image &needle, const Rect &corners, Point &found);
void WritePpm(const std::string &path, const Image &image);

// --- Pictures and the engine ----------------------------------------------

// The committed picture res/board<size>.bmp.
const Image &BoardPicture(int size);
// The square of the picture at cell (col, row) of the solved board.
Image PictureSquare(int size, int col, int row);
// What the board shows for the engine's current boardSize and tiles.
Image RenderEngineBoard();
// Lays the engine out solved at `size`, as the game does on start and on OK.
void ResetEngine(int size);

// --- The board on screen ---------------------------------------------------

// Searches the main window's area for an exact copy of `expected` and stores
// its position as the board origin.
// Finds the expected board in the main window, and where the game takes
// presses for its client area: the two differ where Wine draws a window
// away from where it places it (Wine 10 does so for a maximised window
// without a window manager).
testing::AssertionResult LocateBoard(GameRun &run, const Image &expected, int timeoutMs);

// Polls the board until it equals `expected`; on a timeout, saves the last
// screenshot and the expectation beside the build and names differing cells.
testing::AssertionResult WaitForBoard(const GameRun &run, const Image &expected, int timeoutMs,
                                      const std::string &label);

// The board equals `expected` now and still after `holdMs`.
testing::AssertionResult BoardHolds(const GameRun &run, const Image &expected, int holdMs,
                                    const std::string &label);

// --- Replaying input on the engine ----------------------------------------

// The xdotool key that makes the game call MoveTile with this direction.
const char *KeyName(int direction);
// Does to the engine what the game does for the arrow key or for a left press
// at a client position; true when the game must then show the win box.
bool ReplayKey(int direction);
bool ReplayClick(int clientX, int clientY);

// --- The win box -----------------------------------------------------------

// Waits for the one "Good job!" window and checks what it says: owned by the
// game's window, the congratulation text, and an OK button only.
testing::AssertionResult CheckWinBox(std::string &box);
// Presses `key` in the box and waits until it has gone.
testing::AssertionResult DismissWinBox(const std::string &box, const std::string &key);
