#include "ui_harness.h"

#include <algorithm>
#include <ostream>

#include "engine/random.h"
#include "expected.h"
#include "res/resource.h"
#include "ui/ui.h"

// ---- Board model and start-up values ----------------------------------------

BoardState PredictBoard(const std::function<void()> &engineOperation) {
    const BoardState before = CaptureBoard();
    const int32_t savedClickX = clickX;
    const int32_t savedClickY = clickY;
    engineOperation();
    const BoardState after = CaptureBoard();
    RestoreBoard(before);
    clickX = savedClickX;
    clickY = savedClickY;
    return after;
}

BoardState SolvedBoard(int size) {
    BoardState state;
    for (int col = 0; col < MAX_BOARD; ++col) {
        for (int row = 0; row < MAX_BOARD; ++row) {
            state.tiles[col][row] = Tile{col * expected::BOARD_EDGE / size,
                                         row * expected::BOARD_EDGE / size, col, row};
        }
    }
    state.boardSize = size;
    state.blankCol = size - 1;
    state.blankRow = size - 1;
    return state;
}

BoardState ReplayScramble(uint32_t seed) {
    constexpr int DIRECTIONS = 4;
    return PredictBoard([seed] {
        SeedRandom(seed);
        for (int move = 0; move < expected::SHUFFLE_MOVES; ++move) {
            MoveTile(NextRandom() % DIRECTIONS);
        }
    });
}

SizeSelection CurrentSelection() {
    return SizeSelection{boardSize, sizeButtonId, pendingSize, pendingButtonId};
}

SizeSelection StartupSelection() {
    // Taken on the first call, which every fixture makes before touching anything.
    static const SizeSelection startup = CurrentSelection();
    return startup;
}

void RestoreStartupSelection() {
    const SizeSelection startup = StartupSelection();
    boardSize = startup.boardSize;
    sizeButtonId = startup.sizeButtonId;
    pendingSize = startup.pendingSize;
    pendingButtonId = startup.pendingButtonId;
}

void PrintTo(const SizeSelection &selection, std::ostream *out) {
    *out << "boardSize " << selection.boardSize << ", sizeButtonId " << selection.sizeButtonId
         << ", pendingSize " << selection.pendingSize << ", pendingButtonId "
         << selection.pendingButtonId;
}

// Kept from before any test replaced it; the engine's pointer is constant-initialised.
static const CalendarClock systemClock = shuffleClock;

void UseFixedClock() {
    shuffleClock = [] { return FIXED_CLOCK_SECONDS; };
}

// ---- Modal boxes and dialogs ------------------------------------------------
//
// A box runs its own modal loop inside the game's call, so it is driven from
// there: a CBT hook hears of each box as it is created, a GetMessage hook sees
// every message any loop of the thread takes out. Steps run on a thread
// timer, whose WM_TIMER comes out only when nothing else waits: the box is
// painted and all that the last step caused is handled. Patience is judged on
// every message, so that a window flooded with paints, which starves the
// timer, fails the test instead of hanging it.

