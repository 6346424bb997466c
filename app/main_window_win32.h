// The program's one window: the book id box and its two action buttons, the book's labels,
// the chapter list, the progress bar, the speed line, three contact buttons and two timers.
// Controls keep the names of the window template.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "app/button_win32.h"
#include "app/controls.h"
#include "app/edit_box_win32.h"
#include "app/label_win32.h"
#include "app/list_view_win32.h"
#include "app/progress_bar_win32.h"
#include "app/window_timer_win32.h"

namespace zelbrin {

inline constexpr std::string_view kMainWindowCaption = "Zelbrin懒人听书下载工具";
inline constexpr int kMainWindowWidth = 530;
inline constexpr int kMainWindowHeight = 411;

enum class Command { 按钮_获取, 按钮_下载 };

class MainWindow {
public:
    MainWindow() = default;
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window with every control, centred, and shows it. False when Windows
    // refuses the window or one of its controls.
    bool create(HINSTANCE instance, int showCommand = SW_SHOWNORMAL);
    HWND hwnd() const { return hwnd_; }

    void setCommandHandler(Command command, std::function<void()> handler);
    void setTimerHandler(Timer timer, std::function<void()> handler);
    // How the contact buttons open their addresses; the shell's "open" unless replaced.
    void setAddressOpener(std::function<void(std::string_view)> opener);

    WindowTimer& timer(Timer timer) { return timer == Timer::时钟1 ? 时钟1 : 时钟2; }
    StaticLabel& label(Label label);

    StaticLabel 标签1, 标签2, 标签3, 标签4, 标签5, 标签6, 标签7, 标签8, 标签9, 标签10;
    EditBox 编辑框1;
    PushButton 按钮_获取, 按钮_下载, 按钮1, 按钮2, 按钮3;
    ListView 超级列表框1;
    ProgressBar 进度条1;
    WindowTimer 时钟1, 时钟2;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool createControls();
    void onCommand(int id);
    void onTimer(UINT_PTR id);

    HWND hwnd_ = nullptr;
    std::function<void()> fetchHandler_;
    std::function<void()> downloadHandler_;
    std::function<void()> tick1Handler_;
    std::function<void()> tick2Handler_;
    std::function<void(std::string_view)> openAddress_;
};

// Dispatches messages until the main window is gone; returns the exit code WM_QUIT carries.
// Esc closes the main window whichever control has the focus; Tab moves between controls.
int runMessageLoop(HWND mainWindow);

}  // namespace zelbrin
