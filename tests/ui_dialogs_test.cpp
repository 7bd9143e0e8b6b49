// The size and About dialogs, opened with the menu commands and driven from
// inside their own modal loops: buttons clicked, Esc through the dialog
// manager, and what the game does once they close.
#include "ui_harness.h"

#include "board_invariants.h"
#include "expected.h"
#include "res/resource.h"
#include "ui/ui.h"

namespace {

using expected::START_SIZE;

// The documented size of each radio button: 3 x 3 for the first, and so on.
int SizeOfButton(int id) {
    return expected::SMALLEST_SIZE + (id - expected::SIZE_BUTTON_IDS[0]);
}

// Modal: the dialog belongs to the main window, which takes no input meanwhile.
BoxStep ExpectOwnedBy(HWND window) {
    return [window](HWND box) {
        EXPECT_EQ(GetWindow(box, GW_OWNER), window);
        EXPECT_FALSE(IsWindowEnabled(window));
    };
}

// Before closing: the dialog no longer covers the main window and everything
// uncovered is painted, so a repaint afterwards is the game's own request.
std::vector<BoxStep> ClearTheBoard(HWND window) {
    return {MoveBoxAway(), [window](HWND) {
                EXPECT_FALSE(HasUpdateRegion(window));
                ResetCounts();
            }};
}

std::vector<BoxStep> CloseWith(HWND window, int buttonId) {
    std::vector<BoxStep> steps = ClearTheBoard(window);
    steps.push_back(ClickButton(buttonId));
    return steps;
}

std::vector<BoxStep> Join(std::initializer_list<std::vector<BoxStep>> parts) {
    std::vector<BoxStep> all;
    for (const std::vector<BoxStep> &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

void RunDialog(HWND window, WPARAM command, const char *caption, std::vector<BoxStep> steps) {
    std::vector<BoxStep> all = {ExpectCaption(caption), ExpectOwnedBy(window)};
    all.insert(all.end(), steps.begin(), steps.end());
    ExpectBox(all);
    EXPECT_EQ(SendCommand(window, command), 0);
    EXPECT_EQ(StepsNotRun(), 0u) << "the dialog closed early or never opened";
    EXPECT_TRUE(IsWindowEnabled(window));
}

void RunSizeDialog(HWND window, std::vector<BoxStep> steps) {
    RunDialog(window, IDM_SIZE, expected::SIZE_CAPTION, std::move(steps));
}

// After the size dialog, whichever way it closed: the whole client area is
// marked and erased before the next paint.
void ExpectWholeRepaintWithErase(HWND window) {
    EXPECT_TRUE(UpdateRegionIsWholeClient(window));
    UpdateWindow(window);
    EXPECT_EQ(Counts().erases, 1);
    EXPECT_EQ(Counts().paints, 1);
}

void ExpectCheckedOnNextOpening(HWND window, int buttonId) {
    SCOPED_TRACE("reopened");
    RunSizeDialog(window, Join({{ExpectSizeChecked(buttonId)}, CloseWith(window, IDCANCEL)}));
}

BoxStep ExpectPending(int size, int buttonId) {
    return [size, buttonId](HWND) {
        EXPECT_EQ(pendingSize, size);
        EXPECT_EQ(pendingButtonId, buttonId);
    };
}

int PiecesOtherThanTheGap() {
    bool seen[MAX_BOARD][MAX_BOARD] = {};
    int count = 0;
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            const Tile &tile = tiles[col][row];
            const bool isGap = tile.homeCol == boardSize - 1 && tile.homeRow == boardSize - 1;
            if (!isGap && !seen[tile.homeCol][tile.homeRow]) {
                seen[tile.homeCol][tile.homeRow] = true;
                ++count;
            }
        }
    }
    return count;
}

using DialogTest = GameWindowTest;

TEST_F(DialogTest, SizeDialogOpensWithTheCommittedSizeChecked) {
    const BoardState before = CaptureBoard();
    RunSizeDialog(window, Join({{ExpectSizeChecked(IDC_SIZE4)}, CloseWith(window, IDCANCEL)}));
    EXPECT_EQ(CaptureBoard(), before);
    EXPECT_EQ(CurrentSelection(), StartupSelection());
    ExpectWholeRepaintWithErase(window);
}

TEST_F(DialogTest, SixBySixThenOkLaysOutASolvedSixBoard) {
    SendKey(window, VK_RIGHT);
    SettleWindow(window);
    RunSizeDialog(window, Join({{ExpectSizeChecked(IDC_SIZE4), ClickButton(IDC_SIZE6),
                                 ExpectSizeChecked(IDC_SIZE6), ExpectPending(6, IDC_SIZE6),
                                 [](HWND) { EXPECT_EQ(boardSize, START_SIZE) << "too early"; }},
                                CloseWith(window, IDOK)}));
    const SizeSelection committed = {6, IDC_SIZE6, 6, IDC_SIZE6};
    EXPECT_EQ(CurrentSelection(), committed);
    EXPECT_EQ(CaptureBoard(), SolvedBoard(6));
    EXPECT_EQ(PiecesOtherThanTheGap(), 35);
    EXPECT_EQ(blankCol, 5);
    EXPECT_EQ(blankRow, 5);
    EXPECT_EQ(BoardInvariantViolation(), "");
    EXPECT_TRUE(pictureAvailable);
    ExpectWholeRepaintWithErase(window);
    ExpectCheckedOnNextOpening(window, IDC_SIZE6);
    EXPECT_EQ(boardSize, 6);
}

TEST_F(DialogTest, EverySizeButtonCommitsItsSize) {
    for (int buttonId : {IDC_SIZE3, IDC_SIZE5, IDC_SIZE6, IDC_SIZE4}) {
        const int size = SizeOfButton(buttonId);
        SCOPED_TRACE(size);
        RunSizeDialog(window, Join({{ClickButton(buttonId), ExpectPending(size, buttonId)},
                                    CloseWith(window, IDOK)}));
        const SizeSelection committed = {size, buttonId, size, buttonId};
        EXPECT_EQ(CurrentSelection(), committed);
        EXPECT_EQ(CaptureBoard(), SolvedBoard(size));
        ExpectCheckedOnNextOpening(window, buttonId);
    }
}

TEST_F(DialogTest, ThreeByThreeThenCancelChangesNothing) {
    SendKey(window, VK_RIGHT);
    SettleWindow(window);
    const BoardState before = CaptureBoard();
    RunSizeDialog(window, Join({{ClickButton(IDC_SIZE3), ExpectSizeChecked(IDC_SIZE3),
                                 ExpectPending(3, IDC_SIZE3)},
                                CloseWith(window, IDCANCEL)}));
    EXPECT_EQ(CaptureBoard(), before);
    EXPECT_EQ(CurrentSelection(), StartupSelection());
    ExpectWholeRepaintWithErase(window);
    ExpectCheckedOnNextOpening(window, IDC_SIZE4);
}

TEST_F(DialogTest, EscapeInTheSizeDialogActsAsCancel) {
    SendKey(window, VK_RIGHT);
    SettleWindow(window);
    const BoardState before = CaptureBoard();
    // Esc goes to the focused control, as a key would; the dialog manager
    // turns it into Cancel. No step may follow: the dialog must be gone.
    RunSizeDialog(window, Join({{ClickButton(IDC_SIZE5), ExpectSizeChecked(IDC_SIZE5)},
                                ClearTheBoard(window),
                                {PostKeyToFocus(VK_ESCAPE)}}));
    EXPECT_EQ(CaptureBoard(), before);
    EXPECT_EQ(CurrentSelection(), StartupSelection());
    ExpectWholeRepaintWithErase(window);
    ExpectCheckedOnNextOpening(window, IDC_SIZE4);
}

TEST_F(DialogTest, OkWithoutAChangeLaysTheScrambledBoardOutSolved) {
    UseFixedClock();
    SendCommand(window, IDM_NEW);
    ASSERT_FALSE(IsSolved());
    SettleWindow(window);
    RunSizeDialog(window, Join({{ExpectSizeChecked(IDC_SIZE4)}, CloseWith(window, IDOK)}));
    EXPECT_EQ(CaptureBoard(), SolvedBoard(START_SIZE));
    EXPECT_EQ(CurrentSelection(), StartupSelection());
    ExpectWholeRepaintWithErase(window);
}

TEST_F(DialogTest, OnlyANewSizeTestsThePicturesAgain) {
    pictureAvailable = false;
    RunSizeDialog(window, CloseWith(window, IDOK));
    EXPECT_FALSE(pictureAvailable) << "the same size is no size change";
    RunSizeDialog(window, Join({{ClickButton(IDC_SIZE5)}, CloseWith(window, IDOK)}));
    EXPECT_TRUE(pictureAvailable);
    EXPECT_EQ(SeenBoxes().size(), 2u) << "no message besides the two dialogs";
}

TEST_F(DialogTest, SizeDialogProcedureAnswersAsDocumented) {
    const BoxStep answers = [](HWND box) {
        EXPECT_EQ(SizeDlgProc(box, WM_COMMAND, IDC_SIZE5, 0), FALSE) << "acted on, not handled";
        EXPECT_EQ(pendingSize, 5);
        EXPECT_EQ(IsDlgButtonChecked(box, IDC_SIZE5), BST_CHECKED);
        EXPECT_EQ(SizeDlgProc(box, WM_COMMAND, IDM_NEW, 0), FALSE);
        EXPECT_EQ(SizeDlgProc(box, WM_TIMER, 0, 0), FALSE);
        EXPECT_EQ(SizeDlgProc(box, WM_INITDIALOG, 0, 0), TRUE);
        EXPECT_EQ(IsDlgButtonChecked(box, IDC_SIZE4), BST_CHECKED) << "back to the committed";
        EXPECT_EQ(SizeDlgProc(box, WM_COMMAND, IDCANCEL, 0), TRUE);
    };
    RunSizeDialog(window, {answers});
    EXPECT_EQ(CurrentSelection(), StartupSelection());
}

TEST_F(DialogTest, AboutIgnoresEscapeClosesOnOkAndChangesNothing) {
    SendKey(window, VK_RIGHT);
    SettleWindow(window);
    const BoardState before = CaptureBoard();
    const BoxStep stillOpen = [](HWND box) { EXPECT_TRUE(IsWindowVisible(box)); };
    RunDialog(
        window, IDM_ABOUT, expected::ABOUT_CAPTION,
        Join({ClearTheBoard(window), {PostKeyToFocus(VK_ESCAPE), stillOpen, ClickButton(IDOK)}}));
    EXPECT_EQ(CaptureBoard(), before);
    EXPECT_EQ(CurrentSelection(), StartupSelection());
    EXPECT_FALSE(HasUpdateRegion(window)) << "the About box asks for no repaint";
    DrainMessages();
    EXPECT_EQ(Counts().paints, 0);
}

TEST_F(DialogTest, AboutDialogProcedureAnswersAsDocumented) {
    const BoxStep answers = [](HWND box) {
        EXPECT_EQ(AboutDlgProc(box, WM_INITDIALOG, 0, 0), TRUE);
        EXPECT_EQ(AboutDlgProc(box, WM_COMMAND, IDCANCEL, 0), FALSE);
        EXPECT_EQ(AboutDlgProc(box, WM_TIMER, 0, 0), FALSE);
        EXPECT_TRUE(IsWindow(box));
        EXPECT_EQ(AboutDlgProc(box, WM_COMMAND, IDOK, 0), TRUE);
    };
    RunDialog(window, IDM_ABOUT, expected::ABOUT_CAPTION, {answers});
}

} // namespace