namespace {

constexpr char DIALOG_CLASS[] = "#32770";
constexpr int MESSAGE_TEXT_ID = 0xFFFF; // the message static of a message box
constexpr DWORD BOX_PATIENCE_MS = 2000;
constexpr POINT AWAY = {600, 400}; // right of and below any main window of ours

struct OpenBox {
    HWND window;
    bool ownerWhollyInvalid;
    std::vector<BoxStep> steps;
    size_t nextStep;
    DWORD lastProgress; // when it was created or last stepped
};

struct BoxWatch {
    HHOOK creationHook, messageHook;
    UINT_PTR timer;
    std::function<void()> tickAction;
    std::vector<std::vector<BoxStep>> plans; // for boxes not yet open, in order
    std::vector<OpenBox> open;               // innermost last
    std::vector<BoxRecord> seen;
    size_t stepsLost;
};

BoxWatch watch;

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK NoteChild(HWND child, LPARAM recordAddress) {
    BoxRecord &record = *reinterpret_cast<BoxRecord *>(recordAddress);
    const std::string className = ClassOf(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    const bool visible = IsWindowVisible(child) != 0;
    const int id = LOWORD(GetDlgCtrlID(child));
    if (lstrcmpiA(className.c_str(), "Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (visible && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
            record.pushButtons.push_back(id);
        }
    } else if (lstrcmpiA(className.c_str(), "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            record.hasIcon = record.hasIcon || (visible && SendMessageA(child, STM_GETICON, 0, 0));
        } else if (id == MESSAGE_TEXT_ID && record.text.empty()) {
            record.text = TextOf(child);
        }
    }
    return TRUE;
}

BoxRecord ReadBox(HWND box, bool ownerWhollyInvalid) {
    BoxRecord record = {};
    record.caption = TextOf(box);
    record.owner = GetWindow(box, GW_OWNER);
    record.exStyle = GetWindowLongA(box, GWL_EXSTYLE);
    record.ownerWhollyInvalid = ownerWhollyInvalid;
    EnumChildWindows(box, NoteChild, reinterpret_cast<LPARAM>(&record));
    std::sort(record.pushButtons.begin(), record.pushButtons.end());
    return record;
}

void ForgetClosedBoxes() {
    std::erase_if(watch.open, [](const OpenBox &box) {
        const bool closed = !IsWindow(box.window);
        watch.stepsLost += closed ? box.steps.size() - box.nextStep : 0;
        return closed;
    });
}

void Dismiss(HWND box, const std::string &why) {
    ADD_FAILURE() << "box \"" << TextOf(box) << "\" " << why << "; closing it";
    EndDialog(box, IDCANCEL);
}

// The one step of a box that no test planned for.
void DismissUnexpected(HWND box) {
    Dismiss(box, "was not expected");
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && ClassOf(window) == DIALOG_CLASS) {
        const HWND owner = reinterpret_cast<CBT_CREATEWNDA *>(lParam)->lpcs->hwndParent;
        ForgetClosedBoxes();
        std::vector<BoxStep> steps = {DismissUnexpected};
        if (!watch.plans.empty()) {
            steps = std::move(watch.plans.front());
            watch.plans.erase(watch.plans.begin());
        }
        const bool ownerWhollyInvalid = owner != nullptr && UpdateRegionIsWholeClient(owner);
        watch.open.push_back({window, ownerWhollyInvalid, std::move(steps), 0, GetTickCount()});
    }
    return CallNextHookEx(watch.creationHook, code, wParam, lParam);
}

// Records the innermost box the first time it shows, then runs its next
// step. A step may open a nested box whose loop ticks again, so nothing of
// `watch.open` is held across it.
void StepInnermostBox() {
    OpenBox &box = watch.open.back();
    if (box.nextStep == box.steps.size()) {
        return;
    }
    if (box.nextStep == 0) {
        watch.seen.push_back(ReadBox(box.window, box.ownerWhollyInvalid));
    }
    box.lastProgress = GetTickCount();
    const BoxStep step = box.steps[box.nextStep++];
    step(box.window);
}

void WatchBoxes(bool tick) {
    ForgetClosedBoxes();
    const bool boxOpen = !watch.open.empty();
    if (boxOpen && GetTickCount() - watch.open.back().lastProgress > BOX_PATIENCE_MS) {
        OpenBox &box = watch.open.back();
        box.lastProgress = GetTickCount(); // fails once, while the box closes
        Dismiss(box.window, IsWindowVisible(box.window) ? "stayed open too long" : "never showed");
    } else if (boxOpen && tick && IsWindowVisible(watch.open.back().window)) {
        StepInnermostBox();
    }
    if (tick && watch.tickAction) {
        // A copy: the action may replace itself.
        const std::function<void()> action = watch.tickAction;
        action();
    }
}

LRESULT CALLBACK MessageHook(int code, WPARAM removal, LPARAM messageAddress) {
    MSG &message = *reinterpret_cast<MSG *>(messageAddress);
    if (code == HC_ACTION && removal == PM_REMOVE) {
        const bool tick =
            message.hwnd == nullptr && message.message == WM_TIMER && message.wParam == watch.timer;
        // The tick is the harness's own: the loop that took it, the game's or
        // a box's, gets WM_NULL instead, which no code acts on, so that the
        // game meets only messages it would meet outside the tests.
        if (tick) {
            message.message = WM_NULL;
        }
        WatchBoxes(tick);
    }
    return CallNextHookEx(watch.messageHook, code, removal, messageAddress);
}

} // namespace

void StartWatchingBoxes() {
    const DWORD thread = GetCurrentThreadId();
    watch.creationHook = SetWindowsHookExA(WH_CBT, CreationHook, nullptr, thread);
    watch.messageHook = SetWindowsHookExA(WH_GETMESSAGE, MessageHook, nullptr, thread);
    watch.timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, nullptr);
    EXPECT_NE(watch.creationHook, nullptr);
    EXPECT_NE(watch.messageHook, nullptr);
    EXPECT_NE(watch.timer, 0u);
}

void StopWatchingBoxes() {
    KillTimer(nullptr, watch.timer);
    UnhookWindowsHookEx(watch.creationHook);
    UnhookWindowsHookEx(watch.messageHook);
    watch = BoxWatch{};
}

void OnEveryTick(std::function<void()> action) {
    watch.tickAction = std::move(action);
}

