// https://learn.microsoft.com/en-us/windows/win32/winmsg/window-styles
// https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-isdialogmessagew
// https://learn.microsoft.com/en-us/windows/win32/menurc/wm-command
#include "app/main_window_win32.h"

#include "app/settings.h"
#include "app/shell.h"
#include "text/wide_text.h"

namespace zelbrin {

namespace {

constexpr wchar_t kWindowClass[] = L"ZelbrinMainWindow";
constexpr int kIconResource = 1;
// Away from IDOK and IDCANCEL, which IsDialogMessage sends for Enter and Esc.
enum ControlId : int { kFetchId = 101, kDownloadId, kGroupId, kSiteId, kChatId };
enum TimerId : UINT_PTR { kTimer1Id = 1, kTimer2Id = 2 };

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Handlers are the program's own code; nothing they might throw may cross into Windows.
void runHandler(const std::function<void()>& handler) noexcept {
    if (!handler) {
        return;
    }
    try {
        handler();
    } catch (...) {
    }
}

bool registerWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kWindowClass, &existing) != FALSE) {
        return true;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

MainWindow::~MainWindow() {
    if (hwnd_ != nullptr && IsWindow(hwnd_) != FALSE) {
        DestroyWindow(hwnd_);
    }
}

bool MainWindow::create(HINSTANCE instance, int showCommand) {
    if (!registerWindowClass(instance, windowProc)) {
        return false;
    }
    const int left = (GetSystemMetrics(SM_CXSCREEN) - kMainWindowWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kMainWindowHeight) / 2;
    const std::wstring caption = widen(kMainWindowCaption);
    hwnd_ = CreateWindowExW(0, kWindowClass, caption.c_str(), kWindowStyle, left, top,
                            kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr || !createControls()) {
        return false;
    }
    时钟1.attach(hwnd_, kTimer1Id);
    时钟2.attach(hwnd_, kTimer2Id);
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(编辑框1.hwnd());
    return true;
}

// Creation order is the Tab order: id box, the two action buttons, the list, the contacts.
bool MainWindow::createControls() {
    const HWND w = hwnd_;
    return 标签1.create(w, {48, 24, 24, 24}, "ID:") &&
           编辑框1.create(w, {80, 24, 112, 24}, "30025") &&
           按钮_获取.create(w, {248, 24, 72, 24}, "获取章节", kFetchId) &&
           按钮_下载.create(w, {344, 24, 72, 24}, "开始下载", kDownloadId) &&
           标签2.create(w, {8, 64, 32, 16}, "名称:") && 标签3.create(w, {40, 59, 112, 24}, "") &&
           标签5.create(w, {152, 64, 56, 16}, "章节数量:") &&
           标签4.create(w, {208, 64, 24, 16}, "") && 标签7.create(w, {248, 64, 32, 16}, "作者:") &&
           标签6.create(w, {280, 64, 80, 16}, "") && 标签9.create(w, {376, 64, 32, 16}, "主播:") &&
           标签8.create(w, {416, 64, 72, 16}, "") &&
           超级列表框1.create(w, {8, 96, 504, 168},
                              {{"编号", 80}, {"章节名", 200}, {"状态", 70}}) &&
           进度条1.create(w, {8, 272, 504, 24}) &&
           标签10.create(w, {8, 304, 504, 16}, "下载速度:0Mb") &&
           按钮1.create(w, {8, 344, 112, 24}, "点击加入QQ群", kGroupId) &&
           按钮2.create(w, {200, 344, 112, 24}, "软件官网", kSiteId) &&
           按钮3.create(w, {384, 344, 112, 24}, "联系QQ", kChatId);
}

StaticLabel& MainWindow::label(Label label) {
    switch (label) {
        case Label::标签3:
            return 标签3;
        case Label::标签4:
            return 标签4;
        case Label::标签6:
            return 标签6;
        case Label::标签8:
            return 标签8;
        case Label::标签10:
            break;
    }
    return 标签10;
}

void MainWindow::setCommandHandler(Command command, std::function<void()> handler) {
    (command == Command::按钮_获取 ? fetchHandler_ : downloadHandler_) = std::move(handler);
}

void MainWindow::setTimerHandler(Timer timer, std::function<void()> handler) {
    (timer == Timer::时钟1 ? tick1Handler_ : tick2Handler_) = std::move(handler);
}

void MainWindow::setAddressOpener(std::function<void(std::string_view)> opener) {
    openAddress_ = std::move(opener);
}

void MainWindow::onCommand(int id) {
    std::string_view address;
    switch (id) {
        case kFetchId:
            runHandler(fetchHandler_);
            return;
        case kDownloadId:
            runHandler(downloadHandler_);
            return;
        case kGroupId:
            address = settings::kGroupInviteAddress;
            break;
        case kSiteId:
            address = settings::kSiteAddress;
            break;
        case kChatId:
            address = settings::kChatAddress;
            break;
        default:
            return;
    }
    runHandler([&] { openAddress_ ? openAddress_(address) : openContactLink(address); });
}

void MainWindow::onTimer(UINT_PTR id) {
    if (id == kTimer1Id) {
        runHandler(tick1Handler_);
    } else if (id == kTimer2Id) {
        runHandler(tick2Handler_);
    }
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                onCommand(LOWORD(wParam));
            }
            return 0;
        case WM_TIMER:
            onTimer(wParam);
            return 0;
        case WM_DESTROY:
            // The loop ends with the last window, and this is the only one.
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

int runMessageLoop(HWND mainWindow) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Checked before IsDialogMessage, which would turn Esc into an IDCANCEL command.
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE &&
            IsWindow(mainWindow) != FALSE) {
            SendMessageW(mainWindow, WM_CLOSE, 0, 0);
            continue;
        }
        if (IsWindow(mainWindow) != FALSE && IsDialogMessageW(mainWindow, &message) != FALSE) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace zelbrin
