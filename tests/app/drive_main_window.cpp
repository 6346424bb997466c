// zelbrin-drive: works the window of a running zelbrin program from outside, as a person would.
//   zelbrin-drive lookup <port> <books.json> <id> <rows>   serves the books on 127.0.0.1:<port>,
//       types <id> into the id box, clicks 获取章节 and checks that <rows> rows arrived
//   zelbrin-drive download <port> <books.json> <id> <rows> <book folder> <started marker>
//       the same lookup, then clicks 开始下载, creates <started marker> once the download runs,
//       waits for the "信息：" message box, checks it says "下载完成" and compares every file in
//       <book folder> with the service's bytes; leaves the box open for a screenshot
//   zelbrin-drive close-midway <port> <books.json> <id> <rows>
//       the same lookup, clicks 开始下载, presses Esc once the first chapter is under way and
//       keeps serving until the window is gone
//   zelbrin-drive dismiss                                   clicks OK in the "信息：" box
//   zelbrin-drive escape                                    presses Esc in the focused control
// Exit code 0 when every step worked.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fake_service.h"

namespace {

constexpr wchar_t kCaption[] = L"Zelbrin懒人听书下载工具";

HWND waitForWindow() {
    for (int attempt = 0; attempt < 600; ++attempt) {
        // Shown only once every control exists.
        HWND window = FindWindowW(L"ZelbrinMainWindow", kCaption);
        if (window != nullptr && IsWindowVisible(window)) {
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

constexpr wchar_t kMessageCaption[] = L"信息：";

std::wstring wideFromUtf8(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

// The C library of Windows cannot print wide text beyond ASCII; the console log wants UTF-8.
std::string utf8FromWide(const std::wstring& wide) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes,
                        nullptr, nullptr);
    return text;
}

HWND waitForMessageBox(int seconds) {
    for (int attempt = 0; attempt < seconds * 10; ++attempt) {
        if (HWND box = FindWindowW(L"#32770", kMessageCaption)) return box;
        Sleep(100);
    }
    return nullptr;
}

std::wstring messageText(HWND box) {
    std::wstring all;
    for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child != nullptr;
         child = FindWindowExW(box, child, L"Static", nullptr)) {
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        all += text;
    }
    return all;
}

std::vector<std::uint8_t> readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every chapter's file by the name the program gives it: the chapter name, "(1)" for the
// second chapter of the same name, ".mp3".
bool compareBookFolder(const zelbrin::fake_service::Book& book, const std::wstring& folder) {
    std::map<std::wstring, int> seen;
    bool same = true;
    for (const auto& chapter : book.chapters) {
        std::wstring name = wideFromUtf8(chapter.name);
        const int copies = seen[name]++;
        if (copies > 0) name += L"(" + std::to_wstring(copies) + L")";
        const std::wstring path = folder + L"\\" + name + L".mp3";
        const bool equal = readFile(path) == zelbrin::fake_service::audioBytes(
                                                 book.id, chapter.resId, chapter.size);
        std::printf("%s: %s\n", utf8FromWide(path).c_str(),
                    equal ? "byte-exact" : "MISSING OR DIFFERENT");
        same = same && equal;
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    int files = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    std::printf("%d files in the book folder\n", files);
    return same && files == static_cast<int>(book.chapters.size());
}

int download(int port, const char* books, const std::string& id, int rows, const char* folder,
             const char* startedMarker) {
    auto catalogue = zelbrin::fake_service::loadCatalogue(books);
    const auto* book = catalogue ? catalogue->findBook(std::atoll(id.c_str())) : nullptr;
    if (book == nullptr) {
        std::fprintf(stderr, "no book %s in %s\n", id.c_str(), books);
        return 1;
    }
    const zelbrin::fake_service::Book expected = *book;
    zelbrin::fake_service::FakeService service(std::move(*catalogue));
    if (!service.start(port)) {
        std::fprintf(stderr, "cannot listen on port %d\n", port);
        return 1;
    }
    HWND window = waitForWindow();
    HWND box = window ? FindWindowExW(window, nullptr, L"Edit", nullptr) : nullptr;
    HWND fetch = window ? FindWindowExW(window, nullptr, L"Button", L"获取章节") : nullptr;
    HWND start = window ? FindWindowExW(window, nullptr, L"Button", L"开始下载") : nullptr;
    HWND list = window ? FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    if (box == nullptr || fetch == nullptr || start == nullptr || list == nullptr) {
        std::fprintf(stderr, "window or controls not found\n");
        return 1;
    }
    const std::wstring wideId(id.begin(), id.end());
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wideId.c_str()));
    SendMessageW(fetch, BM_CLICK, 0, 0);
    const int listed = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (listed != rows) {
        std::fprintf(stderr, "%d rows listed, %d expected\n", listed, rows);
        return 1;
    }
    // Posted, not sent: the click's handler queues the first chapter and must not hold us up.
    PostMessageW(start, BM_CLICK, 0, 0);
    std::ofstream(startedMarker) << "started\n";

    HWND message = waitForMessageBox(120);
    if (message == nullptr) {
        std::fprintf(stderr, "no message box\n");
        return 1;
    }
    const std::wstring said = messageText(message);
    std::printf("message box: %s\n", utf8FromWide(said).c_str());
    const std::wstring bookFolder = wideFromUtf8(folder) + L"\\" + wideFromUtf8(expected.name);
    const bool filesRight = compareBookFolder(expected, bookFolder);
    return said == L"下载完成" && filesRight ? 0 : 1;
}

// Esc whichever control of the program's thread has the focus.
bool pressEscape(HWND window) {
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND focus =
        GetGUIThreadInfo(thread, &info) != FALSE && info.hwndFocus ? info.hwndFocus : window;
    return PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0) != FALSE;
}

