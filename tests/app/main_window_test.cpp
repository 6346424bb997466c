// The real main window under Wine: created in this process and driven with messages.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "app/controls_win32.h"
#include "app/main_window_win32.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "text/wide_text.h"
#include "app/window_events_win32.h"
#include "fake_service.h"

namespace zelbrin {
namespace {

// Handles what is queued for this thread (sent messages from other threads included).
void pumpMessages(DWORD forMs) {
    const DWORD end = GetTickCount() + forMs;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() < end);
}

RECT clientRect(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

LONG style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX),
                                    ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&common);
        initSharedState();
        ASSERT_TRUE(window_.create(GetModuleHandleW(nullptr)));
        controls = &controls_;
    }

    void TearDown() override {
        controls = nullptr;
        releaseSharedState();
    }

    void type(HWND control, const std::wstring& keys) {
        for (wchar_t key : keys) {
            SendMessageW(control, WM_CHAR, key, 1);
        }
    }

    MainWindow window_;
    WindowControls controls_{window_};
};

TEST_F(MainWindowTest, FixedDialogFrameCentredWithCaption) {
    const HWND main = window_.hwnd();
    EXPECT_EQ(windowText(main), "Zelbrin懒人听书下载工具");
    RECT outer;
    GetWindowRect(main, &outer);
    EXPECT_EQ(outer.right - outer.left, 530);
    EXPECT_EQ(outer.bottom - outer.top, 411);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 530) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 411) / 2);
    const LONG frame = style(main);
    EXPECT_EQ(frame & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(frame & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_EQ(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    // Its own icon, 32 x 32 with an alpha channel.
    const auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(main, GCLP_HICON));
    ICONINFO info{};
    ASSERT_NE(GetIconInfo(icon, &info), FALSE);
    BITMAP color{};
    GetObjectW(info.hbmColor, sizeof color, &color);
    EXPECT_EQ(color.bmWidth, 32);
    EXPECT_EQ(color.bmHeight, 32);
    EXPECT_EQ(color.bmBitsPixel, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(GetFocus(), window_.编辑框1.hwnd());
}

TEST_F(MainWindowTest, EveryControlAtItsPlaceWithItsTextFontAndTabStop) {
    MainWindow& w = window_;
    static const HGDIOBJ guiFont = GetStockObject(DEFAULT_GUI_FONT);
    const struct {
        const char* name;
        HWND control;
        RECT place;
        const char* text;
        bool tabStop;
    } cases[] = {
        {"标签1", w.标签1.hwnd(), {48, 24, 72, 48}, "ID:", false},
        {"编辑框1", w.编辑框1.hwnd(), {80, 24, 192, 48}, "30025", true},
        {"按钮_获取", w.按钮_获取.hwnd(), {248, 24, 320, 48}, "获取章节", true},
        {"按钮_下载", w.按钮_下载.hwnd(), {344, 24, 416, 48}, "开始下载", true},
        {"标签2", w.标签2.hwnd(), {8, 64, 40, 80}, "名称:", false},
        {"标签3", w.标签3.hwnd(), {40, 59, 152, 83}, "", false},
        {"标签5", w.标签5.hwnd(), {152, 64, 208, 80}, "章节数量:", false},
        {"标签4", w.标签4.hwnd(), {208, 64, 232, 80}, "", false},
        {"标签7", w.标签7.hwnd(), {248, 64, 280, 80}, "作者:", false},
        {"标签6", w.标签6.hwnd(), {280, 64, 360, 80}, "", false},
        {"标签9", w.标签9.hwnd(), {376, 64, 408, 80}, "主播:", false},
        {"标签8", w.标签8.hwnd(), {416, 64, 488, 80}, "", false},
        {"超级列表框1", w.超级列表框1.hwnd(), {8, 96, 512, 264}, "", true},
        {"进度条1", w.进度条1.hwnd(), {8, 272, 512, 296}, "", false},
        {"标签10", w.标签10.hwnd(), {8, 304, 512, 320}, "下载速度:0Mb", false},
        {"按钮1", w.按钮1.hwnd(), {8, 344, 120, 368}, "点击加入QQ群", true},
        {"按钮2", w.按钮2.hwnd(), {200, 344, 312, 368}, "软件官网", true},
        {"按钮3", w.按钮3.hwnd(), {384, 344, 496, 368}, "联系QQ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.control, nullptr);
        const RECT place = clientRect(c.control);
        EXPECT_EQ(place.left, c.place.left);
        EXPECT_EQ(place.top, c.place.top);
        EXPECT_EQ(place.right, c.place.right);
        EXPECT_EQ(place.bottom, c.place.bottom);
        EXPECT_EQ(windowText(c.control), c.text);
        EXPECT_EQ((style(c.control) & WS_TABSTOP) != 0, c.tabStop);
        EXPECT_NE(style(c.control) & WS_VISIBLE, 0);
        EXPECT_NE(IsWindowEnabled(c.control), FALSE);
        EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(c.control, WM_GETFONT, 0, 0)), guiFont);
    }
}

TEST_F(MainWindowTest, ListIsAGridReportWithThreeColumnsAndTheBarAndTimersStartAtZero) {
    const HWND list = window_.超级列表框1.hwnd();
    const LONG listStyle = style(list);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_NE(listStyle & LVS_SINGLESEL, 0);
    EXPECT_EQ(listStyle & (LVS_NOSORTHEADER | LVS_NOCOLUMNHEADER | LVS_EDITLABELS |
                           LVS_SORTASCENDING | LVS_SORTDESCENDING),
              0);
    const auto extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_NE(extended & LVS_EX_GRIDLINES, 0);
    EXPECT_EQ(extended & (LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES), 0);

    const struct {
        const char* title;
        int width;
    } columns[] = {{"编号", 80}, {"章节名", 200}, {"状态", 70}};
    int index = 0;
    for (const auto& c : columns) {
        SCOPED_TRACE(c.title);
        wchar_t title[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title;
        column.cchTextMax = 64;
        ASSERT_NE(SendMessageW(list, LVM_GETCOLUMNW, index++, reinterpret_cast<LPARAM>(&column)),
                  0);
        EXPECT_EQ(narrow(title), c.title);
        EXPECT_EQ(column.cx, c.width);
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNW, 3, reinterpret_cast<LPARAM>(&columns)), 0);
    EXPECT_EQ(controls_.rowCount(), 0);

    PBRANGE range{};
    SendMessageW(window_.进度条1.hwnd(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(window_.进度条1.position(), 0);
    EXPECT_EQ(controls_.timerPeriod(Timer::时钟1), 0);
    EXPECT_EQ(controls_.timerPeriod(Timer::时钟2), 0);
}

TEST_F(MainWindowTest, IdBoxDropsTypedLettersButNotControlKeysOrPastes) {
    const HWND box = window_.编辑框1.hwnd();
    static const struct {
        const wchar_t* typed;
        const char* kept;
    } cases[] = {{L"a1-b2", "1-2"}, {L"9-8-", "9-8-"}, {L"x y.", ""}, {L"12\b", "1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept);
        window_.编辑框1.setText("");
        type(box, c.typed);
        EXPECT_EQ(controls_.editText(), c.kept);
    }
    window_.编辑框1.setText("");
    SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"ab3"));  // as a paste does
    EXPECT_EQ(controls_.editText(), "ab3");
}

TEST_F(MainWindowTest, TimersTickUntilStoppedAndKeepTheirPeriod) {
    int ticks = 0;
    window_.setTimerHandler(Timer::时钟2, [&] { ++ticks; });
    static const struct {
        int written;
        int period;
    } cases[] = {{20, 20}, {20, 20}, {-1, 0}, {30, 30}};
    for (const auto& c : cases) {
        controls_.setTimerPeriod(Timer::时钟2, c.written);
        EXPECT_EQ(controls_.timerPeriod(Timer::时钟2), c.period);
    }
    pumpMessages(300);
    EXPECT_GT(ticks, 0);
    controls_.setTimerPeriod(Timer::时钟2, 0);
    pumpMessages(50);
    const int stoppedAt = ticks;
    pumpMessages(200);
    EXPECT_EQ(ticks, stoppedAt);
}

TEST_F(MainWindowTest, FetchButtonFillsLabelsAndRows) {
    namespace fake = fake_service;
    fake::Book book;
    book.id = 777;
    book.name = reinterpret_cast<const char*>(u8"测试之书");
    book.author = reinterpret_cast<const char*>(u8"某作者");
    book.narrator = reinterpret_cast<const char*>(u8"某主播");
    for (int n = 1; n <= 12; ++n) {
        book.chapters.push_back({777000 + n,
                                 reinterpret_cast<const char*>(u8"第") + std::to_string(n) +
                                     reinterpret_cast<const char*>(u8"集"),
                                 1024,
                                 {}});
    }
    book.total = 12;
    fake::FakeService service(fake::Catalogue{{book}});
    ASSERT_TRUE(service.start(0));
    const Text savedBase = serviceBase;
    serviceBase = service.baseUrl();
    connectWindowEvents(window_);

    window_.编辑框1.setText("");
    type(window_.编辑框1.hwnd(), L"777");
    SendMessageW(window_.按钮_获取.hwnd(), BM_CLICK, 0, 0);
    serviceBase = savedBase;

    EXPECT_EQ(window_.标签3.text(), "测试之书");
    EXPECT_EQ(window_.标签4.text(), "12");
    EXPECT_EQ(window_.标签6.text(), "某作者");
    EXPECT_EQ(window_.标签8.text(), "某主播");
    ASSERT_EQ(controls_.rowCount(), 12);
    EXPECT_EQ(controls_.cellText(0, 0), "777001");
    EXPECT_EQ(controls_.cellText(11, 1), "第12集");
    EXPECT_EQ(controls_.cellText(11, 2), "待下载");
    EXPECT_EQ(service.requestCount("/ajax/book/777/1/10"), 1);
}

TEST_F(MainWindowTest, CellsSetFromAnotherThreadReachTheList) {
    controls_.addRow("1");
    controls_.addRow("2");
    bool finished = false;
    std::thread engine([&] {
        controls_.setCell(1, 2, "42%");  // waits until this thread's loop carries it out
        finished = true;
    });
    const DWORD end = GetTickCount() + 5000;
    while (!finished && GetTickCount() < end) {
        pumpMessages(10);
    }
    engine.join();
    EXPECT_EQ(controls_.cellText(1, 2), "42%");
}

TEST_F(MainWindowTest, ContactButtonsOpenTheirAddresses) {
    std::vector<std::string> opened;
    window_.setAddressOpener([&](std::string_view address) { opened.emplace_back(address); });
    for (HWND button : {window_.按钮1.hwnd(), window_.按钮2.hwnd(), window_.按钮3.hwnd()}) {
        SendMessageW(button, BM_CLICK, 0, 0);
    }
    EXPECT_EQ(opened, (std::vector<std::string>{std::string(settings::kGroupInviteAddress),
                                                std::string(settings::kSiteAddress),
                                                std::string(settings::kChatAddress)}));
}

TEST_F(MainWindowTest, EscapeClosesFromAnyControlAndEndsTheLoopWithZero) {
    MainWindow& w = window_;
    const HWND focusable[] = {w.编辑框1.hwnd(), w.超级列表框1.hwnd(), w.按钮3.hwnd()};
    for (HWND control : focusable) {
        MainWindow window;
        ASSERT_TRUE(window.create(GetModuleHandleW(nullptr)));
        // The same control of the fresh window: found by its place in the creation order.
        HWND target = GetWindow(window.hwnd(), GW_CHILD);
        for (HWND c = GetWindow(w.hwnd(), GW_CHILD); c != control; c = GetWindow(c, GW_HWNDNEXT)) {
            target = GetWindow(target, GW_HWNDNEXT);
        }
        const HWND main = window.hwnd();
        SetFocus(target);
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(runMessageLoop(main), 0);
        EXPECT_FALSE(IsWindow(main));
    }
    EXPECT_TRUE(IsWindow(w.hwnd()));
}

}  // namespace
}  // namespace zelbrin