void ExpectBox(std::vector<BoxStep> steps) {
    watch.plans.push_back(std::move(steps));
}

size_t StepsNotRun() {
    ForgetClosedBoxes();
    size_t count = watch.stepsLost;
    for (const std::vector<BoxStep> &plan : watch.plans) {
        count += std::max<size_t>(plan.size(), 1); // the box itself never came
    }
    for (const OpenBox &box : watch.open) {
        count += box.steps.size() - box.nextStep;
    }
    return count;
}

const std::vector<BoxRecord> &SeenBoxes() {
    return watch.seen;
}

void ForgetSeenBoxes() {
    watch.seen.clear();
}

int BoxesCaptioned(const char *caption) {
    return static_cast<int>(
        std::count_if(watch.seen.begin(), watch.seen.end(),
                      [caption](const BoxRecord &box) { return box.caption == caption; }));
}

BoxStep ClickButton(int id) {
    return [id](HWND box) {
        const HWND button = GetDlgItem(box, id);
        ASSERT_NE(button, nullptr) << "no control " << id << " in \"" << TextOf(box) << "\"";
        SendMessageA(button, BM_CLICK, 0, 0);
    };
}

BoxStep PostKeyToFocus(WPARAM virtualKey) {
    return [virtualKey](HWND box) {
        const HWND focus = GetFocus();
        const bool inBox = focus != nullptr && (focus == box || IsChild(box, focus));
        EXPECT_TRUE(inBox) << "the focus is not in \"" << TextOf(box) << "\"";
        const HWND target = inBox ? focus : box;
        constexpr LPARAM KEY_DOWN_FLAGS = 1;
        constexpr LPARAM KEY_UP_FLAGS = static_cast<LPARAM>(0xC0000001u);
        PostMessageA(target, WM_KEYDOWN, virtualKey, KEY_DOWN_FLAGS);
        PostMessageA(target, WM_KEYUP, virtualKey, KEY_UP_FLAGS);
    };
}

BoxStep MoveBoxAway() {
    return [](HWND box) {
        SetWindowPos(box, nullptr, AWAY.x, AWAY.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
}

BoxStep ExpectCaption(const char *caption) {
    return [caption](HWND box) { EXPECT_EQ(TextOf(box), caption); };
}

BoxStep ExpectSizeChecked(int checkedId) {
    return [checkedId](HWND box) {
        for (int id : expected::SIZE_BUTTON_IDS) {
            EXPECT_EQ(IsDlgButtonChecked(box, id), id == checkedId ? BST_CHECKED : BST_UNCHECKED)
                << "size button " << id << " with " << checkedId << " expected checked";
        }
    };
}

void ExpectMessageBox(const char *caption, const char *text, bool withIcon) {
    const BoxStep check = [caption, text, withIcon](HWND box) {
        const BoxRecord record = ReadBox(box, false);
        EXPECT_EQ(record.caption, caption);
        EXPECT_EQ(record.text, text);
        EXPECT_EQ(record.pushButtons, std::vector<int>{IDOK}) << "buttons of \"" << caption << "\"";
        EXPECT_EQ(record.hasIcon, withIcon) << "icon of \"" << caption << "\"";
    };
    ExpectBox({check, ClickButton(IDOK)});
}

// ---- Messages ---------------------------------------------------------------

// A queue that refills itself forever (a paint that never validates) must not
// hang the test: pumping gives up this long after the wanted time.
constexpr DWORD DRAIN_LIMIT_MS = 2000;
constexpr DWORD SETTLE_MS = 150;

QuitSeen PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    QuitSeen quit = {false, 0};
    MSG message;
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (elapsed >= milliseconds) {
                return quit;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        } else if (elapsed > milliseconds + DRAIN_LIMIT_MS) {
            ADD_FAILURE() << "the message queue never empties";
            return quit;
        } else if (message.message == WM_QUIT) {
            quit = QuitSeen{true, message.wParam};
        } else {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

QuitSeen DrainMessages() {
    return PumpFor(0);
}

static WNDPROC gameProc = nullptr;
static MessageCounts counts = {0, 0};

static LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    counts.paints += message == WM_PAINT ? 1 : 0;
    counts.erases += message == WM_ERASEBKGND ? 1 : 0;
    return CallWindowProcA(gameProc, window, message, wParam, lParam);
}

MessageCounts Counts() {
    return counts;
}

void ResetCounts() {
    counts = MessageCounts{0, 0};
}

// ---- The main window --------------------------------------------------------

void PlaceWindow(HWND window, bool topmost, int minClientWidth, int minClientHeight) {
    const HWND order = topmost ? HWND_TOPMOST : HWND_TOP;
    SetWindowPos(window, order, 0, 0, 0, 0, SWP_NOSIZE);
    // Grows the frame by what the client area lacks, measured afresh each
    // round: a menu bar that wrapped at the old width unwraps at the new one,
    // and the client height changes again. Three rounds leave room for that.
    constexpr int ROUNDS = 3;
    for (int round = 0; round < ROUNDS; ++round) {
        RECT client, frame;
        GetClientRect(window, &client);
        GetWindowRect(window, &frame);
        const int missingWidth = std::max(0, minClientWidth - static_cast<int>(client.right));
        const int missingHeight = std::max(0, minClientHeight - static_cast<int>(client.bottom));
        if (missingWidth == 0 && missingHeight == 0) {
            break;
        }
        SetWindowPos(window, order, 0, 0, frame.right - frame.left + missingWidth,
                     frame.bottom - frame.top + missingHeight, 0);
    }
}

void SettleWindow(HWND window) {
    UpdateWindow(window);
    PumpFor(SETTLE_MS);
    ResetCounts();
}

bool UpdateRegionIsWholeClient(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const HRGN update = CreateRectRgn(0, 0, 0, 0);
    const HRGN whole = CreateRectRgnIndirect(&client);
    const bool same = GetUpdateRgn(window, update, FALSE) != ERROR && EqualRgn(update, whole);
    DeleteObject(update);
    DeleteObject(whole);
    return same;
}

bool HasUpdateRegion(HWND window) {
    return GetUpdateRect(window, nullptr, FALSE) != 0;
}

uint32_t PixelFromColorRef(COLORREF color) {
    return static_cast<uint32_t>(GetRValue(color) << 16 | GetGValue(color) << 8 | GetBValue(color));
}

Image LoadPicture(HINSTANCE module, int id) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP);
    const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto *bytes = static_cast<const uint8_t *>(loaded ? LockResource(loaded) : nullptr);
    return bytes == nullptr
               ? Image{}
               : DecodeDib24(std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found)));
}

