// A Windows console program that the end-to-end tests run beside the game, in
// the same Wine prefix: it prints the texts of the visible top-level window
// whose caption is argv[1] and of its child controls, so the tests can read
// what a message box or dialog says without any text recognition on pixels.
// It only reads; it sends the game no input.
//
// Output, one line each, fields separated by a tab:
//   window <caption> <owner's caption or empty>
//   client <x> <y>   where Windows puts the window's client pixel (0, 0) on
//                    the screen: where the window takes mouse input
//   child <class name> <text>
// Exit code: 0 when exactly one such window exists, 1 when none, 3 when
// several, 2 on wrong usage.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int TEXT_CAPACITY = 512;
constexpr UINT ANSWER_TIMEOUT_MS = 3000;

struct CaptionSearch {
    const char *caption;
    HWND found;
    int count;
};

// Other processes' controls keep their text in their own memory, so ask the
// owning thread with WM_GETTEXT rather than GetWindowText, which would only
// see captions. A hung owner must not hang the probe.
void ReadText(HWND window, char *text) {
    text[0] = '\0';
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutA(window, WM_GETTEXT, TEXT_CAPACITY, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS, &copied) == 0) {
        text[0] = '\0';
    }
    text[TEXT_CAPACITY - 1] = '\0';
}

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
    auto *search = reinterpret_cast<CaptionSearch *>(param);
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    char text[TEXT_CAPACITY];
    ReadText(window, text);
    if (std::strcmp(text, search->caption) == 0) {
        search->found = window;
        ++search->count;
    }
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    char className[TEXT_CAPACITY];
    char text[TEXT_CAPACITY];
    if (GetClassNameA(child, className, TEXT_CAPACITY) == 0) {
        className[0] = '\0';
    }
    ReadText(child, text);
    std::printf("child\t%s\t%s\n", className, text);
    return TRUE;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: e2e_window_texts <caption>\n");
        return 2;
    }
    CaptionSearch search{argv[1], nullptr, 0};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    if (search.count == 0) {
        return 1;
    }
    if (search.count > 1) {
        return 3;
    }
    char ownerCaption[TEXT_CAPACITY] = "";
    if (HWND owner = GetWindow(search.found, GW_OWNER)) {
        ReadText(owner, ownerCaption);
    }
    std::printf("window\t%s\t%s\n", search.caption, ownerCaption);
    POINT clientOrigin = {0, 0};
    ClientToScreen(search.found, &clientOrigin);
    std::printf("client\t%ld\t%ld\n", static_cast<long>(clientOrigin.x),
                static_cast<long>(clientOrigin.y));
    EnumChildWindows(search.found, PrintChild, 0);
    std::fflush(stdout);
    return 0;
}
