// zelbrin-drive: works the window of a running zelbrin program from outside, as a person would.
//   zelbrin-drive lookup <port> <books.json> <id> <rows>   serves the books on 127.0.0.1:<port>,
//       types <id> into the id box, clicks 获取章节 and checks that <rows> rows arrived
//   zelbrin-drive escape                                    presses Esc in the focused control
// Exit code 0 when every step worked.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake_service.h"

namespace {

constexpr wchar_t kCaption[] = L"Zelbrin懒人听书下载工具";

HWND waitForWindow() {
    for (int attempt = 0; attempt < 600; ++attempt) {
        if (HWND window = FindWindowW(L"ZelbrinMainWindow", kCaption)) {
            return window;
        }
        Sleep(100);
    }
    return nullptr;
}

int lookup(int port, const char* books, const std::string& id, int rows) {
    auto catalogue = zelbrin::fake_service::loadCatalogue(books);
    if (!catalogue) {
        std::fprintf(stderr, "cannot read %s\n", books);
        return 1;
    }
    zelbrin::fake_service::FakeService service(std::move(*catalogue));
    if (!service.start(port)) {
        std::fprintf(stderr, "cannot listen on port %d\n", port);
        return 1;
    }
    HWND window = waitForWindow();
    HWND box = window ? FindWindowExW(window, nullptr, L"Edit", nullptr) : nullptr;
    HWND fetch = window ? FindWindowExW(window, nullptr, L"Button", L"获取章节") : nullptr;
    HWND list = window ? FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    if (box == nullptr || fetch == nullptr || list == nullptr) {
        std::fprintf(stderr, "window or controls not found\n");
        return 1;
    }
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    for (char digit : "x" + id) {  // the leading letter must be dropped by the box
        SendMessageW(box, WM_CHAR, static_cast<WPARAM>(digit), 1);
    }
    wchar_t typed[32] = {};
    SendMessageW(box, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(typed));
    // Returns when the click handler has finished, the whole lookup included.
    SendMessageW(fetch, BM_CLICK, 0, 0);
    const int listed = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::printf("typed %ls, %d rows, %d book page requests\n", typed, listed,
                service.requestCount("/book/" + id));
    return std::wstring(typed) == std::wstring(id.begin(), id.end()) && listed == rows ? 0 : 1;
}

int escape() {
    HWND window = waitForWindow();
    if (window == nullptr) {
        return 1;
    }
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND focus =
        GetGUIThreadInfo(thread, &info) != FALSE && info.hwndFocus ? info.hwndFocus : window;
    return PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0) != FALSE ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "lookup" && argc == 6) {
        return lookup(std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5]));
    }
    if (command == "escape" && argc == 2) {
        return escape();
    }
    std::fprintf(stderr, "usage: zelbrin-drive lookup <port> <books.json> <id> <rows> | escape\n");
    return 2;
}
