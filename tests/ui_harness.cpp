#include "ui_harness.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <utility>

#include "engine/random.h"
#include "res/resource.h"
#include "ui/ui.h"

// ---- Board model ------------------------------------------------------------

std::string DescribeBoard(const BoardState &state) {
    std::ostringstream text;
    text << "size " << state.boardSize << ", gap (" << state.blankCol << ", " << state.blankRow
         << "), homes by row:";
    const int size = std::clamp(state.boardSize, 1, MAX_BOARD);
    for (int row = 0; row < size; ++row) {
        text << " |";
        for (int col = 0; col < size; ++col) {
            const Tile &tile = state.tiles[col][row];
            text << ' ' << tile.homeCol << tile.homeRow;
        }
    }
    return text.str();
}

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
            state.tiles[col][row] =
                Tile{col * BOARD_PIXELS / size, row * BOARD_PIXELS / size, col, row};
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
        for (int move = 0; move < SHUFFLE_MOVES; ++move) {
            MoveTile(NextRandom() % DIRECTIONS);
        }
    });
}

// ---- Size selection and start-up values -------------------------------------

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

std::string DescribeSelection(const SizeSelection &selection) {
    std::ostringstream text;
    text << "boardSize " << selection.boardSize << ", sizeButtonId " << selection.sizeButtonId
         << ", pendingSize " << selection.pendingSize << ", pendingButtonId "
         << selection.pendingButtonId;
    return text.str();
}

bool SameSelection(const SizeSelection &a, const SizeSelection &b) {
    return a.boardSize == b.boardSize && a.sizeButtonId == b.sizeButtonId &&
           a.pendingSize == b.pendingSize && a.pendingButtonId == b.pendingButtonId;
}

static CalendarClock gameClock = nullptr;

static std::time_t FixedClock() {
    return FIXED_CLOCK_SECONDS;
}

void UseFixedClock() {
    if (gameClock == nullptr) {
        gameClock = shuffleClock;
    }
    shuffleClock = FixedClock;
}

void UseSystemClock() {
    if (gameClock != nullptr) {
        shuffleClock = gameClock;
    }
}

// ---- Modal boxes and dialogs ------------------------------------------------

namespace {

constexpr char DIALOG_CLASS[] = "#32770";
constexpr int MESSAGE_TEXT_ID = 0xFFFF; // the message static of Wine's message box
constexpr DWORD BOX_TICK_MS = 20;
// Posted to the test thread by the ticker. A posted message outranks
// WM_PAINT, so the ticks go on even while a faulty window is flooded with
// paints (a WM_TIMER would starve then, and a box would hang the test).
constexpr UINT WM_BOX_TICK = WM_APP + 0x42;
constexpr int BOX_PATIENCE_TICKS = 100; // two seconds
constexpr int AWAY_X = 600;             // right of and below any main window of ours
constexpr int AWAY_Y = 400;

struct OpenBox {
    HWND window;
    std::vector<BoxStep> steps;
    size_t nextStep;
    int idleTicks;
    bool recorded;
    bool expected;
    bool ownerWhollyInvalid;
};

struct BoxWatch {
    HHOOK creationHook;
    HHOOK messageHook;
    DWORD thread;
    HANDLE ticker;
    HANDLE stopTicker;
    std::function<void()> tickAction;
    std::vector<std::vector<BoxStep>> plans; // for boxes not yet open
    std::vector<OpenBox> open;               // innermost last
    std::vector<BoxRecord> seen;
    size_t stepsLost;
};

BoxWatch watch;

} // namespace

static std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

