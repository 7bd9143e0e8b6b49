#include "e2e_harness.h"

#include "engine/board.h"

extern "C" {
#include <xdo.h>
}
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>
#include <type_traits>

using testing::AssertionFailure;
using testing::AssertionResult;
using testing::AssertionSuccess;

static_assert(std::is_same_v<WindowId, Window>);

namespace {

constexpr int GAME_WINDOW_MS = 120000;
constexpr int LOCATE_BOARD_MS = 20000;
constexpr int PROBE_MS = 30000;
constexpr int WIN_BOX_MS = 10000;
// Screen reads and window searches are cheap calls in this process: polling
// often costs Wine little of the two cores.
constexpr int POLL_MS = 10;
constexpr int MENU_KEY_DELAY_MS = 150; // lets the menu open before the letter
constexpr int LEFT_BUTTON = 1;
constexpr useconds_t MICROSECONDS_PER_MS = 1000;
constexpr unsigned long RGB_MASK = 0xFFFFFF;
constexpr char HOW_TO_RUN[] =
    "The end-to-end tests play the game on an X display: run them under scripts/test.sh, or as "
    "xvfb-run -a -s \"-screen 0 1024x768x24\" ctest --preset " GLIDORA_E2E_TEST_PRESET;

using Clock = std::chrono::steady_clock;

Clock::time_point Deadline(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A failed request (a window that has just gone, say) must fail the call that
// made it, not end the test program as Xlib's default handler would.
int IgnoreXError(Display *, XErrorEvent *) {
    return 0;
}

// The one connection to the test command's display, opened on first use.
xdo_t *Xdo() {
    static xdo_t *const xdo = [] {
        xdo_t *opened = xdo_new(nullptr);
        if (opened != nullptr) {
            XSetErrorHandler(IgnoreXError);
            // The game and Wine's servers, started from here, must not hold it.
            fcntl(ConnectionNumber(opened->xdpy), F_SETFD, FD_CLOEXEC);
        }
        return opened;
    }();
    return xdo;
}

AssertionResult DisplayReady() {
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return AssertionFailure() << "DISPLAY is not set. " << HOW_TO_RUN;
    }
    if (Xdo() == nullptr) {
        return AssertionFailure() << "no X server answers at DISPLAY=" << display << ". "
                                  << HOW_TO_RUN;
    }
    const Visual *visual = DefaultVisual(Xdo()->xdpy, DefaultScreen(Xdo()->xdpy));
    if (visual->red_mask != 0xFF0000 || visual->green_mask != 0x00FF00 ||
        visual->blue_mask != 0x0000FF) {
        return AssertionFailure() << "DISPLAY=" << display << " is no 24-bit colour display. "
                                  << HOW_TO_RUN;
    }
    return AssertionSuccess();
}

std::string SafeFileName(const std::string &label) {
    std::string name = label;
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) == 0; }, '_');
    return name;
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        // Windows programs end their lines with CR LF.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string> &lines) {
    std::string joined;
    for (const std::string &line : lines) {
        joined += (joined.empty() ? "" : " | ") + line;
    }
    return joined;
}

std::string DescribeWaitStatus(int status) {
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return "exited with code " + std::to_string(WEXITSTATUS(status));
}

// Starts a Windows program through the project's one Wine wrapper, in the
// suite's prefix. It dies with this test program, however that ends.
pid_t StartWineProgram(const std::vector<std::string> &program, bool bufferOutput, int output,
                       int errors, const char *wineDebug) {
    std::vector<std::string> argv = {GLIDORA_E2E_SCRIPTS_DIR "/wine-run.sh", "--arch",
                                     GLIDORA_E2E_WINE_ARCH};
    if (bufferOutput) {
        argv.emplace_back("--buffer-output");
    }
    argv.emplace_back(GLIDORA_E2E_BUILD_DIR "/wineprefix");
    argv.insert(argv.end(), program.begin(), program.end());
    std::vector<char *> pointers;
    for (std::string &argument : argv) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(errors, STDERR_FILENO);
        if (wineDebug != nullptr) {
            setenv("WINEDEBUG", wineDebug, 1);
        }
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    return pid;
}

