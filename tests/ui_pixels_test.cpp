// What the window shows, read back from the screen and compared, cell by
// cell and pixel by pixel, with the picture squares that the board names.
#include "ui_harness.h"

#include "board_invariants.h"
#include "expected.h"
#include "res/resource.h"
#include "ui/ui.h"

namespace {

constexpr int SIZES[] = {3, 4, 5, 6};
constexpr int BEYOND = 24; // client pixels right of and below the board that are checked

// Compares each screen cell with the picture square of the piece standing in
// it; the square follows from the piece's home, as the pictures are laid out.
void ExpectScreenShowsBoard(HWND window) {
    ASSERT_EQ(BoardInvariantViolation(), "");
    const Image picture = LoadPicture(GetModuleHandleA(nullptr), PictureIdForSize(boardSize));
    ASSERT_EQ(PictureViolation(picture, boardSize), "") << "the expected picture itself";
    const Image shown = CaptureClient(window, expected::BOARD_EDGE, expected::BOARD_EDGE);
    const Image wanted = RenderBoard(picture, CaptureBoard());
    const int edge = expected::BOARD_EDGE / boardSize;
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            const Rect cell{col * edge, row * edge, edge, edge};
            EXPECT_EQ(ImageDifference(Crop(shown, cell), Crop(wanted, cell)), "")
                << "cell (" << col << ", " << row << ") should show the piece of home ("
                << tiles[col][row].homeCol << ", " << tiles[col][row].homeRow << ")";
        }
    }
}

void ShowSolvedBoard(HWND window, int size) {
    boardSize = size;
    ResetBoard();
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

// The board's pixels are compared exactly: its window stays on top of
// everything, in the screen corner.
class PixelTest : public GameWindowTest {
  protected:
    PixelTest() {
        topmost = true;
    }
};

TEST_F(PixelTest, SolvedBoardAtEverySizeShowsThePictureUnchanged) {
    for (int size : SIZES) {
        SCOPED_TRACE(size);
        ShowSolvedBoard(window, size);
        ExpectScreenShowsBoard(window);
    }
}

TEST_F(PixelTest, ScrambledBoardAtEverySizeShowsEachPieceInItsCell) {
    UseFixedClock();
    for (int size : SIZES) {
        SCOPED_TRACE(size);
        ShowSolvedBoard(window, size);
        SendCommand(window, IDM_NEW);
        ASSERT_FALSE(IsSolved());
        DrainMessages();
        ExpectScreenShowsBoard(window);
    }
}

TEST_F(PixelTest, KeysAndPressesRedrawTheMovedPieces) {
    SendKey(window, VK_RIGHT);
    DrainMessages();
    ASSERT_EQ(blankCol, 2);
    ExpectScreenShowsBoard(window);
    SendPress(window, 10, 230);
    DrainMessages();
    ASSERT_EQ(blankCol, 0);
    ExpectScreenShowsBoard(window);
    SendPress(window, 10, 10);
    DrainMessages();
    ASSERT_EQ(blankRow, 0);
    ExpectScreenShowsBoard(window);
}

TEST_F(PixelTest, SizeDialogRedrawsTheBoardAtTheNewSize) {
    for (int buttonId : {IDC_SIZE6, IDC_SIZE3}) {
        ExpectBox({ClickButton(buttonId), ClickButton(IDOK)});
        SendCommand(window, IDM_SIZE);
        DrainMessages();
        ASSERT_EQ(boardSize, expected::SMALLEST_SIZE + buttonId - expected::SIZE_BUTTON_IDS[0]);
        ExpectScreenShowsBoard(window);
    }
}

// The window as the game creates it, before anything resizes it, on whatever
// frame this Wine prefix draws.
TEST_F(PixelTest, TheWindowAsCreatedShowsTheWholeStartBoard) {
    const HWND fresh = CreateMainWindow();
    ASSERT_NE(fresh, nullptr);
    SetWindowPos(fresh, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(fresh);
    RECT client;
    GetClientRect(fresh, &client);
    EXPECT_GE(client.right, expected::BOARD_EDGE);
    EXPECT_GE(client.bottom, expected::BOARD_EDGE);
    ExpectScreenShowsBoard(fresh);
    DestroyWindow(fresh);
    DrainMessages();
}

TEST_F(PixelTest, NothingIsDrawnBeyondTheBoard) {
    PlaceWindow(window, topmost, expected::BOARD_EDGE + BEYOND, expected::BOARD_EDGE + BEYOND);
    UseFixedClock();
    SendCommand(window, IDM_NEW);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    const uint32_t background = PixelFromColorRef(GetSysColor(COLOR_WINDOW));
    const int extent = expected::BOARD_EDGE + BEYOND;
    const Image shown = CaptureClient(window, extent, extent);
    int wrong = 0;
    for (int y = 0; y < extent; ++y) {
        for (int x = 0; x < extent; ++x) {
            const bool onBoard = x < expected::BOARD_EDGE && y < expected::BOARD_EDGE;
            wrong += !onBoard && PixelAt(shown, x, y) != background ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels beyond the board that are not the window colour "
                        << DescribePixel(background);
    ExpectScreenShowsBoard(window);
}

} // namespace
