// The real main window under sustained abuse: a hundred thousand random
// messages and every command id, with the board checked after each; tens of
// thousands of paints and thousands of dialog openings, with the process's GDI
// and USER objects counted.
#include "ui_harness.h"

#include <cstdio>
#include <iterator>
#include <random>
#include <sstream>

#include "board_invariants.h"
#include "expected.h"
#include "res/resource.h"
#include "ui/ui.h"

namespace {

constexpr uint32_t ABUSE_SEED = 20010201;
constexpr int ABUSE_PHASES = 5; // one per size, the start size first and last
constexpr int MESSAGES_PER_PHASE = 20000;
constexpr int PHASE_SIZE_BUTTONS[ABUSE_PHASES - 1] = {IDC_SIZE3, IDC_SIZE5, IDC_SIZE6, IDC_SIZE4};
constexpr int DRAIN_EVERY = 64;
constexpr int NEW_ONE_COMMAND_IN = 64;

// Beyond the 65536 slots of Wine's GDI handle table: a handle leaked per
// paint runs it dry, and the paints that follow draw nothing.
constexpr int PAINTS = 70000;
constexpr int WARM_UP_PAINTS = 100;
constexpr int PAINTS_PER_COUNT = 10000;
constexpr int DIALOG_OPENINGS = 1000;
constexpr int DRAIN_EVERY_OPENINGS = 10;

int Draw(std::mt19937 &random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

int SizeOfButton(int id) {
    return MIN_BOARD + (id - IDC_SIZE3);
}

bool IsSolvedBoard(const BoardState &state) {
    return state == SolvedBoard(state.boardSize);
}

// ---- Dialogs answered at once -----------------------------------------------

// Thousands of dialog openings cannot afford a tick per click: each dialog's
// checks and clicks run together, in one step, once it has shown.
int answered = 0;

void Answer(HWND window, WPARAM command, std::vector<BoxStep> steps) {
    ExpectBox({[steps](HWND dialog) {
        ++answered;
        for (const BoxStep &step : steps) {
            step(dialog);
        }
    }});
    SendCommand(window, command);
}

void RunSizeDialog(HWND window, int choice, int closer) {
    Answer(window, IDM_SIZE,
           {ExpectCaption(expected::SIZE_CAPTION), ClickButton(choice), ClickButton(closer)});
}

void RunAboutDialog(HWND window) {
    Answer(window, IDM_ABOUT, {ExpectCaption(expected::ABOUT_CAPTION), ClickButton(IDOK)});
}

// ---- Counting the process's GUI objects -------------------------------------

struct GuiObjects {
    long gdi;
    long user;
};

constexpr UINT_PTR GDI_HANDLE_SLOTS = 0x10000;

// Wine's GetGuiResources is a stub that answers 0. Wine accepts a handle's
// slot number alone as a GDI handle, so there the live slots are counted.
long GdiObjects() {
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0) {
        return static_cast<long>(counted);
    }
    long live = 0;
    for (UINT_PTR slot = 0; slot < GDI_HANDLE_SLOTS; ++slot) {
        live += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0 ? 1 : 0;
    }
    return live;
}

BOOL CALLBACK CountWindow(HWND, LPARAM total) {
    ++*reinterpret_cast<long *>(total);
    return TRUE;
}

BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM total) {
    CountWindow(window, total);
    EnumChildWindows(window, CountWindow, total);
    return TRUE;
}

// Where USER objects are not counted (Wine), the windows of this thread are:
// a dialog or box left behind would show there.
long UserObjects() {
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (counted != 0) {
        return static_cast<long>(counted);
    }
    long windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren,
                      reinterpret_cast<LPARAM>(&windows));
    return windows;
}

GuiObjects CountGuiObjects() {
    return GuiObjects{GdiObjects(), UserObjects()};
}

std::string DescribeObjects(const GuiObjects &objects) {
    std::ostringstream text;
    text << objects.gdi << " GDI, " << objects.user << " USER";
    return text.str();
}

bool SameObjects(const GuiObjects &a, const GuiObjects &b) {
    return a.gdi == b.gdi && a.user == b.user;
}

// ---- What the window shows --------------------------------------------------

