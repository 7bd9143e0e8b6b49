// The game built without its board pictures: it says so once at start-up,
// draws nothing but the background, and still plays.
#include "ui_harness.h"

#include "expected.h"
#include "res/resource.h"
#include "ui/ui.h"

namespace {

using expected::START_SIZE;
constexpr DWORD IDLE_MS = 1000;
constexpr int IDLE_PAINTS_AT_MOST = 3;

void ExpectOnlyBackground(HWND window) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    const uint32_t background = PixelFromColorRef(GetSysColor(COLOR_WINDOW));
    const Image shown = CaptureClient(window, expected::BOARD_EDGE, expected::BOARD_EDGE);
    int wrong = 0;
    for (uint32_t pixel : shown.pixels) {
        wrong += pixel != background ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0) << "board pixels that are not the window colour "
                        << DescribePixel(background);
}

// A paint that leaves the update region as it was is asked for again at once.
void ExpectQuietAfter(const std::function<void()> &disturb) {
    ResetCounts();
    disturb();
    PumpFor(IDLE_MS);
    EXPECT_GE(Counts().paints, 1);
    EXPECT_LE(Counts().paints, IDLE_PAINTS_AT_MOST);
}

void ExpectNoStreamOfPaints(HWND window) {
    ExpectQuietAfter([window] { InvalidateRect(window, nullptr, TRUE); });
}

// The missing picture is reported while the window is being created.
class NoPicturesTest : public GameWindowTest {
  protected:
    NoPicturesTest() {
        topmost = true;
    }
    void BeforeWindowCreated() override {
        ExpectMessageBox(expected::PICTURE_ERROR_CAPTION, expected::PICTURE_ERROR_TEXT, true);
    }
};

TEST_F(NoPicturesTest, StartUpReportsTheMissingPictureOnce) {
    EXPECT_EQ(StepsNotRun(), 0u);
    ExpectOnlyBackground(window);
    PumpFor(IDLE_MS / 4);
    EXPECT_EQ(BoxesCaptioned(expected::PICTURE_ERROR_CAPTION), 1);
    ASSERT_EQ(SeenBoxes().size(), 1u);
    EXPECT_EQ(SeenBoxes()[0].owner, window);
    EXPECT_FALSE(pictureAvailable);
    EXPECT_EQ(CaptureBoard(), SolvedBoard(START_SIZE));
}

TEST_F(NoPicturesTest, TheBoardShowsOnlyTheBackground) {
    ExpectOnlyBackground(window);
    SendKey(window, VK_RIGHT);
    ExpectOnlyBackground(window);
    EXPECT_FALSE(pictureAvailable);
}

TEST_F(NoPicturesTest, TheGameStillPlaysAndAnnouncesWins) {
    ExpectMessageBox(expected::WIN_CAPTION, expected::WIN_TEXT, false);
    SendKey(window, VK_LEFT);
    EXPECT_EQ(StepsNotRun(), 0u);
    EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), 1);

    const BoardState slid = PredictBoard([] { MoveTile(MoveRight); });
    SendKey(window, VK_RIGHT);
    EXPECT_EQ(CaptureBoard(), slid);
    EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), 1);

    ExpectMessageBox(expected::WIN_CAPTION, expected::WIN_TEXT, false);
    SendKey(window, VK_LEFT);
    EXPECT_EQ(StepsNotRun(), 0u);
    EXPECT_EQ(CaptureBoard(), SolvedBoard(START_SIZE));
    EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), 2);
}

TEST_F(NoPicturesTest, AnIdleWindowGetsNoStreamOfPaints) {
    ExpectNoStreamOfPaints(window);
}

TEST_F(NoPicturesTest, StaysIdleAfterStartUpAfterAKeyAndAfterAPress) {
    EXPECT_FALSE(HasUpdateRegion(window)) << "the start-up paint is not done";
    ResetCounts();
    PumpFor(IDLE_MS);
    EXPECT_LE(Counts().paints, IDLE_PAINTS_AT_MOST) << "after start-up";
    {
        SCOPED_TRACE("arrow key");
        ExpectQuietAfter([this] { SendKey(window, VK_RIGHT); });
    }
    {
        SCOPED_TRACE("press at the far end of the gap's row");
        ExpectQuietAfter([this] { SendPress(window, 0, expected::BOARD_EDGE - 1); });
        EXPECT_EQ(blankCol, 0);
    }
    EXPECT_FALSE(pictureAvailable);
    EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), 0);
}

TEST_F(NoPicturesTest, ASizeChangeFindsNoPictureEither) {
    ExpectBox({ClickButton(IDC_SIZE5), ClickButton(IDOK)});
    EXPECT_EQ(SendCommand(window, IDM_SIZE), 0);
    EXPECT_EQ(StepsNotRun(), 0u);
    EXPECT_EQ(boardSize, 5);
    EXPECT_EQ(CaptureBoard(), SolvedBoard(5));
    EXPECT_FALSE(pictureAvailable);
    ExpectNoStreamOfPaints(window);
    ExpectOnlyBackground(window);
    EXPECT_EQ(BoxesCaptioned(expected::PICTURE_ERROR_CAPTION), 1)
        << "a size change reports nothing";
}

} // namespace