// Reads `fd` to its end; false when that takes longer than `timeoutMs`.
bool ReadToEnd(int fd, int timeoutMs, std::string &text) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    char buffer[4096];
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, MsLeft(deadline)) <= 0) {
            return false;
        }
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            return true;
        }
        text.append(buffer, static_cast<size_t>(count));
    }
}

AssertionResult StartGame(GameRun &run) {
    if (access(GLIDORA_E2E_GAME_EXE, R_OK) != 0) {
        return AssertionFailure() << "no game at " GLIDORA_E2E_GAME_EXE "; build it first";
    }
    // One log per test, so that a failing test's Wine output survives the others.
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string directory = GLIDORA_E2E_BUILD_DIR "/e2e-logs";
    mkdir(directory.c_str(), 0755);
    const std::string log =
        directory + "/" + SafeFileName(std::string(test->test_suite_name()) + "." + test->name()) +
        ".log";
    const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0) {
        return AssertionFailure() << "cannot write " << log;
    }
    // wine-run.sh execs Wine, which runs the game in this very process: its
    // exit status is the game's exit code. Wine's own errors go to the log.
    run.gamePid = StartWineProgram({GLIDORA_E2E_GAME_EXE}, false, output, output, "-all,err+all");
    run.gameEnded = false;
    close(output);
    if (run.gamePid < 0) {
        return AssertionFailure() << "fork: " << std::strerror(errno);
    }
    return AssertionSuccess();
}

AssertionResult WaitForGameWindow(GameRun &run) {
    const Clock::time_point deadline = Deadline(GAME_WINDOW_MS);
    for (;;) {
        const std::vector<WindowId> windows = FindWindows(expected::WINDOW_TITLE);
        if (windows.size() == 1) {
            run.mainWindow = windows.front();
            return AssertionSuccess();
        }
        if (!GameAlive(run)) {
            return AssertionFailure() << "the game ended before showing its window, "
                                      << DescribeWaitStatus(run.gameWaitStatus);
        }
        if (MsLeft(deadline) == 0) {
            return AssertionFailure() << "no single window titled " << expected::WINDOW_TITLE
                                      << " appeared (" << windows.size() << " found)";
        }
        SleepMs(POLL_MS);
    }
}

std::string WindowName(Window window) {
    char *name = nullptr;
    if (XFetchName(Xdo()->xdpy, window, &name) == 0 || name == nullptr) {
        return "";
    }
    const std::string text = name;
    XFree(name);
    return text;
}

std::string AnchoredPattern(const std::string &text) {
    std::string pattern = "^";
    for (const char c : text) {
        if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "$";
}

// Pixel rows are compared whole; `corners` bounds where needle's top-left may lie.
bool FindImage(const Image &haystack, const Image &needle, const Rect &corners, Point &found) {
    const int right = std::min(corners.x + corners.width, haystack.width - needle.width + 1);
    const int bottom = std::min(corners.y + corners.height, haystack.height - needle.height + 1);
    for (int y = std::max(corners.y, 0); y < bottom; ++y) {
        for (int x = std::max(corners.x, 0); x < right; ++x) {
            bool same = true;
            for (int row = 0; row < needle.height && same; ++row) {
                const auto needleRow = needle.pixels.begin() + row * needle.width;
                const auto shownRow =
                    haystack.pixels.begin() + static_cast<ptrdiff_t>(y + row) * haystack.width + x;
                same = std::equal(needleRow, needleRow + needle.width, shownRow);
            }
            if (same) {
                found = Point{x, y};
                return true;
            }
        }
    }
    return false;
}

// Saves what was shown beside what was expected, for a person to compare.
std::string SaveFailure(const std::string &label, const Image &shown, const Image &wanted) {
    const std::string directory = GLIDORA_E2E_BUILD_DIR "/e2e-failures";
    mkdir(directory.c_str(), 0755);
    const std::string base = directory + "/" + SafeFileName(label);
    WritePpm(base + "-shown.ppm", shown);
    WritePpm(base + "-expected.ppm", wanted);
    return base + "-*.ppm";
}

Rect CellRect(int col, int row) {
    return Rect{CellOrigin(col), CellOrigin(row), CellOrigin(col + 1) - CellOrigin(col),
                CellOrigin(row + 1) - CellOrigin(row)};
}

std::string DifferingCells(const Image &shown, const Image &wanted) {
    std::ostringstream cells;
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            if (!SameImage(Crop(shown, CellRect(col, row)), Crop(wanted, CellRect(col, row)))) {
                cells << " (" << col << "," << row << ")";
            }
        }
    }
    return cells.str().empty() ? " none of a " + std::to_string(boardSize) + "x" +
                                     std::to_string(boardSize) + " grid"
                               : cells.str();
}

