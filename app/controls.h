// The main window as the catalogue and the download sequence see it: exactly the operations
// they use on its controls. Two implementations: the Win32 window and a headless in-memory
// model (tests, command-line front end). No platform header is needed to use it.
#pragma once

#include <string_view>

#include "text/text.h"

namespace zelbrin {

enum class Label { 标签3, 标签4, 标签6, 标签8, 标签10 };
enum class Timer { 时钟1, 时钟2 };

class Controls {
public:
    virtual ~Controls() = default;

    // 编辑框1, the book id box.
    virtual Text editText() const = 0;

    virtual void setLabelText(Label label, std::string_view text) = 0;
    virtual Text labelText(Label label) const = 0;

    // 超级列表框1: rows are only ever appended. Columns: 0 编号, 1 章节名, 2 状态.
    // setCell may be called from a download thread; implementations carry it out safely.
    virtual int addRow(std::string_view column0) = 0;
    virtual void setCell(int row, int column, std::string_view text) = 0;
    virtual Text cellText(int row, int column) const = 0;  // "" for a row that does not exist
    virtual int rowCount() const = 0;

    // 进度条1, 0..100.
    virtual void setProgress(int position) = 0;

    // 时钟1 / 时钟2: 0 or less stops, a positive period starts, the same period changes nothing.
    virtual void setTimerPeriod(Timer timer, int periodMs) = 0;
    virtual int timerPeriod(Timer timer) const = 0;

    // A modal message box with one OK button.
    virtual void showMessage(std::string_view text, std::string_view caption) = 0;
};

}  // namespace zelbrin