// Empty when every board pixel on screen is the pixel of the picture square
// that `tiles` names for its cell; a square follows from the piece's home.
std::string BoardPixelsViolation(HWND window) {
    const int size = boardSize;
    const Image picture = LoadPicture(GetModuleHandleA(nullptr), PictureIdForSize(size));
    const std::string pictureFault = PictureViolation(picture, size);
    if (!pictureFault.empty()) {
        return "no picture to compare with: " + pictureFault;
    }
    const Image shown = CaptureClient(window, BOARD_PIXELS, BOARD_PIXELS);
    const int edge = BOARD_PIXELS / size;
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < BOARD_PIXELS; ++y) {
        for (int x = 0; x < BOARD_PIXELS; ++x) {
            const Tile &piece = tiles[x / edge][y / edge];
            const int squareX = piece.homeCol * edge + x % edge;
            const int squareY = piece.homeRow * edge + y % edge;
            const uint32_t wanted = PixelAt(picture, squareX, squareY);
            const uint32_t seen = PixelAt(shown, x, y);
            if (seen != wanted && wrong++ == 0) {
                first << "(" << x << ", " << y << ") is " << DescribePixel(seen) << " instead of "
                      << DescribePixel(wanted);
            }
        }
    }
    if (wrong == 0) {
        return "";
    }
    std::ostringstream text;
    text << wrong << " pixels differ, first " << first.str();
    return text.str();
}

void Repaint(HWND window, int times) {
    for (int paint = 0; paint < times; ++paint) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
    }
}

// ---- Random messages --------------------------------------------------------

enum class Kind { Key, Press, Command, Paint, Repaint, Other };

// Weighted: keys and presses move pieces, the rest must leave them alone.
constexpr Kind KIND_MIX[] = {Kind::Key,   Kind::Key,     Kind::Key,   Kind::Key,
                             Kind::Press, Kind::Press,   Kind::Press, Kind::Command,
                             Kind::Paint, Kind::Repaint, Kind::Other, Kind::Other};

// Messages the game leaves to DefWindowProc, which does nothing lasting with
// them: none opens a menu, a modal loop or ends the window.
constexpr UINT HARMLESS[] = {WM_NULL,        WM_MOUSEMOVE,   WM_LBUTTONUP,    WM_LBUTTONDBLCLK,
                             WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_MBUTTONUP,    WM_CHAR,
                             WM_MOUSEWHEEL,  WM_NCHITTEST,   WM_GETTEXTLENGTH};
constexpr UINT LAST_PRIVATE_MESSAGE = 0xBFFF; // WM_USER and WM_APP ranges