Image CaptureClient(HWND window, int width, int height) {
    Image image = {width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    constexpr WORD PIXEL_BITS = 32;
    // A negative height: the top row first.
    BITMAPINFO info = {
        {sizeof(BITMAPINFOHEADER), width, -height, 1, PIXEL_BITS, BI_RGB, 0, 0, 0, 0, 0}, {}};
    const HDC screen = GetDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP copy = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, copy);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
    SelectObject(memory, previous);
    const bool read = copied && GetDIBits(memory, copy, 0, height, image.pixels.data(), &info,
                                          DIB_RGB_COLORS) == height;
    EXPECT_TRUE(read) << "could not read the client area back";
    for (uint32_t &pixel : image.pixels) {
        pixel &= 0xFFFFFF;
    }
    DeleteDC(memory);
    DeleteObject(copy);
    ReleaseDC(window, screen);
    return image;
}

LRESULT SendKey(HWND window, WPARAM virtualKey) {
    constexpr LPARAM REPEAT_ONCE = 1;
    return SendMessageA(window, WM_KEYDOWN, virtualKey, REPEAT_ONCE);
}

LRESULT SendPress(HWND window, int x, int y) {
    return SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

LRESULT SendCommand(HWND window, WPARAM command) {
    return SendMessageA(window, WM_COMMAND, command, 0);
}

void GameWindowTest::SetUp() {
    StartupSelection();
    StartWatchingBoxes();
    RestoreStartupSelection();
    BeforeWindowCreated();
    // WinMain, run by an earlier test, may have registered the class already.
    appInstance = GetModuleHandleA(nullptr);
    WNDCLASSA existing;
    if (!GetClassInfoA(appInstance, WINDOW_CLASS_NAME, &existing)) {
        ASSERT_TRUE(RegisterMainWindowClass());
    }
    window = CreateMainWindow();
    ASSERT_NE(window, nullptr);
    gameProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    ShowWindow(window, SW_SHOWNORMAL);
    PlaceWindow(window, topmost, expected::BOARD_EDGE, expected::BOARD_EDGE);
    SettleWindow(window);
}

void GameWindowTest::TearDown() {
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
    }
    DrainMessages();
    EXPECT_EQ(StepsNotRun(), 0u) << "an expected box did not show, or closed before its steps ran";
    StopWatchingBoxes();
    shuffleClock = systemClock;
    RestoreStartupSelection();
}

int DirectionForKey(WPARAM key) {
    return key == VK_LEFT    ? MoveLeft
           : key == VK_UP    ? MoveUp
           : key == VK_RIGHT ? MoveRight
           : key == VK_DOWN  ? MoveDown
                             : -1;
}
