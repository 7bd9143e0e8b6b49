// What the test programs that drive Glidora's real main window share: the
// window around each test, its modal boxes driven from inside their own
// loops, message pumping, paint counts and what the window shows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/board.h"
#include "board_invariants.h"
#include "ui_pictures.h"

// ---- Board model and start-up values ----------------------------------------

// What the engine makes of the current board: runs `engineOperation` on it,
// captures the outcome and puts the board back as it was.
BoardState PredictBoard(const std::function<void()> &engineOperation);

// The solved layout for `size`, built from the documented formulas rather
// than by ResetBoard, so that a wrong layout cannot predict itself.
BoardState SolvedBoard(int size);

// The scramble a New command must produce from the current board with `seed`.
BoardState ReplayScramble(uint32_t seed);

// The direction an arrow key moves by, or -1 for any other key.
int DirectionForKey(WPARAM key);

// The game's globals of the same names.
struct SizeSelection {
    int32_t boardSize, sizeButtonId, pendingSize, pendingButtonId;
    bool operator==(const SizeSelection &) const = default;
};
void PrintTo(const SizeSelection &selection, std::ostream *out);

SizeSelection CurrentSelection();
// The values the program started with, taken before any test changed them.
SizeSelection StartupSelection();
void RestoreStartupSelection();

// A shuffle seed that every test can replay, until the fixture's TearDown.
constexpr std::time_t FIXED_CLOCK_SECONDS = 1000000007;
void UseFixedClock();

// ---- Modal boxes and dialogs ------------------------------------------------

// What a box looked like when it first showed.
struct BoxRecord {
    std::string caption;
    std::string text;             // the message of a message box
    std::vector<int> pushButtons; // ids of the visible push buttons, ascending
    bool hasIcon;
    HWND owner;
    LONG exStyle;
    // Whether the whole client area of the owner was waiting for a repaint
    // when the box was created: a box shows before that repaint can happen.
    bool ownerWhollyInvalid;
};

// One action on an open box, run inside the box's own modal loop once it has
// nothing else to do: whatever the step before caused has been handled.
typedef std::function<void(HWND box)> BoxStep;

// Drives boxes from then on, and runs the tick action (e.g. to drive a loop
// the test does not own) whenever the thread's loop goes idle. Boxes that no
// test expects fail the test and are dismissed; so is a box idle two seconds.
void StartWatchingBoxes();
void StopWatchingBoxes();
void OnEveryTick(std::function<void()> action);

// The next box that opens runs these steps, one per tick.
void ExpectBox(std::vector<BoxStep> steps);
// Steps of expected boxes that never ran (box missing or closed too early).
size_t StepsNotRun();
const std::vector<BoxRecord> &SeenBoxes();
void ForgetSeenBoxes();
int BoxesCaptioned(const char *caption);

BoxStep ClickButton(int id);
BoxStep PostKeyToFocus(WPARAM virtualKey);
// Moves the box off the main window, so that closing it exposes nothing and
// any repaint afterwards is the game's own request.
BoxStep MoveBoxAway();
BoxStep ExpectCaption(const char *caption);
// Checks that exactly `checkedId` of the four size buttons is checked.
BoxStep ExpectSizeChecked(int checkedId);

// A message box with exactly one OK button, checked and answered with OK.
void ExpectMessageBox(const char *caption, const char *text, bool withIcon);

// ---- Messages ---------------------------------------------------------------

struct QuitSeen {
    bool seen;
    WPARAM code;
};

// Dispatches until the queue is empty (WM_PAINT included), or for a while;
// removes a quit message rather than letting it end a later modal loop.
QuitSeen DrainMessages();
QuitSeen PumpFor(DWORD milliseconds);

// WM_PAINT and WM_ERASEBKGND of the test's main window.
struct MessageCounts {
    int paints, erases;
};
MessageCounts Counts();
void ResetCounts();

// ---- The main window --------------------------------------------------------

// Moves the window to the screen corner and makes its client area at least
// the given size, so that nothing hides any of the board.
void PlaceWindow(HWND window, bool topmost, int minClientWidth, int minClientHeight);
// Paints what is pending, then waits out late system repaints.
void SettleWindow(HWND window);
bool UpdateRegionIsWholeClient(HWND window);
bool HasUpdateRegion(HWND window);

// The top-left width x height pixels of the client area as shown.
Image CaptureClient(HWND window, int width, int height);
uint32_t PixelFromColorRef(COLORREF color);
// Bitmap resource `id` of `module`, decoded; empty when it is missing or not
// a 24-bit picture.
Image LoadPicture(HINSTANCE module, int id);

LRESULT SendKey(HWND window, WPARAM virtualKey);
LRESULT SendPress(HWND window, int x, int y);
LRESULT SendCommand(HWND window, WPARAM command);

// Opens the real main window around each test, with appInstance set to this
// program, which carries the game's resources; counts its paints, restores
// the start-up size selection and fails on boxes nobody expected.
class GameWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Runs after the box watcher starts and before the window is created.
    virtual void BeforeWindowCreated() {}

    bool topmost = false;
    HWND window = nullptr;
};