struct Abuse {
    Kind kind;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

WPARAM DrawKey(std::mt19937 &random) {
    constexpr WPARAM ARROWS[] = {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN};
    if (Draw(random, 0, 1) == 0) {
        return ARROWS[Draw(random, 0, 3)];
    }
    return static_cast<WPARAM>(Draw(random, 0, 0xFF));
}

// Half the presses on the board, where they may slide pieces; the others
// anywhere the two 16-bit halves reach.
LPARAM DrawPress(std::mt19937 &random) {
    const int limit = Draw(random, 0, 1) == 0 ? BOARD_PIXELS - 1 : 0xFFFF;
    return MAKELPARAM(Draw(random, 0, limit), Draw(random, 0, limit));
}

// New now and then; never a command that opens a modal dialog or ends the window.
WPARAM DrawCommand(std::mt19937 &random) {
    for (;;) {
        const int id = Draw(random, 1, NEW_ONE_COMMAND_IN) == 1 ? IDM_NEW : Draw(random, 0, 0xFFFF);
        if (id != IDM_SIZE && id != IDM_ABOUT && id != IDM_EXIT) {
            return MAKEWPARAM(id, Draw(random, 0, 0xFFFF));
        }
    }
}

UINT DrawOtherMessage(std::mt19937 &random) {
    if (Draw(random, 0, 1) == 0) {
        return HARMLESS[Draw(random, 0, static_cast<int>(std::size(HARMLESS)) - 1)];
    }
    return static_cast<UINT>(Draw(random, WM_USER, LAST_PRIVATE_MESSAGE));
}

Abuse DrawAbuse(std::mt19937 &random) {
    const Kind kind = KIND_MIX[Draw(random, 0, static_cast<int>(std::size(KIND_MIX)) - 1)];
    const WPARAM anyWParam = static_cast<WPARAM>(random());
    const LPARAM anyLParam = static_cast<LPARAM>(random());
    switch (kind) {
    case Kind::Key:
        return {kind, WM_KEYDOWN, DrawKey(random), 1};
    case Kind::Press:
        return {kind, WM_LBUTTONDOWN, MK_LBUTTON, DrawPress(random)};
    case Kind::Command:
        return {kind, WM_COMMAND, DrawCommand(random), anyLParam};
    case Kind::Paint:
        return {kind, WM_PAINT, 0, 0};
    case Kind::Repaint:
        return {kind, WM_NULL, static_cast<WPARAM>(Draw(random, 0, 1)), 0};
    case Kind::Other:
        break;
    }
    return {kind, DrawOtherMessage(random), anyWParam, anyLParam};
}

struct Outcome {
    BoardState board;
    bool announces;
};

// What the engine makes of the message, and whether the win box must follow:
// after every arrow, and after every press in the gap's line, that leaves
// the board solved.
Outcome Predict(const Abuse &abuse) {
    if (abuse.kind == Kind::Key && DirectionForKey(abuse.wParam) >= 0) {
        const int direction = DirectionForKey(abuse.wParam);
        const BoardState after = PredictBoard([direction] { MoveTile(direction); });
        return {after, IsSolvedBoard(after)};
    }
    if (abuse.kind == Kind::Press) {
        bool inLine = false;
        const BoardState after = PredictBoard([&abuse, &inLine] {
            clickX = LOWORD(abuse.lParam);
            clickY = HIWORD(abuse.lParam);
            inLine = ClickMove();
        });
        return {after, inLine && IsSolvedBoard(after)};
    }
    if (abuse.kind == Kind::Command && LOWORD(abuse.wParam) == IDM_NEW) {
        return {ReplayScramble(static_cast<uint32_t>(FIXED_CLOCK_SECONDS)), false};
    }
    return {CaptureBoard(), false};
}

void Deliver(HWND window, const Abuse &abuse) {
    if (abuse.kind == Kind::Repaint) {
        InvalidateRect(window, nullptr, abuse.wParam != 0);
        UpdateWindow(window);
        return;
    }
    SendMessageA(window, abuse.message, abuse.wParam, abuse.lParam);
}

std::string Violation(const Outcome &outcome, int size) {
    std::string why = BoardInvariantViolation();
    if (why.empty() && boardSize != size) {
        why = "the board size became " + std::to_string(boardSize);
    }
    if (why.empty() && CaptureBoard() != outcome.board) {
        why = "board " + testing::PrintToString(CaptureBoard()) + " instead of " +
              testing::PrintToString(outcome.board);
    }
    if (why.empty() && StepsNotRun() != 0) {
        why = "the expected win box did not show";
    }
    return why;
}

std::string DescribeAbuse(const Abuse &abuse) {
    char text[96];
    std::snprintf(text, sizeof text, "message 0x%04X (kind %d), wParam 0x%08lX, lParam 0x%08lX",
                  abuse.message, static_cast<int>(abuse.kind),
                  static_cast<unsigned long>(abuse.wParam),
                  static_cast<unsigned long>(abuse.lParam));
    return text;
}

// Sends one message; empty when all is well afterwards.
std::string SendAndCheck(HWND window, const Abuse &abuse, int &wins) {
    const Outcome outcome = Predict(abuse);
    if (outcome.announces) {
        ExpectMessageBox(expected::WIN_CAPTION, expected::WIN_TEXT, false);
        ++wins;
    }
    const int size = boardSize;
    Deliver(window, abuse);
    const std::string why = Violation(outcome, size);
    return why.empty() ? "" : DescribeAbuse(abuse) + ": " + why;
}

// Random draws reach only some of the command ids; the rest come once each.
std::string SendEveryCommand(HWND window, int &wins) {
    for (int id = 0; id <= 0xFFFF; ++id) {
        if (id == IDM_SIZE || id == IDM_ABOUT || id == IDM_EXIT) {
            continue;
        }
        const std::string why =
            SendAndCheck(window, {Kind::Command, WM_COMMAND, static_cast<WPARAM>(id), 0}, wins);
        if (!why.empty()) {
            return why;
        }
    }
    return "";
}

// The pixels are compared exactly: the window stays on top of everything.
// Under Wine each case is a shard of its own (see ui_tests.cmake).
class RobustnessTest : public GameWindowTest {
  protected:
    RobustnessTest() {
        topmost = true;
    }
    void SetUp() override {
        GameWindowTest::SetUp();
        answered = 0;
    }
};

TEST_F(RobustnessTest, RandomMessagesAtEverySizeKeepTheBoardConsistent) {
    UseFixedClock();
    std::mt19937 random(ABUSE_SEED);
    int wins = 0;
    int sent = 0;
    const DWORD start = GetTickCount();
    for (int phase = 0; phase < ABUSE_PHASES; ++phase) {
        if (phase > 0) {
            const int button = PHASE_SIZE_BUTTONS[phase - 1];
            RunSizeDialog(window, button, IDOK);
            ASSERT_EQ(CaptureBoard(), SolvedBoard(SizeOfButton(button)));
        }
        for (int i = 0; i < MESSAGES_PER_PHASE; ++i, ++sent) {
            ASSERT_EQ(SendAndCheck(window, DrawAbuse(random), wins), "") << "message " << sent;
            if (i % DRAIN_EVERY == 0) {
                DrainMessages();
            }
        }
    }
    ASSERT_EQ(SendEveryCommand(window, wins), "");
    DrainMessages();
    std::printf("%d random messages and every command in %lu ms; %d win boxes\n", sent,
                static_cast<unsigned long>(GetTickCount() - start), wins);
    EXPECT_GT(wins, 0) << "no message ever left the board solved";
    EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), wins);
    EXPECT_EQ(answered, ABUSE_PHASES - 1) << "size dialogs answered";
    EXPECT_EQ(BoardPixelsViolation(window), "");
}