AssertionResult LocateClientInput(GameRun &run) {
    std::vector<std::string> lines;
    if (AssertionResult read = ReadWindowTexts(expected::WINDOW_TITLE, lines); !read) {
        return read;
    }
    for (const std::string &line : lines) {
        if (std::sscanf(line.c_str(), "client\t%d\t%d", &run.inputOrigin.x, &run.inputOrigin.y) ==
            2) {
            return AssertionSuccess();
        }
    }
    return AssertionFailure() << "no client origin from the window probe: " << JoinLines(lines);
}

} // namespace

void SleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Rect ScreenRect() {
    Display *display = Xdo()->xdpy;
    return Rect{0, 0, DisplayWidth(display, DefaultScreen(display)),
                DisplayHeight(display, DefaultScreen(display))};
}

Rect BoardRect(const GameRun &run) {
    return Rect{run.boardOrigin.x, run.boardOrigin.y, expected::BOARD_EDGE, expected::BOARD_EDGE};
}

// --- The game process ------------------------------------------------------

AssertionResult LaunchGame(GameRun &run) {
    if (AssertionResult ready = DisplayReady(); !ready) {
        return ready;
    }
    if (AssertionResult started = StartGame(run); !started) {
        return started;
    }
    if (AssertionResult shown = WaitForGameWindow(run); !shown) {
        return shown;
    }
    ResetEngine(expected::START_SIZE);
    if (AssertionResult located = LocateBoard(run, RenderEngineBoard(), LOCATE_BOARD_MS);
        !located) {
        return located;
    }
    // The board's picture starts at the client area's first pixel.
    if (run.boardOrigin.x != run.inputOrigin.x || run.boardOrigin.y != run.inputOrigin.y) {
        return AssertionFailure() << "the board shows at " << run.boardOrigin.x << ","
                                  << run.boardOrigin.y << " but the client area starts at "
                                  << run.inputOrigin.x << "," << run.inputOrigin.y;
    }
    return AssertionSuccess();
}

void EndGame(GameRun &run) {
    if (GameAlive(run)) {
        kill(run.gamePid, SIGKILL);
        waitpid(run.gamePid, &run.gameWaitStatus, 0);
        run.gameEnded = true;
    }
}

bool GameAlive(GameRun &run) {
    if (run.gamePid <= 0 || run.gameEnded) {
        return false;
    }
    run.gameEnded = waitpid(run.gamePid, &run.gameWaitStatus, WNOHANG) == run.gamePid;
    return !run.gameEnded;
}

AssertionResult WaitForGameExit(GameRun &run, int timeoutMs, int expectedExitCode) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    while (GameAlive(run)) {
        if (MsLeft(deadline) == 0) {
            return AssertionFailure() << "the game is still running after " << timeoutMs << " ms";
        }
        SleepMs(POLL_MS);
    }
    if (run.gamePid <= 0) {
        return AssertionFailure() << "the game was never started";
    }
    const int status = run.gameWaitStatus;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedExitCode) {
        return AssertionFailure() << "the game " << DescribeWaitStatus(status) << ", expected code "
                                  << expectedExitCode;
    }
    return AssertionSuccess();
}