static std::string TextOf(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

static BOOL CALLBACK NoteChild(HWND child, LPARAM recordAddress) {
    BoxRecord &record = *reinterpret_cast<BoxRecord *>(recordAddress);
    const std::string className = ClassOf(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    const int id = LOWORD(GetDlgCtrlID(child));
    if (lstrcmpiA(className.c_str(), "Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (IsWindowVisible(child) && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
            record.pushButtons.push_back(id);
        }
    } else if (lstrcmpiA(className.c_str(), "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            record.hasIcon = record.hasIcon || (IsWindowVisible(child) &&
                                                SendMessageA(child, STM_GETICON, 0, 0) != 0);
        } else if (id == MESSAGE_TEXT_ID && record.text.empty()) {
            record.text = TextOf(child);
        }
    }
    return TRUE;
}

static BoxRecord ReadBox(HWND box) {
    BoxRecord record = {box,
                        TextOf(box),
                        "",
                        {},
                        false,
                        GetWindow(box, GW_OWNER),
                        GetWindowLongA(box, GWL_EXSTYLE),
                        false,
                        false};
    EnumChildWindows(box, NoteChild, reinterpret_cast<LPARAM>(&record));
    std::sort(record.pushButtons.begin(), record.pushButtons.end());
    return record;
}

static void ForgetClosedBoxes() {
    for (size_t i = watch.open.size(); i-- > 0;) {
        if (!IsWindow(watch.open[i].window)) {
            watch.stepsLost += watch.open[i].steps.size() - watch.open[i].nextStep;
            watch.open.erase(watch.open.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

static void AdoptBox(HWND box, HWND owner) {
    ForgetClosedBoxes();
    for (const OpenBox &known : watch.open) {
        if (known.window == box) {
            return;
        }
    }
    const bool ownerWhollyInvalid = owner != nullptr && UpdateRegionIsWholeClient(owner);
    OpenBox adopted = {box, {}, 0, 0, false, false, ownerWhollyInvalid};
    if (!watch.plans.empty()) {
        adopted.steps = std::move(watch.plans.front());
        watch.plans.erase(watch.plans.begin());
        adopted.expected = true;
    }
    watch.open.push_back(std::move(adopted));
}

static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND || code == HCBT_ACTIVATE) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        const HWND owner = code == HCBT_CREATEWND
                               ? reinterpret_cast<const CBT_CREATEWNDA *>(lParam)->lpcs->hwndParent
                               : nullptr;
        if (ClassOf(window) == DIALOG_CLASS) {
            AdoptBox(window, owner);
        }
    }
    return CallNextHookEx(watch.creationHook, code, wParam, lParam);
}

static void GiveUpOn(HWND box, const char *why) {
    ADD_FAILURE() << "box \"" << TextOf(box) << "\" " << why << "; closing it";
    EndDialog(box, IDCANCEL);
}

// One step for the innermost open box per tick. A step may open a nested
// modal loop that ticks again, so nothing of `watch.open` is held across it.
static void BoxTick() {
    ForgetClosedBoxes();
    if (watch.open.empty()) {
        return;
    }
    OpenBox &box = watch.open.back();
    const HWND window = box.window;
    if (!IsWindowVisible(window)) {
        if (++box.idleTicks > BOX_PATIENCE_TICKS) {
            GiveUpOn(window, "never showed");
        }
        return;
    }
    if (!box.recorded) {
        box.recorded = true;
        BoxRecord record = ReadBox(window);
        record.expected = box.expected;
        record.ownerWhollyInvalid = box.ownerWhollyInvalid;
        watch.seen.push_back(record);
        if (!box.expected) {
            ADD_FAILURE() << "unexpected box \"" << record.caption << "\": " << record.text;
            EndDialog(window, IDCANCEL);
            return;
        }
    }
    if (box.nextStep < box.steps.size()) {
        const BoxStep step = box.steps[box.nextStep++];
        step(window);
        return;
    }
    if (++box.idleTicks > BOX_PATIENCE_TICKS) {
        GiveUpOn(window, "still open after its last step");
    }
}

static void Tick() {
    BoxTick();
    // A copy: the action may replace itself.
    const std::function<void()> action = watch.tickAction;
    if (action) {
        action();
    }
}

// Every queue read of the thread passes here, modal loops' included.
static LRESULT CALLBACK TickHook(int code, WPARAM removal, LPARAM messageAddress) {
    MSG &message = *reinterpret_cast<MSG *>(messageAddress);
    if (code == HC_ACTION && removal == PM_REMOVE && message.hwnd == nullptr &&
        message.message == WM_BOX_TICK) {
        message.message = WM_NULL;
        Tick();
    }
    return CallNextHookEx(watch.messageHook, code, removal, messageAddress);
}

static DWORD WINAPI PostTicks(LPVOID) {
    while (WaitForSingleObject(watch.stopTicker, BOX_TICK_MS) == WAIT_TIMEOUT) {
        PostThreadMessageA(watch.thread, WM_BOX_TICK, 0, 0);
    }
    return 0;
}

void StartWatchingBoxes() {
    watch.plans.clear();
    watch.open.clear();
    watch.seen.clear();
    watch.stepsLost = 0;
    watch.tickAction = nullptr;
    watch.thread = GetCurrentThreadId();
    watch.creationHook = SetWindowsHookExA(WH_CBT, BoxHook, nullptr, watch.thread);
    watch.messageHook = SetWindowsHookExA(WH_GETMESSAGE, TickHook, nullptr, watch.thread);
    watch.stopTicker = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watch.ticker = CreateThread(nullptr, 0, PostTicks, nullptr, 0, nullptr);
    EXPECT_NE(watch.creationHook, nullptr);
    EXPECT_NE(watch.messageHook, nullptr);
    EXPECT_NE(watch.ticker, nullptr);
}

void StopWatchingBoxes() {
    if (watch.ticker != nullptr) {
        SetEvent(watch.stopTicker);
        WaitForSingleObject(watch.ticker, INFINITE);
        CloseHandle(watch.ticker);
        CloseHandle(watch.stopTicker);
        watch.ticker = nullptr;
        watch.stopTicker = nullptr;
    }
    for (HHOOK *hook : {&watch.creationHook, &watch.messageHook}) {
        if (*hook != nullptr) {
            UnhookWindowsHookEx(*hook);
            *hook = nullptr;
        }
    }
    // Ticks still queued would otherwise reach a later test's loops.
    MSG stale;
    while (PeekMessageA(&stale, nullptr, WM_BOX_TICK, WM_BOX_TICK, PM_REMOVE)) {
    }
    watch.plans.clear();
    watch.open.clear();
    watch.tickAction = nullptr;
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
        SetWindowPos(box, nullptr, AWAY_X, AWAY_Y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
}

BoxStep ExpectCaption(const char *caption) {
    return [caption](HWND box) { EXPECT_EQ(TextOf(box), caption); };
}

BoxStep ExpectSizeChecked(int checkedId) {
    return [checkedId](HWND box) {
        for (int id = IDC_SIZE3; id <= IDC_SIZE6; ++id) {
            EXPECT_EQ(IsDlgButtonChecked(box, id), id == checkedId ? BST_CHECKED : BST_UNCHECKED)
                << "size button " << id << " with " << checkedId << " expected checked";
        }
    };
}

void ExpectMessageBox(const char *caption, const char *text, bool withIcon) {
    const BoxStep check = [caption, text, withIcon](HWND box) {
        const BoxRecord record = ReadBox(box);
        EXPECT_EQ(record.caption, caption);
        EXPECT_EQ(record.text, text);
        EXPECT_EQ(record.pushButtons, std::vector<int>{IDOK}) << "buttons of \"" << caption << "\"";
        EXPECT_EQ(record.hasIcon, withIcon) << "icon of \"" << caption << "\"";
    };
    ExpectBox({check, ClickButton(IDOK)});
}

// ---- Messages ---------------------------------------------------------------

// A queue that refills itself forever (a paint that never validates) must not
// hang the test: draining gives up this long after the wanted time.
constexpr DWORD DRAIN_LIMIT_MS = 2000;
constexpr DWORD SETTLE_MS = 150;

static QuitSeen PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    QuitSeen quit = {false, 0};
    MSG message;
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = QuitSeen{true, message.wParam};
            } else {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (elapsed > milliseconds + DRAIN_LIMIT_MS) {
                ADD_FAILURE() << "the message queue never empties";
                break;
            }
            continue;
        }
        if (elapsed >= milliseconds) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
    return quit;
}

QuitSeen DrainMessages() {
    return PumpMessages(0);
}

QuitSeen PumpFor(DWORD milliseconds) {
    return PumpMessages(milliseconds);
}

static WNDPROC gameProc = nullptr;
static MessageCounts counts = {0, 0};

static LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        ++counts.paints;
    } else if (message == WM_ERASEBKGND) {
        ++counts.erases;
    }
    return CallWindowProcA(gameProc, window, message, wParam, lParam);
}

