#include "e2e_harness.h"

#include "engine/board.h"

extern "C" {
#include <xdo.h>
}
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <type_traits>

using testing::AssertionFailure;
using testing::AssertionSuccess;

static_assert(std::is_same_v<WindowId, Window>);

namespace {

constexpr int GAME_WINDOW_MS = 120000;
constexpr int LOCATE_BOARD_MS = 20000;
constexpr int WIN_BOX_MS = 10000;
// Window searches and screen reads are cheap calls in this process.
constexpr int POLL_MS = 10;
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
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        SleepMs(POLL_MS);
    }
    return true;
}

// The one connection to the test command's display, opened on first use.
xdo_t *Xdo() {
    static xdo_t *const xdo = xdo_new(nullptr);
    return xdo;
}

AssertionResult DisplayReady() {
    const char *display = std::getenv("DISPLAY");
    // A request about a window that has just gone fails the call that made it,
    // instead of ending the test program as Xlib's default handler would.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    return Did(Xdo() != nullptr, std::string("reach an X display at DISPLAY=") +
                                     (display != nullptr ? display : "(not set)") + ". " +
                                     HOW_TO_RUN);
}

std::string DescribeWaitStatus(int status) {
    return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                               : "exit code " + std::to_string(WEXITSTATUS(status));
}

AssertionResult StartGame(GameRun &run) {
    // One log per test, so that a failing test's Wine output survives the others.
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    mkdir(GLIDORA_E2E_BUILD_DIR "/e2e-logs", 0755);
    const std::string log = std::string(GLIDORA_E2E_BUILD_DIR "/e2e-logs/") +
                            test->test_suite_name() + "." + test->name() + ".log";
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
    return Did(run.gamePid > 0, "start the game, logging to " + log);
}

AssertionResult WaitForGameWindow(GameRun &run) {
    std::vector<WindowId> windows;
    PollUntil(GAME_WINDOW_MS, [&] {
        windows = FindWindows(expected::WINDOW_TITLE);
        return windows.size() == 1 || !GameAlive(run);
    });
    run.mainWindow = windows.size() == 1 ? windows.front() : 0;
    return Did(run.mainWindow != 0,
               "find one window titled " + std::string(expected::WINDOW_TITLE) + " (" +
                   std::to_string(windows.size()) + " found), the game " +
                   (GameAlive(run) ? "running" : DescribeWaitStatus(run.gameWaitStatus)));
}

// Saves what was shown beside what was expected, for a person to compare.
std::string SaveFailure(const std::string &label, const Image &shown, const Image &wanted) {
    mkdir(GLIDORA_E2E_BUILD_DIR "/e2e-failures", 0755);
    const std::string base = GLIDORA_E2E_BUILD_DIR "/e2e-failures/" + label;
    WritePpm(base + "-shown.ppm", shown);
    WritePpm(base + "-expected.ppm", wanted);
    return base + "-*.ppm";
}

