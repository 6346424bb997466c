// https://learn.microsoft.com/en-us/windows/win32/controls/list-view-window-styles
// https://learn.microsoft.com/en-us/windows/win32/controls/extended-list-view-styles
// https://learn.microsoft.com/en-us/windows/win32/controls/lvm-insertcolumn
// https://learn.microsoft.com/en-us/windows/win32/controls/lvm-insertitem
// https://learn.microsoft.com/en-us/windows/win32/controls/lvm-setitemtext
// https://learn.microsoft.com/en-us/windows/win32/controls/lvm-getitemtext
#include "app/list_view_win32.h"

#include <commctrl.h>

#include <string>

#include "text/wide_text.h"

namespace zelbrin {

bool ListView::create(HWND parent, ControlPlace place, std::initializer_list<ListColumn> columns) {
    // No LVS_NOSORTHEADER: the header buttons react to clicks, and nothing sorts on them.
    hwnd_ = createControl(parent, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | WS_TABSTOP,
                          WS_EX_CLIENTEDGE, place, {}, -1);
    if (hwnd_ == nullptr) {
        return false;
    }
    SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    int index = 0;
    for (const ListColumn& column : columns) {
        std::wstring title = widen(column.title);
        LVCOLUMNW info{};
        info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        info.fmt = LVCFMT_LEFT;
        info.cx = column.width;
        info.pszText = title.data();
        info.iSubItem = index;
        SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&info));
        ++index;
    }
    return true;
}

int ListView::addRow(std::string_view column0) {
    std::wstring text = widen(column0);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = rowCount();
    item.pszText = text.data();
    return static_cast<int>(
        SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::setCell(int row, int column, std::string_view text) {
    std::wstring wide = widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

Text ListView::cellText(int row, int column) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    // The message copies at most the buffer's size and says how much it copied; a full
    // buffer may mean a longer text, so try again with a bigger one.
    std::wstring buffer(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const auto copied = static_cast<std::size_t>(SendMessageW(
            hwnd_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (copied + 1 < buffer.size()) {
            buffer.resize(copied);
            return narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

int ListView::rowCount() const {
    return static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
}

}  // namespace zelbrin