AssertionResult ReadWindowTexts(const std::string &caption, std::vector<std::string> &lines) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return AssertionFailure() << "pipe: " << std::strerror(errno);
    }
    // Buffered, so that the pipe closes when the probe ends even if it was
    // the Wine program that started the prefix's servers.
    const pid_t pid =
        StartWineProgram({GLIDORA_E2E_PROBE_EXE, caption}, true, fds[1], STDERR_FILENO, nullptr);
    close(fds[1]);
    std::string output;
    const bool finished = pid > 0 && ReadToEnd(fds[0], PROBE_MS, output);
    close(fds[0]);
    int status = 0;
    if (pid > 0) {
        if (!finished) {
            kill(pid, SIGKILL);
        }
        waitpid(pid, &status, 0);
    }
    const int code = finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    switch (code) {
    case 0:
        lines = SplitLines(output);
        return AssertionSuccess();
    case 1:
        return AssertionFailure() << "no visible window titled \"" << caption << "\"";
    case 3:
        return AssertionFailure() << "several visible windows titled \"" << caption << "\"";
    default:
        return AssertionFailure() << "the window text probe failed (" << code << "): " << output;
    }
}

// --- X windows and input ---------------------------------------------------

std::vector<WindowId> FindWindows(const std::string &caption) {
    const std::string pattern = AnchoredPattern(caption);
    xdo_search_t search{};
    search.winname = pattern.c_str();
    search.searchmask = SEARCH_NAME | SEARCH_ONLYVISIBLE;
    search.only_visible = 1;
    search.max_depth = -1;
    search.require = xdo_search_t::SEARCH_ANY;
    Window *found = nullptr;
    unsigned int count = 0;
    xdo_search_windows(Xdo(), &search, &found, &count);
    std::vector<WindowId> windows;
    for (unsigned int i = 0; i < count; ++i) {
        // libxdo ignores case; a caption must match exactly.
        if (WindowName(found[i]) == caption) {
            windows.push_back(found[i]);
        }
    }
    std::free(found);
    return windows;
}

AssertionResult WaitForWindow(const std::string &caption, int timeoutMs, WindowId &window) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    for (;;) {
        const std::vector<WindowId> windows = FindWindows(caption);
        if (windows.size() == 1) {
            window = windows.front();
            return AssertionSuccess();
        }
        if (windows.size() > 1) {
            return AssertionFailure() << windows.size() << " windows are titled " << caption;
        }
        if (MsLeft(deadline) == 0) {
            return AssertionFailure()
                   << "no window titled " << caption << " within " << timeoutMs << " ms";
        }
        SleepMs(POLL_MS);
    }
}

AssertionResult WaitForNoWindow(const std::string &caption, int timeoutMs) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    while (!FindWindows(caption).empty()) {
        if (MsLeft(deadline) == 0) {
            return AssertionFailure() << "a window titled " << caption << " is still there after "
                                      << timeoutMs << " ms";
        }
        SleepMs(POLL_MS);
    }
    return AssertionSuccess();
}

AssertionResult WindowGeometry(WindowId window, Rect &geometry) {
    int x = 0;
    int y = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    if (xdo_get_window_location(Xdo(), window, &x, &y, nullptr) != XDO_SUCCESS ||
        xdo_get_window_size(Xdo(), window, &width, &height) != XDO_SUCCESS) {
        return AssertionFailure() << "no geometry for window " << window;
    }
    geometry = Rect{x, y, static_cast<int>(width), static_cast<int>(height)};
    return AssertionSuccess();
}

AssertionResult FocusWindow(WindowId window) {
    if (xdo_focus_window(Xdo(), window) != XDO_SUCCESS ||
        xdo_wait_for_window_focus(Xdo(), window, 1) != XDO_SUCCESS) {
        return AssertionFailure() << "could not focus window " << window;
    }
    return AssertionSuccess();
}

AssertionResult TypeKeys(const std::vector<std::string> &keys, int delayMs) {
    const auto delay = static_cast<useconds_t>(delayMs) * MICROSECONDS_PER_MS;
    for (const std::string &key : keys) {
        if (xdo_send_keysequence_window(Xdo(), CURRENTWINDOW, key.c_str(), delay) != XDO_SUCCESS) {
            return AssertionFailure() << "could not press " << key;
        }
    }
    return AssertionSuccess();
}

