#include "e2e_harness.h"

#include "engine/board.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

using testing::AssertionFailure;
using testing::AssertionResult;
using testing::AssertionSuccess;

namespace {

constexpr int XVFB_START_MS = 15000;
// The first run creates the Wine prefix, which takes far longer than a start.
constexpr int PREFIX_SETUP_MS = 240000;
constexpr int GAME_WINDOW_MS = 120000;
constexpr int WINESERVER_MS = 60000;
constexpr int XDOTOOL_MS = 10000;
constexpr int IMPORT_MS = 10000;
constexpr int PROBE_MS = 30000;
constexpr int POLL_MS = 25;
constexpr int BYTES_PER_PIXEL = 3;
constexpr int BMP_HEADER_BYTES = 54;

using Clock = std::chrono::steady_clock;

Clock::time_point Deadline(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string WinePrefix() {
    return std::string(GLIDORA_E2E_BUILD_DIR) + "/wineprefix";
}

std::string WineRunScript() {
    return std::string(GLIDORA_E2E_SCRIPTS_DIR) + "/wine-run.sh";
}

// An argument vector for exec, valid while `argv` lives.
std::vector<char *> ArgumentPointers(const std::vector<std::string> &argv) {
    std::vector<char *> arguments;
    for (const std::string &argument : argv) {
        arguments.push_back(const_cast<char *>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    return arguments;
}

// The command that runs a Windows program of the game's kind in the prefix.
std::vector<std::string> WineRun(const std::vector<std::string> &program) {
    std::vector<std::string> command = {WineRunScript(), "--arch", GLIDORA_E2E_WINE_ARCH,
                                        WinePrefix()};
    command.insert(command.end(), program.begin(), program.end());
    return command;
}

std::string WinePrefixVariable() {
    return "WINEPREFIX=" + WinePrefix();
}

// Children must not outlive the test program, whatever ends it: the kernel
// kills them when it goes, and Wine winds down once its X display is gone.
void DieWithParent() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

void RedirectStandardInputFromNull() {
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        close(null);
    }
}

bool ReadFile(const std::string &path, std::string &contents) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
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

std::string Describe(const CommandResult &result) {
    std::ostringstream text;
    if (!result.finished) {
        text << "timed out";
    } else {
        text << "exit code " << result.exitCode;
    }
    if (!result.errors.empty()) {
        text << ", stderr: " << result.errors.substr(0, 400);
    }
    return text.str();
}

std::string JoinWords(const std::vector<std::string> &words) {
    std::string joined;
    for (const std::string &word : words) {
        joined += (joined.empty() ? "" : " ") + word;
    }
    return joined;
}

// Reads what is already in the pipe without waiting; used once the child has
// gone, since a daemon it started (wineserver) may hold the pipe open.
void DrainPipe(int fd, std::string &sink) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            return;
        }
        sink.append(buffer, static_cast<size_t>(count));
    }
}

AssertionResult KillWineServer() {
    const CommandResult result =
        RunCommand({"wineserver", "-k"}, WINESERVER_MS, {WinePrefixVariable()});
    if (!result.finished) {
        return AssertionFailure() << "wineserver -k did not return";
    }
    return AssertionSuccess();
}

// Unmanaged windows: Wine draws every frame itself and handles maximising and
// the close box without a window manager, while each top-level window stays a
// separate X window named by its caption.
bool PrefixHasUnmanagedWindows() {
    std::string registry;
    if (!ReadFile(WinePrefix() + "/user.reg", registry)) {
        return false;
    }
    const size_t section = registry.find("[Software\\\\Wine\\\\X11 Driver]");
    if (section == std::string::npos) {
        return false;
    }
    const size_t sectionEnd = registry.find("\n[", section + 1);
    const size_t value = registry.find("\"Managed\"=\"N\"", section);
    return value != std::string::npos && value < sectionEnd;
}

AssertionResult PreparePrefix() {
    if (PrefixHasUnmanagedWindows()) {
        return AssertionSuccess();
    }
    const CommandResult added =
        RunCommand(WineRun({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d",
                            "N", "/f"}),
                   PREFIX_SETUP_MS);
    if (!added.finished || added.exitCode != 0) {
        return AssertionFailure() << "could not configure the Wine prefix: " << Describe(added);
    }
    // The registry reaches user.reg when the server ends.
    const CommandResult waited =
        RunCommand({"wineserver", "-w"}, WINESERVER_MS, {WinePrefixVariable()});
    if (!waited.finished) {
        return AssertionFailure() << "wineserver -w did not return";
    }
    if (!PrefixHasUnmanagedWindows()) {
        return AssertionFailure() << "the prefix still lets a window manager own the windows";
    }
    return AssertionSuccess();
}