int closeMidway(int port, const char* books, const std::string& id, int rows) {
    auto catalogue = zelbrin::fake_service::loadCatalogue(books);
    if (!catalogue) return 1;
    zelbrin::fake_service::FakeService service(std::move(*catalogue));
    if (!service.start(port)) return 1;
    HWND window = waitForWindow();
    HWND box = window ? FindWindowExW(window, nullptr, L"Edit", nullptr) : nullptr;
    HWND fetch = window ? FindWindowExW(window, nullptr, L"Button", L"获取章节") : nullptr;
    HWND start = window ? FindWindowExW(window, nullptr, L"Button", L"开始下载") : nullptr;
    HWND list = window ? FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    if (box == nullptr || fetch == nullptr || start == nullptr || list == nullptr) return 1;
    const std::wstring wideId(id.begin(), id.end());
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wideId.c_str()));
    SendMessageW(fetch, BM_CLICK, 0, 0);
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != rows) return 1;
    PostMessageW(start, BM_CLICK, 0, 0);
    // Under way: some audio has been asked for, and the first chapter is far from done.
    for (int attempt = 0; attempt < 100 && service.statsJson().find("/audio/") == std::string::npos;
         ++attempt) {
        Sleep(100);
    }
    Sleep(500);
    if (!pressEscape(window)) return 1;
    for (int attempt = 0; attempt < 300 && IsWindow(window); ++attempt) Sleep(100);
    std::printf("window %s after Esc during the download\n", IsWindow(window) ? "still open" : "gone");
    Sleep(2000);  // the clean-up stops the engine; its connections may still be talking to us
    return IsWindow(window) ? 1 : 0;
}

int dismiss() {
    HWND box = waitForMessageBox(10);
    if (box == nullptr) return 1;
    if (PostMessageW(box, WM_COMMAND, IDOK, 0) == FALSE) return 1;
    // Esc must reach the main window, not a box that is still closing.
    for (int attempt = 0; attempt < 100 && IsWindow(box); ++attempt) Sleep(100);
    return IsWindow(box) ? 1 : 0;
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
    if (command == "download" && argc == 8) {
        return download(std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5]), argv[6],
                        argv[7]);
    }
    if (command == "close-midway" && argc == 6) {
        return closeMidway(std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5]));
    }
    if (command == "dismiss" && argc == 2) {
        return dismiss();
    }
    if (command == "escape" && argc == 2) {
        return escape();
    }
    std::fprintf(stderr,
                 "usage: zelbrin-drive lookup <port> <books.json> <id> <rows>\n"
                 "       zelbrin-drive download <port> <books.json> <id> <rows> <folder> <marker>\n"
                 "       zelbrin-drive close-midway <port> <books.json> <id> <rows>\n"
                 "       zelbrin-drive dismiss | escape\n");
    return 2;
}