AssertionResult PressKeys(WindowId window, const std::vector<std::string> &keys, int delayMs) {
    if (AssertionResult focused = FocusWindow(window); !focused) {
        return focused;
    }
    return TypeKeys(keys, delayMs);
}

AssertionResult ClickScreen(int x, int y) {
    if (xdo_move_mouse(Xdo(), x, y, 0) != XDO_SUCCESS ||
        xdo_click_window(Xdo(), CURRENTWINDOW, LEFT_BUTTON) != XDO_SUCCESS) {
        return AssertionFailure() << "could not click at " << x << "," << y;
    }
    return AssertionSuccess();
}

AssertionResult ClickClient(const GameRun &run, int clientX, int clientY) {
    return ClickScreen(run.inputOrigin.x + clientX, run.inputOrigin.y + clientY);
}

AssertionResult ChooseMenuItem(const GameRun &run, const std::string &mnemonic) {
    return PressKeys(run.mainWindow, {"alt+g", mnemonic}, MENU_KEY_DELAY_MS);
}

// --- Screen ----------------------------------------------------------------

AssertionResult CaptureRegion(const Rect &region, Image &image) {
    Display *display = Xdo()->xdpy;
    XImage *shot = XGetImage(display, DefaultRootWindow(display), region.x, region.y,
                             static_cast<unsigned int>(region.width),
                             static_cast<unsigned int>(region.height), AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return AssertionFailure() << "could not read the screen at " << region.x << "," << region.y
                                  << " size " << region.width << "x" << region.height;
    }
    image = Image{region.width, region.height, {}};
    image.pixels.reserve(static_cast<size_t>(region.width) * region.height);
    for (int y = 0; y < region.height; ++y) {
        for (int x = 0; x < region.width; ++x) {
            image.pixels.push_back(static_cast<uint32_t>(XGetPixel(shot, x, y) & RGB_MASK));
        }
    }
    XDestroyImage(shot);
    return AssertionSuccess();
}

// --- Pictures and the engine ----------------------------------------------

const Image &BoardPicture(int size) {
    static std::map<int, Image> pictures;
    if (auto known = pictures.find(size); known != pictures.end()) {
        return known->second;
    }
    const bool known = size >= expected::SMALLEST_SIZE && size <= expected::LARGEST_SIZE;
    const std::string path = std::string(GLIDORA_E2E_RES_DIR "/") +
                             (known ? expected::PICTURE_FILES[size - expected::SMALLEST_SIZE] : "");
    std::string why = "no picture for this size";
    Image picture = known ? ReadBmpFile(path, &why) : Image{};
    if (picture.width != expected::BOARD_EDGE || picture.height != expected::BOARD_EDGE) {
        ADD_FAILURE() << "board picture for size " << size << " (" << path << "): " << why;
        // Black instead, so that every comparison with it fails.
        picture = Image{expected::BOARD_EDGE, expected::BOARD_EDGE,
                        std::vector<uint32_t>(expected::BOARD_EDGE * expected::BOARD_EDGE)};
    }
    return pictures.emplace(size, picture).first->second;
}

Image PictureSquare(int size, int col, int row) {
    // From the picture alone, not from the engine's CellOrigin.
    const int edge = expected::BOARD_EDGE / size;
    return Crop(BoardPicture(size), Rect{col * edge, row * edge, edge, edge});
}

Image RenderEngineBoard() {
    const Image &picture = BoardPicture(boardSize);
    Image board{picture.width, picture.height, std::vector<uint32_t>(picture.pixels.size())};
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            const Rect cell = CellRect(col, row);
            const Tile &tile = tiles[col][row];
            for (int y = 0; y < cell.height; ++y) {
                const auto from = picture.pixels.begin() +
                                  static_cast<ptrdiff_t>(tile.srcY + y) * picture.width + tile.srcX;
                std::copy(from, from + cell.width,
                          board.pixels.begin() + static_cast<ptrdiff_t>(cell.y + y) * board.width +
                              cell.x);
            }
        }
    }
    return board;
}

