// A report-view list: rows appended at the end, cells addressed by row and column.
// Every operation is a SendMessageW, so calling setCell from another thread is safe: Windows
// carries the message out on the window's thread while the caller waits.
// https://learn.microsoft.com/en-us/windows/win32/controls/list-view-controls-overview
#pragma once

#include "app/control_win32.h"

namespace zelbrin {

struct ListColumn {
    std::string_view title;
    int width;
};

class ListView {
public:
    bool create(HWND parent, ControlPlace place, std::initializer_list<ListColumn> columns);
    int addRow(std::string_view column0);
    void setCell(int row, int column, std::string_view text);
    Text cellText(int row, int column) const;
    int rowCount() const;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

}  // namespace zelbrin
