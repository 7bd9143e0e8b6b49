#include "e2e_harness.h"

#include "board_invariants.h"
#include "engine/board.h"

extern "C" {
#include <xdo.h>
}
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>
#include <type_traits>

using testing::AssertionFailure;
using testing::AssertionSuccess;

static_assert(std::is_same_v<WindowId, Window>);

namespace {

constexpr int GAME_WINDOW_MS = 120000; // a first start may wait for the prefix's servers
constexpr int LOCATE_BOARD_MS = 20000;
constexpr int WIN_BOX_MS = 10000;
constexpr int POLL_MS = 10;            // window searches and screen reads are cheap in process
constexpr int MENU_KEY_DELAY_MS = 150; // lets the menu open before the letter
constexpr int LEFT_BUTTON = 1;
constexpr unsigned long RGB_BITS = 0xFFFFFF;
constexpr char WINE_RUN[] = GLIDORA_E2E_SCRIPTS_DIR "/wine-run.sh";
constexpr char PREFIX[] = GLIDORA_E2E_BUILD_DIR "/wineprefix";
constexpr char PROBE_TIME_LIMIT[] = "timeout 30 "; // for a probe that hangs all the same
constexpr char HOW_TO_RUN[] =
    "The end-to-end tests play the game on an X display: run them through scripts/test.sh, or "
    "as xvfb-run -a -s \"-screen 0 1024x768x24\" ctest --preset " GLIDORA_E2E_TEST_PRESET;

AssertionResult Did(bool done, const std::string &what) {
    return done ? AssertionSuccess() : AssertionFailure() << "could not " << what;
}

// Checks `done` until it holds, at least once, for up to timeoutMs.
template <typename Condition> bool PollUntil(int timeoutMs, Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; !done(); SleepMs(POLL_MS)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

// The one connection to the test command's display, opened on first use.
xdo_t *Xdo() {
    static xdo_t *const xdo = xdo_new(nullptr);
    return xdo;
}

std::string DescribeWaitStatus(int status) {
    return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                               : "exit code " + std::to_string(WEXITSTATUS(status));
}

GameRun *launched = nullptr; // the running test's game
int picturesSaved = 0;       // by the running test, numbered so that no label overwrites another

// Where the running test leaves what a person may look at: <folder>/<Suite>.<Test>.
std::string TestPlace(const char *folder) {
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(GLIDORA_E2E_BUILD_DIR "/") + folder + "/" + test->test_suite_name() + "." +
           test->name();
}

AssertionResult StartGame(GameRun &run) {
    // One log per test, so that a failing test's Wine output survives the others.
    std::filesystem::create_directories(GLIDORA_E2E_BUILD_DIR "/e2e-logs");
    const std::string log = TestPlace("e2e-logs") + ".log";
    // The shell and wine-run.sh exec Wine, which runs the game in this same
    // process: its exit status is the game's. Wine's own errors go to the log.
    const std::string command = std::string("WINEDEBUG=-all,err+all exec '") + WINE_RUN +
                                "' --arch " GLIDORA_E2E_WINE_ARCH " '" + PREFIX +
                                "' '" GLIDORA_E2E_GAME_EXE "' </dev/null >'" + log + "' 2>&1";
    run.gamePid = fork();
    if (run.gamePid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // it dies with the test program, however that ends
        execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        _exit(127);
    }
    launched = &run;
    return Did(run.gamePid > 0, "start the game, logging to " + log);
}

// Saves what was shown beside what was expected in the test's own folder.
std::string SaveFailure(const std::string &label, const Image &shown, const Image &wanted) {
    const std::string folder = TestPlace("e2e-failures");
    std::filesystem::create_directories(folder);
    std::string name = std::to_string(++picturesSaved) + " " + label;
    std::replace(name.begin(), name.end(), ' ', '-');
    WritePpm(folder + "/" + name + "-shown.ppm", shown);
    WritePpm(folder + "/" + name + "-expected.ppm", wanted);
    return folder + "/" + name + "-{shown,expected}.ppm";
}

// Finds `wanted` on the screen. A first row that differs rules out most places.
bool FindOnScreen(const Image &screen, const Image &wanted, Point &found) {
    for (found.y = 0; found.y <= screen.height - wanted.height; ++found.y) {
        for (found.x = 0; found.x <= screen.width - wanted.width; ++found.x) {
            const auto at = screen.pixels.begin() + found.y * screen.width + found.x;
            if (std::equal(wanted.pixels.begin(), wanted.pixels.begin() + wanted.width, at) &&
                Crop(screen, Rect{found.x, found.y, wanted.width, wanted.height}) == wanted) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

void SleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void GameRunTest::SetUp() {
    std::filesystem::remove_all(TestPlace("e2e-failures"));
    picturesSaved = 0;
    ResetEngine(expected::START_SIZE);
    // A request about a window that has just gone fails the call that made it,
    // instead of ending the test program as Xlib's default handler would.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    const char *display = std::getenv("DISPLAY");
    ASSERT_NE(Xdo(), nullptr) << "no X display at DISPLAY=" << (display ? display : "(not set)")
                              << ". " << HOW_TO_RUN;
    ASSERT_TRUE(StartGame(run));
    ASSERT_TRUE(WaitForWindow(expected::WINDOW_TITLE, GAME_WINDOW_MS, run.mainWindow));
    ASSERT_TRUE(LocateBoard(run, RenderEngineBoard(), LOCATE_BOARD_MS));
    ASSERT_TRUE(ReadInputOrigin(run));
    ASSERT_TRUE(run.boardOrigin == run.inputOrigin)
        << "the board is drawn at " << run.boardOrigin.x << "," << run.boardOrigin.y
        << ", off the client area";
}

void GameRunTest::TearDown() {
    if (GameAlive(run) && kill(run.gamePid, SIGKILL) == 0) {
        run.gameEnded = waitpid(run.gamePid, &run.gameWaitStatus, 0) == run.gamePid;
    }
    launched = nullptr;
}

bool GameAlive(GameRun &run) {
    if (run.gamePid > 0 && !run.gameEnded) {
        run.gameEnded = waitpid(run.gamePid, &run.gameWaitStatus, WNOHANG) == run.gamePid;
    }
    return run.gamePid > 0 && !run.gameEnded;
}

AssertionResult WaitForGameExit(GameRun &run, int timeoutMs, int expectedExitCode) {
    const bool ended = PollUntil(timeoutMs, [&run] { return !GameAlive(run); });
    const int status = run.gameWaitStatus;
    return Did(
        ended && run.gamePid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == expectedExitCode,
        "see the game end with exit code " + std::to_string(expectedExitCode) + " within " +
            std::to_string(timeoutMs) + " ms: " + (ended ? DescribeWaitStatus(status) : "it runs"));
}

bool HasLine(const std::vector<std::string> &lines, const std::string &wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

AssertionResult ReadWindowTexts(const std::string &caption, std::vector<std::string> &lines) {
    // Buffered output, so that the pipe closes when the probe ends, even when
    // the probe is the program that started the prefix's servers.
    const std::string command = std::string(PROBE_TIME_LIMIT) + WINE_RUN +
                                " --buffer-output --arch " GLIDORA_E2E_WINE_ARCH " '" + PREFIX +
                                "' '" GLIDORA_E2E_PROBE_EXE "' '" + caption + "'";
    FILE *probe = popen(command.c_str(), "re");
    lines.clear();
    char line[1024];
    while (probe != nullptr && std::fgets(line, sizeof line, probe) != nullptr) {
        lines.emplace_back(line);
        lines.back().erase(lines.back().find_last_not_of("\r\n") + 1); // Windows ends with CR LF
    }
    const int status = probe != nullptr ? pclose(probe) : -1;
    // The probe ends with 1 when no window has that caption, with 3 when several do.
    return Did(status == 0, "read the texts of the window \"" + caption + "\": the probe's " +
                                DescribeWaitStatus(status));
}

std::vector<WindowId> FindWindows(const std::string &caption) {
    // Captions hold no regular expression metacharacters.
    const std::string pattern = "^" + caption + "$";
    xdo_search_t search{};
    search.winname = pattern.c_str();
    search.searchmask = SEARCH_NAME | SEARCH_ONLYVISIBLE;
    search.only_visible = 1;
    search.max_depth = -1;
    Window *found = nullptr;
    unsigned int count = 0;
    xdo_search_windows(Xdo(), &search, &found, &count);
    std::vector<WindowId> windows(found, found + count);
    std::free(found);
    return windows;
}

AssertionResult WaitForWindow(const std::string &caption, int timeoutMs, WindowId &window) {
    std::vector<WindowId> windows;
    bool ended = false;
    PollUntil(timeoutMs, [&] {
        windows = FindWindows(caption);
        ended = launched != nullptr && !GameAlive(*launched);
        return !windows.empty() || ended;
    });
    window = windows.size() == 1 ? windows.front() : 0;
    return Did(
        window != 0,
        "find one window titled " + caption + " within " + std::to_string(timeoutMs) + " ms, but " +
            std::to_string(windows.size()) +
            (ended ? "; the game ended, " + DescribeWaitStatus(launched->gameWaitStatus) : ""));
}

AssertionResult WaitForNoWindow(const std::string &caption, int timeoutMs) {
    return Did(PollUntil(timeoutMs, [&caption] { return FindWindows(caption).empty(); }),
               "see " + caption + " go within " + std::to_string(timeoutMs) + " ms");
}

AssertionResult WindowGeometry(WindowId window, Rect &geometry) {
    unsigned int width = 0, height = 0;
    const bool measured =
        xdo_get_window_location(Xdo(), window, &geometry.x, &geometry.y, nullptr) == XDO_SUCCESS &&
        xdo_get_window_size(Xdo(), window, &width, &height) == XDO_SUCCESS;
    geometry.width = static_cast<int>(width);
    geometry.height = static_cast<int>(height);
    return Did(measured, "measure window " + std::to_string(window));
}

AssertionResult FocusWindow(WindowId window) {
    return Did(xdo_focus_window(Xdo(), window) == XDO_SUCCESS &&
                   xdo_wait_for_window_focus(Xdo(), window, 1) == XDO_SUCCESS,
               "focus window " + std::to_string(window));
}

AssertionResult TypeKeys(const std::vector<std::string> &keys, int delayMs) {
    const auto press = [delayMs](const std::string &key) { // libxdo counts microseconds
        return xdo_send_keysequence_window(Xdo(), CURRENTWINDOW, key.c_str(),
                                           static_cast<useconds_t>(delayMs) * 1000) == XDO_SUCCESS;
    };
    return Did(std::all_of(keys.begin(), keys.end(), press), "press the keys");
}

AssertionResult PressKeys(WindowId window, const std::vector<std::string> &keys, int delayMs) {
    AssertionResult focused = FocusWindow(window);
    return focused ? TypeKeys(keys, delayMs) : focused;
}

AssertionResult ClickScreen(int x, int y) {
    return Did(xdo_move_mouse(Xdo(), x, y, 0) == XDO_SUCCESS &&
                   xdo_click_window(Xdo(), CURRENTWINDOW, LEFT_BUTTON) == XDO_SUCCESS,
               "click at " + std::to_string(x) + "," + std::to_string(y));
}

AssertionResult ClickClient(const GameRun &run, int clientX, int clientY) {
    return ClickScreen(run.inputOrigin.x + clientX, run.inputOrigin.y + clientY);
}

AssertionResult ChooseMenuItem(const GameRun &run, const std::string &mnemonic) {
    return PressKeys(run.mainWindow, {"alt+g", mnemonic}, MENU_KEY_DELAY_MS);
}

Rect ScreenRect() {
    const Screen *screen = DefaultScreenOfDisplay(Xdo()->xdpy);
    return Rect{0, 0, WidthOfScreen(screen), HeightOfScreen(screen)};
}

Rect BoardRect(const GameRun &run) {
    return Rect{run.boardOrigin.x, run.boardOrigin.y, expected::BOARD_EDGE, expected::BOARD_EDGE};
}

AssertionResult CaptureRegion(const Rect &region, Image &image) {
    Display *display = Xdo()->xdpy;
    XImage *shot = XGetImage(display, DefaultRootWindow(display), region.x, region.y,
                             static_cast<unsigned int>(region.width),
                             static_cast<unsigned int>(region.height), AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return AssertionFailure() << "could not read the screen at " << region.x << "," << region.y;
    }
    image = Image{region.width, region.height, {}};
    for (int i = 0; i < region.width * region.height; ++i) {
        image.pixels.push_back(XGetPixel(shot, i % region.width, i / region.width) & RGB_BITS);
    }
    XDestroyImage(shot);
    return AssertionSuccess();
}

const Image &BoardPicture(int size) {
    static std::map<int, Image> pictures;
    Image &picture = pictures[size];
    const int index = size - expected::SMALLEST_SIZE;
    if (picture.pixels.empty() && index >= 0 && index < std::ssize(expected::PICTURE_FILES)) {
        picture =
            ReadBmpFile(std::string(GLIDORA_E2E_RES_DIR "/") + expected::PICTURE_FILES[index]);
    }
    EXPECT_EQ(picture.width, expected::BOARD_EDGE) << "the board picture in res/ for size " << size;
    return picture;
}

Image RenderEngineBoard() {
    return RenderBoard(BoardPicture(boardSize), CaptureBoard());
}

void ResetEngine(int size) {
    boardSize = size;
    ResetBoard();
}

AssertionResult LocateBoard(GameRun &run, const Image &wanted, int timeoutMs) {
    Image screen;
    AssertionResult captured = AssertionSuccess();
    if (PollUntil(timeoutMs, [&] {
            captured = CaptureRegion(ScreenRect(), screen);
            return !captured || FindOnScreen(screen, wanted, run.boardOrigin);
        })) {
        return captured;
    }
    return AssertionFailure() << "the expected board is nowhere on the screen; see "
                              << SaveFailure("locate", screen, wanted);
}

AssertionResult ReadInputOrigin(GameRun &run) {
    std::vector<std::string> lines;
    if (AssertionResult read = ReadWindowTexts(expected::WINDOW_TITLE, lines); !read) {
        return read;
    }
    return Did(lines.size() > 1 && std::sscanf(lines[1].c_str(), "client\t%d\t%d",
                                               &run.inputOrigin.x, &run.inputOrigin.y) == 2,
               "read the client origin on the probe's second line: " +
                   testing::PrintToString(lines));
}

AssertionResult WaitForBoard(const GameRun &run, const Image &wanted, int timeoutMs,
                             const std::string &label) {
    Image shown;
    AssertionResult captured = AssertionSuccess();
    if (PollUntil(timeoutMs, [&] {
            captured = CaptureRegion(BoardRect(run), shown);
            return !captured || shown == wanted;
        })) {
        return captured;
    }
    // The board's corner is the client area's (SetUp checks it): a pixel's place
    // on the board is its place in the client area.
    return AssertionFailure() << label << ": the board differs from the prediction after "
                              << timeoutMs
                              << " ms: " << ImageDifference(shown, wanted, "of the client area")
                              << "; see " << SaveFailure(label, shown, wanted);
}

AssertionResult BoardHolds(const GameRun &run, const Image &wanted, int showMs, int holdMs,
                           const std::string &label) {
    if (AssertionResult now = WaitForBoard(run, wanted, showMs, label); !now) {
        return now;
    }
    SleepMs(holdMs);
    return WaitForBoard(run, wanted, 0, label + " later");
}

const char *KeyName(int direction) {
    constexpr const char *NAMES[] = {"Left", "Right", "Up", "Down"}; // by direction code
    const bool known = direction >= MoveLeft && direction <= MoveDown;
    EXPECT_TRUE(known) << "no arrow key moves in direction " << direction;
    return known ? NAMES[direction] : "";
}

bool ReplayKey(int direction) {
    MoveTile(direction);
    return IsSolved();
}

bool ReplayClick(int clientX, int clientY) {
    // The window message carries each coordinate in 16 unsigned bits.
    clickX = clientX & 0xFFFF;
    clickY = clientY & 0xFFFF;
    return ClickMove() && IsSolved();
}

AssertionResult CheckWinBox(WindowId &box) {
    std::vector<std::string> lines;
    if (AssertionResult shown = WaitForWindow(expected::WIN_CAPTION, WIN_BOX_MS, box); !shown) {
        return shown;
    }
    if (AssertionResult read = ReadWindowTexts(expected::WIN_CAPTION, lines); !read) {
        return read;
    }
    const auto isButton = [](const std::string &line) { return line.starts_with("child\tButton"); };
    const std::string window = std::string("window\t") + expected::WIN_CAPTION + "\t";
    return Did(HasLine(lines, window + expected::WINDOW_TITLE) &&
                   HasLine(lines, std::string("child\tStatic\t") + expected::WIN_TEXT) &&
                   HasLine(lines, "child\tButton\tOK") &&
                   std::count_if(lines.begin(), lines.end(), isButton) == 1,
               "find the win box as expected: it reads " + testing::PrintToString(lines));
}

AssertionResult DismissWinBox(WindowId box, const std::string &key) {
    AssertionResult pressed = PressKeys(box, {key});
    return pressed ? WaitForNoWindow(expected::WIN_CAPTION, WIN_BOX_MS) : pressed;
}
