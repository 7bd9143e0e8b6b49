// Start-up to the first completed paint: the time from CreateProcess until
// the new process waits for input with its queue empty, which it first does
// after UpdateWindow has painted. Compares glidora.exe with a minimal
// program, alternating runs so both see the same machine load.
//   perf_startup <glidora.exe> <minimal.exe> [runs]
#include <cstdio>
#include <cstdlib>

#include "perf_common.h"

constexpr DWORD IDLE_TIMEOUT_MS = 20000;

static BOOL CALLBACK CloseThreadWindow(HWND window, LPARAM) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Microseconds to input idle, or a negative number when the run failed.
static double TimeStartup(const char *program) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    char commandLine[MAX_PATH];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\"", program);
    const double start = NowMicroseconds();
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    const bool idle = WaitForInputIdle(process.hProcess, IDLE_TIMEOUT_MS) == 0;
    const double elapsed = NowMicroseconds() - start;
    EnumThreadWindows(process.dwThreadId, CloseThreadWindow, 0);
    if (WaitForSingleObject(process.hProcess, IDLE_TIMEOUT_MS) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return idle ? elapsed : -1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: perf_startup <glidora.exe> <minimal.exe> [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 15;
    std::vector<double> game;
    std::vector<double> minimal;
    for (int run = 0; run < runs; ++run) {
        const double gameTime = TimeStartup(argv[1]);
        const double minimalTime = TimeStartup(argv[2]);
        if (gameTime < 0 || minimalTime < 0) {
            std::fprintf(stderr, "perf_startup: a run did not reach its first paint\n");
            return 1;
        }
        game.push_back(gameTime);
        minimal.push_back(minimalTime);
    }
    const double gameMedian = Median(game);
    const double minimalMedian = Median(minimal);
    std::printf("startup glidora.exe %.1f ms\n", gameMedian / 1000);
    std::printf("startup minimal.exe %.1f ms\n", minimalMedian / 1000);
    std::printf("startup ratio %.2f (median of %d runs)\n", gameMedian / minimalMedian, runs);
    return 0;
}