// Finds `wanted` on the screen with its top-left corner inside the window, as
// the client area's corner is. A first row that differs rules out most places.
bool FindInWindow(const Image &screen, const Image &wanted, const Rect &window, Point &found) {
    const int right = std::min(window.x + window.width, screen.width) - wanted.width;
    const int bottom = std::min(window.y + window.height, screen.height) - wanted.height;
    for (found.y = std::max(window.y, 0); found.y <= bottom; ++found.y) {
        for (found.x = std::max(window.x, 0); found.x <= right; ++found.x) {
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

AssertionResult LaunchGame(GameRun &run) {
    ResetEngine(expected::START_SIZE);
    // Each step only once the one before has succeeded.
    AssertionResult result = DisplayReady();
    result = result ? StartGame(run) : result;
    result = result ? WaitForGameWindow(run) : result;
    result = result ? LocateBoard(run, RenderEngineBoard(), LOCATE_BOARD_MS) : result;
    // The board's picture starts at the client area's first pixel.
    const Point &board = run.boardOrigin;
    return result ? Did(board == run.inputOrigin,
                        "find the board where the client area starts, but at " +
                            std::to_string(board.x) + "," + std::to_string(board.y))
                  : result;
}

void EndGame(GameRun &run) {
    if (GameAlive(run) && kill(run.gamePid, SIGKILL) == 0) {
        run.gameEnded = waitpid(run.gamePid, &run.gameWaitStatus, 0) == run.gamePid;
    }
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
    char *line = nullptr;
    size_t capacity = 0;
    while (probe != nullptr && getline(&line, &capacity, probe) >= 0) {
        std::string text = line;
        text.erase(text.find_last_not_of("\r\n") + 1); // Windows ends lines with CR LF
        if (!text.empty()) {
            lines.push_back(text);
        }
    }
    std::free(line);
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
    PollUntil(timeoutMs, [&] {
        windows = FindWindows(caption);
        return !windows.empty();
    });
    window = windows.size() == 1 ? windows.front() : 0;
    return Did(window != 0, "find one window titled " + caption + " within " +
                                std::to_string(timeoutMs) + " ms, but " +
                                std::to_string(windows.size()));
}

AssertionResult WaitForNoWindow(const std::string &caption, int timeoutMs) {
    return Did(PollUntil(timeoutMs, [&caption] { return FindWindows(caption).empty(); }),
               "see " + caption + " go within " + std::to_string(timeoutMs) + " ms");
}

AssertionResult WindowGeometry(WindowId window, Rect &geometry) {
    unsigned int width = 0;
    unsigned int height = 0;
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
    Display *display = Xdo()->xdpy;
    return Rect{0, 0, DisplayWidth(display, DefaultScreen(display)),
                DisplayHeight(display, DefaultScreen(display))};
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
    for (int y = 0; y < region.height; ++y) {
        for (int x = 0; x < region.width; ++x) {
            image.pixels.push_back(static_cast<uint32_t>(XGetPixel(shot, x, y) & RGB_BITS));
        }
    }
    XDestroyImage(shot);
    return AssertionSuccess();
}

const Image &BoardPicture(int size) {
    static std::map<int, Image> pictures;
    Image &picture = pictures[size];
    const int edge = expected::BOARD_EDGE;
    if (picture.pixels.empty() && size >= expected::SMALLEST_SIZE &&
        size <= expected::LARGEST_SIZE) {
        picture = ReadBmpFile(std::string(GLIDORA_E2E_RES_DIR "/") +
                              expected::PICTURE_FILES[size - expected::SMALLEST_SIZE]);
    }
    if (picture.width != edge || picture.height != edge) {
        ADD_FAILURE() << "no " << edge << "-pixel board picture in res/ for size " << size;
        // Black instead, so that every comparison with it fails.
        picture = Image{edge, edge, std::vector<uint32_t>(static_cast<size_t>(edge) * edge)};
    }
    return picture;
}

// Cells and squares are placed by the pictures' own grid, never by the
// game's arithmetic, so that a slip there shows on the screen.
Image PictureSquare(int size, int col, int row) {
    const int edge = expected::BOARD_EDGE / size;
    return Crop(BoardPicture(size), Rect{col * edge, row * edge, edge, edge});
}

Image RenderEngineBoard() {
    const Image &picture = BoardPicture(boardSize);
    Image board{picture.width, picture.height, std::vector<uint32_t>(picture.pixels.size())};
    const int edge = expected::BOARD_EDGE / boardSize;
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            const Tile &tile = tiles[col][row];
            for (int y = 0; y < edge; ++y) {
                const auto from = picture.pixels.begin() + (tile.srcY + y) * picture.width;
                std::copy(from + tile.srcX, from + tile.srcX + edge,
                          board.pixels.begin() + (row * edge + y) * board.width + col * edge);
            }
        }
    }
    return board;
}

void ResetEngine(int size) {
    boardSize = size;
    ResetBoard();
}

AssertionResult LocateBoard(GameRun &run, const Image &wanted, int timeoutMs) {
    Image screen;
    Rect window;
    AssertionResult looked = AssertionSuccess();
    const bool found = PollUntil(timeoutMs, [&] {
        looked = WindowGeometry(run.mainWindow, window);
        if (looked) {
            looked = CaptureRegion(ScreenRect(), screen);
        }
        return !looked || FindInWindow(screen, wanted, window, run.boardOrigin);
    });
    if (looked && !found) {
        return AssertionFailure() << "the expected board is nowhere in the window at " << window.x
                                  << "," << window.y << " size " << window.width << "x"
                                  << window.height << "; see "
                                  << SaveFailure("locate-board", screen, wanted);
    }
    std::vector<std::string> lines;
    looked = looked ? ReadWindowTexts(expected::WINDOW_TITLE, lines) : looked;
    const auto origin = [&run](const std::string &line) {
        return std::sscanf(line.c_str(), "client\t%d\t%d", &run.inputOrigin.x,
                           &run.inputOrigin.y) == 2;
    };
    return looked ? Did(std::any_of(lines.begin(), lines.end(), origin),
                        "find the client origin in the window probe's output")
                  : looked;
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
    return AssertionFailure() << label << ": the board differs from the prediction after "
                              << timeoutMs << " ms; see " << SaveFailure(label, shown, wanted);
}

AssertionResult BoardHolds(const GameRun &run, const Image &wanted, int holdMs,
                           const std::string &label) {
    AssertionResult now = WaitForBoard(run, wanted, 0, label);
    if (now) {
        SleepMs(holdMs);
    }
    return now ? WaitForBoard(run, wanted, 0, label + " (later)") : now;
}

const char *KeyName(int direction) {
    // By direction code; anything else counts as Down.
    constexpr const char *NAMES[] = {"Left", "Right", "Up", "Down"};
    return NAMES[std::clamp(direction, int{MoveLeft}, int{MoveDown})];
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
    AssertionResult read = WaitForWindow(expected::WIN_CAPTION, WIN_BOX_MS, box);
    read = read ? ReadWindowTexts(expected::WIN_CAPTION, lines) : read;
    const auto isButton = [](const std::string &line) { return line.starts_with("child\tButton"); };
    if (!read || (HasLine(lines, std::string("window\t") + expected::WIN_CAPTION + "\t" +
                                     expected::WINDOW_TITLE) &&
                  HasLine(lines, std::string("child\tStatic\t") + expected::WIN_TEXT) &&
                  HasLine(lines, "child\tButton\tOK") &&
                  std::count_if(lines.begin(), lines.end(), isButton) == 1)) {
        return read;
    }
    AssertionResult wrong = AssertionFailure() << "the win box reads:";
    for (const std::string &line : lines) {
        wrong << " | " << line;
    }
    return wrong;
}

AssertionResult DismissWinBox(WindowId box, const std::string &key) {
    AssertionResult pressed = PressKeys(box, {key});
    return pressed ? WaitForNoWindow(expected::WIN_CAPTION, WIN_BOX_MS) : pressed;
}
