// Timing helpers shared by the Windows measurement programs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

inline double NowMicroseconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// A window class with nothing but the arrow cursor and the window colour,
// like the game's as far as painting goes.
inline bool RegisterPlainClass(HINSTANCE instance, WNDPROC procedure, const char *name) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    return RegisterClassExA(&windowClass) != 0;
}