void ResetEngine(int size) {
    boardSize = size;
    ResetBoard();
}

// --- The board on screen ---------------------------------------------------

AssertionResult LocateBoard(GameRun &run, const Image &wanted, int timeoutMs) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    Image screen;
    Rect window;
    for (;;) {
        if (AssertionResult measured = WindowGeometry(run.mainWindow, window); !measured) {
            return measured;
        }
        if (AssertionResult captured = CaptureRegion(ScreenRect(), screen); !captured) {
            return captured;
        }
        // The client area lies inside the window, so its top-left corner does.
        const Rect corners{window.x, window.y, window.width - wanted.width + 1,
                           window.height - wanted.height + 1};
        if (FindImage(screen, wanted, corners, run.boardOrigin)) {
            return LocateClientInput(run);
        }
        if (MsLeft(deadline) == 0) {
            return AssertionFailure()
                   << "the expected board is nowhere in the window at " << window.x << ","
                   << window.y << " size " << window.width << "x" << window.height << "; see "
                   << SaveFailure("locate-board", screen, wanted);
        }
        SleepMs(POLL_MS);
    }
}

AssertionResult WaitForBoard(const GameRun &run, const Image &wanted, int timeoutMs,
                             const std::string &label) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    Image shown;
    for (;;) {
        if (AssertionResult captured = CaptureRegion(BoardRect(run), shown); !captured) {
            return captured;
        }
        if (SameImage(shown, wanted)) {
            return AssertionSuccess();
        }
        if (MsLeft(deadline) == 0) {
            return AssertionFailure() << label << ": the board differs from the prediction in cells"
                                      << DifferingCells(shown, wanted) << " after " << timeoutMs
                                      << " ms; see " << SaveFailure(label, shown, wanted);
        }
        SleepMs(POLL_MS);
    }
}

AssertionResult BoardHolds(const GameRun &run, const Image &wanted, int holdMs,
                           const std::string &label) {
    if (AssertionResult now = WaitForBoard(run, wanted, 0, label); !now) {
        return now;
    }
    SleepMs(holdMs);
    return WaitForBoard(run, wanted, 0, label + " (later)");
}

// --- Replaying input on the engine ----------------------------------------

const char *KeyName(int direction) {
    switch (direction) {
    case MoveLeft:
        return "Left";
    case MoveRight:
        return "Right";
    case MoveUp:
        return "Up";
    default:
        return "Down";
    }
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

// --- The win box -----------------------------------------------------------

AssertionResult CheckWinBox(WindowId &box) {
    if (AssertionResult shown = WaitForWindow(expected::WIN_CAPTION, WIN_BOX_MS, box); !shown) {
        return shown;
    }
    std::vector<std::string> lines;
    if (AssertionResult read = ReadWindowTexts(expected::WIN_CAPTION, lines); !read) {
        return read;
    }
    const std::string ownedByGame =
        std::string("window\t") + expected::WIN_CAPTION + "\t" + expected::WINDOW_TITLE;
    const std::string congratulates = std::string("child\tStatic\t") + expected::WIN_TEXT;
    const std::string button = "child\tButton\t";
    const auto has = [&lines](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    std::vector<std::string> buttons;
    for (const std::string &line : lines) {
        if (line.rfind(button, 0) == 0) {
            buttons.push_back(line.substr(button.size()));
        }
    }
    if (!has(ownedByGame) || !has(congratulates) || buttons != std::vector<std::string>{"OK"}) {
        return AssertionFailure() << "the win box reads: " << JoinLines(lines);
    }
    return AssertionSuccess();
}

AssertionResult DismissWinBox(WindowId box, const std::string &key) {
    if (AssertionResult pressed = PressKeys(box, {key}); !pressed) {
        return pressed;
    }
    return WaitForNoWindow(expected::WIN_CAPTION, WIN_BOX_MS);
}