void CountMessages(HWND window) {
    gameProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    ResetCounts();
}

MessageCounts Counts() {
    return counts;
}

void ResetCounts() {
    counts = MessageCounts{0, 0};
}

// ---- The main window --------------------------------------------------------

void EnsureClassRegistered() {
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(appInstance, WINDOW_CLASS_NAME, &existing)) {
        return;
    }
    EXPECT_TRUE(RegisterMainWindowClass());
}

HWND OpenGameWindow(bool topmost) {
    appInstance = GetModuleHandleA(nullptr);
    EnsureClassRegistered();
    const HWND window = CreateMainWindow();
    if (window == nullptr) {
        ADD_FAILURE() << "CreateMainWindow failed";
        return nullptr;
    }
    CountMessages(window);
    ShowWindow(window, SW_SHOWNORMAL);
    PlaceWindow(window, topmost, BOARD_PIXELS, BOARD_PIXELS);
    SettleWindow(window);
    return window;
}

void CloseGameWindow(HWND window) {
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
    }
    DrainMessages();
}

void PlaceWindow(HWND window, bool topmost, int minClientWidth, int minClientHeight) {
    const HWND order = topmost ? HWND_TOPMOST : HWND_TOP;
    SetWindowPos(window, order, 0, 0, 0, 0, SWP_NOSIZE);
    // Growing the frame by the shortfall; a second round covers a menu bar
    // that wrapped at the old width.
    constexpr int ROUNDS = 3;
    for (int round = 0; round < ROUNDS; ++round) {
        RECT client;
        RECT frame;
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

Image CaptureClient(HWND window, int width, int height) {
    Image image = {width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    const HDC screen = GetDC(window);
    void *bits = nullptr;
    const HBITMAP copy = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ previous = SelectObject(memory, copy);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    if (copied && bits != nullptr) {
        const uint32_t *source = static_cast<const uint32_t *>(bits);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            image.pixels[i] = source[i] & 0xFFFFFF;
        }
    } else {
        ADD_FAILURE() << "could not read the client area back";
    }
    SelectObject(memory, previous);
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
    window = OpenGameWindow(topmost);
    ASSERT_NE(window, nullptr);
}

void GameWindowTest::TearDown() {
    CloseGameWindow(window);
    EXPECT_EQ(StepsNotRun(), 0u) << "an expected box did not show, or closed before its steps ran";
    StopWatchingBoxes();
    UseSystemClock();
    RestoreStartupSelection();
}

int DirectionForKey(WPARAM key) {
    switch (key) {
    case VK_LEFT:
        return MoveLeft;
    case VK_UP:
        return MoveUp;
    case VK_RIGHT:
        return MoveRight;
    case VK_DOWN:
        return MoveDown;
    default:
        return -1;
    }
}

int BoxesCaptioned(const char *caption) {
    int count = 0;
    for (const BoxRecord &box : SeenBoxes()) {
        count += box.caption == caption ? 1 : 0;
    }
    return count;
}