AssertionResult StartDisplay(GameRun &run) {
    int fds[2];
    if (pipe(fds) != 0) {
        return AssertionFailure() << "pipe: " << std::strerror(errno);
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string writeEnd = std::to_string(fds[1]);
    const std::string screen =
        std::to_string(SCREEN_WIDTH) + "x" + std::to_string(SCREEN_HEIGHT) + "x24";
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        DieWithParent();
        RedirectStandardInputFromNull();
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", "-displayfd", writeEnd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return AssertionFailure() << "fork: " << std::strerror(errno);
    }
    run.xvfbPid = pid;
    // Xvfb writes the display number it chose once it accepts clients.
    std::string number;
    const Clock::time_point deadline = Deadline(XVFB_START_MS);
    while (number.find('\n') == std::string::npos && MsLeft(deadline) > 0) {
        pollfd readable{fds[0], POLLIN, 0};
        if (poll(&readable, 1, MsLeft(deadline)) <= 0) {
            continue;
        }
        char buffer[32];
        const ssize_t count = read(fds[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        number.append(buffer, static_cast<size_t>(count));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        return AssertionFailure() << "Xvfb did not report a display";
    }
    number.erase(number.find('\n'));
    run.display = ":" + number;
    setenv("DISPLAY", run.display.c_str(), 1);
    return AssertionSuccess();
}

std::string SafeFileName(const std::string &label) {
    std::string name;
    for (const char c : label) {
        name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return name;
}

AssertionResult StartGameProcess(GameRun &run) {
    const std::string game = GLIDORA_E2E_GAME_EXE;
    if (access(game.c_str(), R_OK) != 0) {
        return AssertionFailure() << "no game at " << game
                                  << "; build it first with the windows preset";
    }
    // One log per test, so a failing test's Wine output survives later tests.
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name =
        test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "game";
    const std::string directory = std::string(GLIDORA_E2E_BUILD_DIR) + "/e2e-logs";
    mkdir(directory.c_str(), 0755);
    const std::string log = directory + "/" + SafeFileName(name) + ".log";
    const std::vector<std::string> command = WineRun({game});
    std::vector<char *> arguments = ArgumentPointers(command);
    const pid_t pid = fork();
    if (pid == 0) {
        DieWithParent();
        RedirectStandardInputFromNull();
        // Wine's own errors only: what a game that fails to start leaves behind.
        setenv("WINEDEBUG", "-all,err+all", 1);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output >= 0) {
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
            close(output);
        }
        // wine-run.sh execs wine, which keeps this pid for the game's process,
        // so its exit status is the game's exit code.
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    if (pid < 0) {
        return AssertionFailure() << "fork: " << std::strerror(errno);
    }
    run.gamePid = pid;
    run.gameEnded = false;
    return AssertionSuccess();
}

std::string DifferingCells(const Image &shown, const Image &expected) {
    if (shown.width != expected.width || shown.height != expected.height) {
        return "sizes differ";
    }
    const int size = boardSize;
    std::ostringstream cells;
    for (int col = 0; col < size; ++col) {
        for (int row = 0; row < size; ++row) {
            const Rect cell{col * BOARD_PIXELS / size, row * BOARD_PIXELS / size,
                            BOARD_PIXELS / size, BOARD_PIXELS / size};
            if (!SameImage(Crop(shown, cell), Crop(expected, cell))) {
                cells << " (" << col << "," << row << ")";
            }
        }
    }
    return cells.str().empty() ? "none of the cells of a " + std::to_string(size) + "x" +
                                     std::to_string(size) + " grid"
                               : cells.str();
}

std::string DescribeWaitStatus(int status) {
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return "exited with code " + std::to_string(WEXITSTATUS(status));
}

// Wine's server and its helper processes detach from the process that starts
// them. As a subreaper this program adopts them instead of init, so it can
// reap them and, should one outlive its prefix's shutdown, end it by pid.
void AdoptDetachedDescendants() {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::vector<pid_t> ChildProcesses() {
    std::vector<pid_t> children;
    const std::string self = std::to_string(getpid());
    std::string list;
    if (!ReadFile("/proc/self/task/" + self + "/children", list)) {
        return children;
    }
    std::istringstream stream(list);
    pid_t child = 0;
    while (stream >> child) {
        children.push_back(child);
    }
    return children;
}

void ReapAdoptedProcesses() {
    Clock::time_point deadline = Deadline(10000);
    bool killed = false;
    for (;;) {
        int status = 0;
        const pid_t reaped = waitpid(-1, &status, WNOHANG);
        if (reaped > 0) {
            continue;
        }
        if (reaped < 0) {
            return; // no children left
        }
        if (MsLeft(deadline) == 0) {
            if (killed) {
                return;
            }
            for (const pid_t child : ChildProcesses()) {
                kill(child, SIGKILL);
            }
            killed = true;
            deadline = Deadline(5000);
        }
        SleepMs(POLL_MS);
    }
}

AssertionResult LoadBmp(const std::string &path, Image &image) {
    std::string file;
    if (!ReadFile(path, file)) {
        return AssertionFailure() << "cannot read " << path;
    }
    if (file.size() < BMP_HEADER_BYTES || file[0] != 'B' || file[1] != 'M') {
        return AssertionFailure() << path << " is not a BMP file";
    }
    const auto u32 = [&file](size_t at) {
        uint32_t value = 0;
        std::memcpy(&value, file.data() + at, sizeof value);
        return value;
    };
    const auto u16 = [&file](size_t at) {
        uint16_t value = 0;
        std::memcpy(&value, file.data() + at, sizeof value);
        return value;
    };
    const uint32_t pixelsAt = u32(10);
    const auto width = static_cast<int32_t>(u32(18));
    const auto height = static_cast<int32_t>(u32(22));
    if (u16(28) != 24 || u32(30) != 0 || width <= 0 || height <= 0) {
        return AssertionFailure() << path << " is not a bottom-up 24-bit BI_RGB bitmap";
    }
    const size_t stride = (static_cast<size_t>(width) * BYTES_PER_PIXEL + 3) & ~size_t{3};
    if (pixelsAt + stride * static_cast<size_t>(height) > file.size()) {
        return AssertionFailure() << path << " is truncated";
    }
    image.width = width;
    image.height = height;
    image.rgb.assign(static_cast<size_t>(width) * height * BYTES_PER_PIXEL, 0);
    for (int y = 0; y < height; ++y) {
        const char *source = file.data() + pixelsAt + stride * static_cast<size_t>(height - 1 - y);
        uint8_t *target = image.rgb.data() + static_cast<size_t>(y) * width * BYTES_PER_PIXEL;
        for (int x = 0; x < width; ++x) {
            // Stored blue, green, red.
            target[x * 3 + 0] = static_cast<uint8_t>(source[x * 3 + 2]);
            target[x * 3 + 1] = static_cast<uint8_t>(source[x * 3 + 1]);
            target[x * 3 + 2] = static_cast<uint8_t>(source[x * 3 + 0]);
        }
    }
    return AssertionSuccess();
}

} // namespace

void SleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

CommandResult RunCommand(const std::vector<std::string> &argv, int timeoutMs,
                         const std::vector<std::string> &environment) {
    CommandResult result;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return result;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    std::vector<char *> arguments = ArgumentPointers(argv);
    std::vector<std::string> variables = environment;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        DieWithParent();
        RedirectStandardInputFromNull();
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (std::string &variable : variables) {
            putenv(variable.data());
        }
        execvp(arguments[0], arguments.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return result;
    }
    // Also here, so that a kill on timeout reaches the group even if the
    // child has not run yet.
    setpgid(pid, pid);
    const Clock::time_point deadline = Deadline(timeoutMs);
    pollfd pipes[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.output, &result.errors};
    int status = 0;
    bool exited = false;
    bool killed = false;
    for (;;) {
        if (!exited && waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
        }
        if (exited) {
            break;
        }
        if (MsLeft(deadline) == 0) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            killed = true;
            waitpid(pid, &status, 0);
            break;
        }
        // Short waits, so that a child that has ended is noticed even when a
        // daemon it started keeps the pipes open.
        if (poll(pipes, 2, POLL_MS) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (pipes[i].fd < 0 || pipes[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t count = read(pipes[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(count));
            } else {
                close(pipes[i].fd);
                pipes[i].fd = -1;
            }
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (pipes[i].fd >= 0) {
            DrainPipe(pipes[i].fd, *sinks[i]);
            close(pipes[i].fd);
        }
    }
    result.finished = !killed;
    if (!killed && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

// --- Processes -------------------------------------------------------------

AssertionResult LaunchGame(GameRun &run) {
    AdoptDetachedDescendants();
    if (AssertionResult started = StartDisplay(run); !started) {
        return started;
    }
    // A run that was killed may have left this prefix's server behind, bound
    // to a display that no longer exists.
    if (AssertionResult killed = KillWineServer(); !killed) {
        return killed;
    }
    if (AssertionResult prepared = PreparePrefix(); !prepared) {
        return prepared;
    }
    if (AssertionResult started = StartGameProcess(run); !started) {
        return started;
    }
    const Clock::time_point deadline = Deadline(GAME_WINDOW_MS);
    for (;;) {
        const std::vector<std::string> windows = FindWindows("^Glidora$");
        if (windows.size() == 1) {
            run.mainWindow = windows.front();
            break;
        }
        if (!GameAlive(run)) {
            return AssertionFailure() << "the game ended before showing its window, "
                                      << DescribeWaitStatus(run.gameWaitStatus);
        }
        if (MsLeft(deadline) == 0) {
            return AssertionFailure()
                   << "no single window titled Glidora appeared (" << windows.size() << " found)";
        }
        SleepMs(100);
    }
    ResetEngine(START_BOARD_SIZE);
    if (AssertionResult located = LocateBoard(run, RenderEngineBoard(), 20000); !located) {
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

bool GameAlive(GameRun &run) {
    if (run.gamePid <= 0 || run.gameEnded) {
        return false;
    }
    int status = 0;
    if (waitpid(run.gamePid, &status, WNOHANG) == run.gamePid) {
        run.gameEnded = true;
        run.gameWaitStatus = status;
        return false;
    }
    return true;
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

void StopEverything(GameRun &run) {
    if (!run.display.empty()) {
        // Ends the game and every other Wine process of this prefix.
        KillWineServer();
    }
    if (run.gamePid > 0 && !run.gameEnded) {
        const Clock::time_point deadline = Deadline(5000);
        while (GameAlive(run) && MsLeft(deadline) > 0) {
            SleepMs(POLL_MS);
        }
        if (GameAlive(run)) {
            kill(run.gamePid, SIGKILL);
            waitpid(run.gamePid, &run.gameWaitStatus, 0);
            run.gameEnded = true;
        }
    }
    if (run.xvfbPid > 0) {
        kill(run.xvfbPid, SIGTERM);
        const Clock::time_point deadline = Deadline(5000);
        int status = 0;
        while (waitpid(run.xvfbPid, &status, WNOHANG) != run.xvfbPid) {
            if (MsLeft(deadline) == 0) {
                kill(run.xvfbPid, SIGKILL);
                waitpid(run.xvfbPid, &status, 0);
                break;
            }
            SleepMs(POLL_MS);
        }
        run.xvfbPid = -1;
    }
    if (!run.display.empty()) {
        unsetenv("DISPLAY");
        run.display.clear();
    }
    ReapAdoptedProcesses();
}

AssertionResult ReadWindowTexts(const std::string &caption, std::vector<std::string> &lines) {
    const CommandResult result = RunCommand(WineRun({GLIDORA_E2E_PROBE_EXE, caption}), PROBE_MS);
    if (!result.finished) {
        return AssertionFailure() << "the window text probe hung";
    }
    if (result.exitCode == 1) {
        return AssertionFailure() << "no visible window titled \"" << caption << "\"";
    }
    if (result.exitCode == 3) {
        return AssertionFailure() << "several visible windows titled \"" << caption << "\"";
    }
    if (result.exitCode != 0) {
        return AssertionFailure() << "the window text probe failed: " << Describe(result);
    }
    lines = SplitLines(result.output);
    return AssertionSuccess();
}

// --- X input and windows ---------------------------------------------------

AssertionResult Xdotool(const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const CommandResult result = RunCommand(argv, XDOTOOL_MS);
    if (!result.finished || result.exitCode != 0) {
        return AssertionFailure() << "xdotool " << JoinWords(arguments).substr(0, 200) << ": "
                                  << Describe(result);
    }
    return AssertionSuccess();
}

std::vector<std::string> FindWindows(const std::string &captionPattern) {
    // Exit code 1 only means that nothing matched.
    const CommandResult result =
        RunCommand({"xdotool", "search", "--onlyvisible", "--name", captionPattern}, XDOTOOL_MS);
    return SplitLines(result.output);
}

AssertionResult WaitForWindow(const std::string &captionPattern, int timeoutMs,
                              std::string &window) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    for (;;) {
        const std::vector<std::string> windows = FindWindows(captionPattern);
        if (windows.size() == 1) {
            window = windows.front();
            return AssertionSuccess();
        }
        if (windows.size() > 1) {
            return AssertionFailure() << windows.size() << " windows match " << captionPattern;
        }
        if (MsLeft(deadline) == 0) {
            return AssertionFailure()
                   << "no window matching " << captionPattern << " within " << timeoutMs << " ms";
        }
        SleepMs(POLL_MS);
    }
}

AssertionResult WaitForNoWindow(const std::string &captionPattern, int timeoutMs) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    while (!FindWindows(captionPattern).empty()) {
        if (MsLeft(deadline) == 0) {
            return AssertionFailure() << "a window matching " << captionPattern
                                      << " is still there after " << timeoutMs << " ms";
        }
        SleepMs(POLL_MS);
    }
    return AssertionSuccess();
}

AssertionResult WindowGeometry(const std::string &window, Rect &geometry) {
    const CommandResult result =
        RunCommand({"xdotool", "getwindowgeometry", "--shell", window}, XDOTOOL_MS);
    if (!result.finished || result.exitCode != 0) {
        return AssertionFailure() << "getwindowgeometry " << window << ": " << Describe(result);
    }
    std::map<std::string, int> values;
    for (const std::string &line : SplitLines(result.output)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
        }
    }
    if (values.count("X") == 0 || values.count("WIDTH") == 0) {
        return AssertionFailure() << "unexpected geometry output: " << result.output;
    }
    geometry = Rect{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
    return AssertionSuccess();
}

AssertionResult FocusWindow(const std::string &window) {
    return Xdotool({"windowfocus", "--sync", window});
}

AssertionResult PressKeys(const std::string &window, const std::vector<std::string> &keys,
                          int delayMs) {
    if (AssertionResult focused = FocusWindow(window); !focused) {
        return focused;
    }
    std::vector<std::string> arguments{"key", "--delay", std::to_string(delayMs)};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    return Xdotool(arguments);
}

AssertionResult ClickClient(const GameRun &run, int clientX, int clientY) {
    return Xdotool({"mousemove", std::to_string(run.inputOrigin.x + clientX),
                    std::to_string(run.inputOrigin.y + clientY), "click", "1"});
}

AssertionResult ChooseMenuItem(const GameRun &run, const std::string &mnemonic) {
    // A pause between the two keys lets the menu open before the letter.
    return PressKeys(run.mainWindow, {"alt+g", mnemonic}, 150);
}

// --- Screen ----------------------------------------------------------------

AssertionResult CaptureRegion(const Rect &region, Image &image) {
    const std::string geometry = std::to_string(region.width) + "x" +
                                 std::to_string(region.height) + "+" + std::to_string(region.x) +
                                 "+" + std::to_string(region.y);
    const CommandResult result = RunCommand(
        {"import", "-window", "root", "-crop", geometry, "-depth", "8", "rgb:-"}, IMPORT_MS);
    const size_t expected = static_cast<size_t>(region.width) * region.height * BYTES_PER_PIXEL;
    if (!result.finished || result.exitCode != 0 || result.output.size() != expected) {
        return AssertionFailure() << "import of " << geometry << ": " << Describe(result) << ", "
                                  << result.output.size() << " bytes";
    }
    image.width = region.width;
    image.height = region.height;
    image.rgb.assign(result.output.begin(), result.output.end());
    return AssertionSuccess();
}

AssertionResult CaptureScreen(Image &screen) {
    return CaptureRegion(Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, screen);
}

Image Crop(const Image &image, const Rect &region) {
    Image part{region.width, region.height, {}};
    part.rgb.reserve(static_cast<size_t>(region.width) * region.height * BYTES_PER_PIXEL);
    for (int y = region.y; y < region.y + region.height; ++y) {
        const auto start =
            image.rgb.begin() + (static_cast<ptrdiff_t>(y) * image.width + region.x) * 3;
        part.rgb.insert(part.rgb.end(), start, start + region.width * BYTES_PER_PIXEL);
    }
    return part;
}

bool SameImage(const Image &a, const Image &b) {
    return a.width == b.width && a.height == b.height && a.rgb == b.rgb;
}

bool FindImage(const Image &haystack, const Image &needle, const Rect &corners, Point &found) {
    const size_t rowBytes = static_cast<size_t>(needle.width) * BYTES_PER_PIXEL;
    for (int y = corners.y; y < corners.y + corners.height; ++y) {
        for (int x = corners.x; x < corners.x + corners.width; ++x) {
            if (x < 0 || y < 0 || x + needle.width > haystack.width ||
                y + needle.height > haystack.height) {
                continue;
            }
            bool same = true;
            for (int row = 0; row < needle.height && same; ++row) {
                const uint8_t *screenRow =
                    haystack.rgb.data() +
                    (static_cast<size_t>(y + row) * haystack.width + x) * BYTES_PER_PIXEL;
                const uint8_t *needleRow = needle.rgb.data() + row * rowBytes;
                same = std::memcmp(screenRow, needleRow, rowBytes) == 0;
            }
            if (same) {
                found = Point{x, y};
                return true;
            }
        }
    }
    return false;
}

void WritePpm(const std::string &path, const Image &image) {
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << image.width << " " << image.height << "\n255\n";
    file.write(reinterpret_cast<const char *>(image.rgb.data()),
               static_cast<std::streamsize>(image.rgb.size()));
}

// --- Pictures and the engine ----------------------------------------------

const Image &BoardPicture(int size) {
    static std::map<int, Image> pictures;
    auto known = pictures.find(size);
    if (known != pictures.end()) {
        return known->second;
    }
    Image picture;
    const std::string path =
        std::string(GLIDORA_E2E_RES_DIR) + "/board" + std::to_string(size) + ".bmp";
    AssertionResult loaded = LoadBmp(path, picture);
    if (!loaded) {
        ADD_FAILURE() << loaded.message();
    } else if (picture.width != BOARD_PIXELS || picture.height != BOARD_PIXELS) {
        ADD_FAILURE() << path << " is " << picture.width << "x" << picture.height;
    }
    return pictures.emplace(size, picture).first->second;
}

Image PictureSquare(int size, int col, int row) {
    const int edge = BOARD_PIXELS / size;
    return Crop(BoardPicture(size),
                Rect{col * BOARD_PIXELS / size, row * BOARD_PIXELS / size, edge, edge});
}

Image RenderEngineBoard() {
    const int size = boardSize;
    const Image &picture = BoardPicture(size);
    Image board{BOARD_PIXELS, BOARD_PIXELS,
                std::vector<uint8_t>(BOARD_PIXELS * BOARD_PIXELS * BYTES_PER_PIXEL, 0)};
    if (picture.width != BOARD_PIXELS || picture.height != BOARD_PIXELS) {
        return board;
    }
    const int edge = BOARD_PIXELS / size;
    for (int col = 0; col < size; ++col) {
        for (int row = 0; row < size; ++row) {
            const Tile &tile = tiles[col][row];
            const int left = col * BOARD_PIXELS / size;
            const int top = row * BOARD_PIXELS / size;
            for (int y = 0; y < edge; ++y) {
                const size_t from =
                    (static_cast<size_t>(tile.srcY + y) * BOARD_PIXELS + tile.srcX) * 3;
                const size_t to = (static_cast<size_t>(top + y) * BOARD_PIXELS + left) * 3;
                std::memcpy(board.rgb.data() + to, picture.rgb.data() + from,
                            static_cast<size_t>(edge) * BYTES_PER_PIXEL);
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

namespace {

AssertionResult LocateClientInput(GameRun &run) {
    std::vector<std::string> lines;
    if (AssertionResult read = ReadWindowTexts("Glidora", lines); !read) {
        return read;
    }
    for (const std::string &line : lines) {
        if (std::sscanf(line.c_str(), "client\t%d\t%d", &run.inputOrigin.x, &run.inputOrigin.y) ==
            2) {
            return AssertionSuccess();
        }
    }
    return AssertionFailure() << "no client origin from the window probe: " << JoinWords(lines);
}

} // namespace

AssertionResult LocateBoard(GameRun &run, const Image &expected, int timeoutMs) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    Image screen;
    Rect window;
    for (;;) {
        if (AssertionResult measured = WindowGeometry(run.mainWindow, window); !measured) {
            return measured;
        }
        if (AssertionResult captured = CaptureScreen(screen); !captured) {
            return captured;
        }
        // The client area lies inside the window, so its top-left corner does.
        const Rect corners{window.x, window.y, window.width - expected.width + 1,
                           window.height - expected.height + 1};
        Point found;
        if (FindImage(screen, expected, corners, found)) {
            run.boardOrigin = found;
            return LocateClientInput(run);
        }
        if (MsLeft(deadline) == 0) {
            const std::string base =
                std::string(GLIDORA_E2E_BUILD_DIR) + "/e2e-failures/locate-board";
            mkdir((std::string(GLIDORA_E2E_BUILD_DIR) + "/e2e-failures").c_str(), 0755);
            WritePpm(base + "-screen.ppm", screen);
            WritePpm(base + "-expected.ppm", expected);
            return AssertionFailure() << "the expected board is nowhere in the window at "
                                      << window.x << "," << window.y << " size " << window.width
                                      << "x" << window.height << "; see " << base << "-*.ppm";
        }
        SleepMs(100);
    }
}

AssertionResult WaitForBoard(const GameRun &run, const Image &expected, int timeoutMs,
                             const std::string &label) {
    const Clock::time_point deadline = Deadline(timeoutMs);
    const Rect region{run.boardOrigin.x, run.boardOrigin.y, BOARD_PIXELS, BOARD_PIXELS};
    Image shown;
    for (;;) {
        if (AssertionResult captured = CaptureRegion(region, shown); !captured) {
            return captured;
        }
        if (SameImage(shown, expected)) {
            return AssertionSuccess();
        }
        if (MsLeft(deadline) == 0) {
            break;
        }
        SleepMs(POLL_MS);
    }
    const std::string directory = std::string(GLIDORA_E2E_BUILD_DIR) + "/e2e-failures";
    mkdir(directory.c_str(), 0755);
    const std::string base = directory + "/" + SafeFileName(label);
    WritePpm(base + "-shown.ppm", shown);
    WritePpm(base + "-expected.ppm", expected);
    return AssertionFailure() << label
                              << ": the board differs from the engine's prediction in cells"
                              << DifferingCells(shown, expected) << " after " << timeoutMs
                              << " ms; see " << base << "-*.ppm";
}

AssertionResult BoardHolds(const GameRun &run, const Image &expected, int holdMs,
                           const std::string &label) {
    if (AssertionResult now = WaitForBoard(run, expected, 0, label); !now) {
        return now;
    }
    SleepMs(holdMs);
    return WaitForBoard(run, expected, 0, label + " (later)");
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

AssertionResult CheckWinBox(std::string &box) {
    if (AssertionResult appeared = WaitForWindow("^Good job!$", 10000, box); !appeared) {
        return appeared;
    }
    std::vector<std::string> lines;
    if (AssertionResult read = ReadWindowTexts("Good job!", lines); !read) {
        return read;
    }
    bool ownedByGame = false;
    bool saysCongratulations = false;
    std::vector<std::string> buttons;
    for (const std::string &line : lines) {
        if (line == "window\tGood job!\tGlidora") {
            ownedByGame = true;
        } else if (line == "child\tStatic\tCongratulations, you won!") {
            saysCongratulations = true;
        } else if (line.rfind("child\tButton\t", 0) == 0) {
            buttons.push_back(line.substr(std::strlen("child\tButton\t")));
        }
    }
    if (!ownedByGame || !saysCongratulations || buttons != std::vector<std::string>{"OK"}) {
        return AssertionFailure() << "the win box reads: " << JoinWords(lines);
    }
    return AssertionSuccess();
}

AssertionResult DismissWinBox(const std::string &box, const std::string &key) {
    if (AssertionResult pressed = PressKeys(box, {key}); !pressed) {
        return pressed;
    }
    return WaitForNoWindow("^Good job!$", 10000);
}