TEST_F(RobustnessTest, TensOfThousandsOfPaintsLeakNothingAndTheLastIsExact) {
    UseFixedClock();
    SendCommand(window, IDM_NEW);
    Repaint(window, WARM_UP_PAINTS);
    DrainMessages();
    const GuiObjects before = CountGuiObjects();
    ResetCounts();
    const DWORD start = GetTickCount();
    for (int done = 0; done < PAINTS; done += PAINTS_PER_COUNT) {
        Repaint(window, PAINTS_PER_COUNT);
        DrainMessages();
        const GuiObjects now = CountGuiObjects();
        ASSERT_TRUE(SameObjects(now, before))
            << DescribeObjects(now) << " after " << done + PAINTS_PER_COUNT << " paints, "
            << DescribeObjects(before) << " before";
    }
    const DWORD elapsed = GetTickCount() - start;
    std::printf("%d paints in %lu ms (%.3f ms each); objects: %s\n", PAINTS,
                static_cast<unsigned long>(elapsed), static_cast<double>(elapsed) / PAINTS,
                DescribeObjects(before).c_str());
    EXPECT_EQ(Counts().paints, PAINTS);
    EXPECT_TRUE(pictureAvailable);
    EXPECT_EQ(BoardPixelsViolation(window), "");
}

TEST_F(RobustnessTest, ThousandsOfDialogOpeningsLeakNothing) {
    RunSizeDialog(window, IDC_SIZE4, IDOK);
    RunAboutDialog(window);
    DrainMessages();
    const GuiObjects before = CountGuiObjects();
    const DWORD start = GetTickCount();
    for (int opening = 0; opening < DIALOG_OPENINGS; ++opening) {
        // Every choice with OK and with Cancel, from a board one slide off solved.
        const int choice = IDC_SIZE3 + (opening / 2) % 4;
        const bool commit = opening % 2 == 0;
        SendKey(window, VK_RIGHT);
        const BoardState kept = CaptureBoard();
        const SizeSelection selection = CurrentSelection();
        RunSizeDialog(window, choice, commit ? IDOK : IDCANCEL);
        const int size = commit ? SizeOfButton(choice) : selection.boardSize;
        const int button = commit ? choice : selection.sizeButtonId;
        ASSERT_EQ(CurrentSelection(), (SizeSelection{size, button, size, button}))
            << "opening " << opening;
        ASSERT_EQ(CaptureBoard(), commit ? SolvedBoard(size) : kept) << "opening " << opening;
        const BoardState beforeAbout = CaptureBoard();
        RunAboutDialog(window);
        ASSERT_EQ(CaptureBoard(), beforeAbout) << "About, opening " << opening;
        ASSERT_EQ(StepsNotRun(), 0u) << "opening " << opening;
        if (opening % DRAIN_EVERY_OPENINGS == 0) {
            DrainMessages();
        }
    }
    DrainMessages();
    const GuiObjects after = CountGuiObjects();
    std::printf("%d openings of each dialog in %lu ms; objects: %s before, %s after\n",
                DIALOG_OPENINGS, static_cast<unsigned long>(GetTickCount() - start),
                DescribeObjects(before).c_str(), DescribeObjects(after).c_str());
    EXPECT_TRUE(SameObjects(after, before))
        << DescribeObjects(after) << " after, " << DescribeObjects(before) << " before";
    EXPECT_EQ(answered, 2 * DIALOG_OPENINGS + 2);
    EXPECT_TRUE(pictureAvailable);
    EXPECT_EQ(BoardPixelsViolation(window), "");
}

} // namespace
