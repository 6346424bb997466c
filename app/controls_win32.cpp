// https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-messageboxw
#include "app/controls_win32.h"

#include "text/wide_text.h"

namespace zelbrin {

Text WindowControls::editText() const { return window_.编辑框1.text(); }

void WindowControls::setLabelText(Label label, std::string_view text) {
    window_.label(label).setText(text);
}

Text WindowControls::labelText(Label label) const { return window_.label(label).text(); }

int WindowControls::addRow(std::string_view column0) { return window_.超级列表框1.addRow(column0); }

// Called from the engine's thread too: the list view's SendMessageW runs on the window's
// thread and returns when the cell is set.
void WindowControls::setCell(int row, int column, std::string_view text) {
    window_.超级列表框1.setCell(row, column, text);
}

Text WindowControls::cellText(int row, int column) const {
    return window_.超级列表框1.cellText(row, column);
}

int WindowControls::rowCount() const { return window_.超级列表框1.rowCount(); }

void WindowControls::setProgress(int position) { window_.进度条1.setPosition(position); }

void WindowControls::setTimerPeriod(Timer timer, int periodMs) {
    window_.timer(timer).setPeriod(periodMs);
}

int WindowControls::timerPeriod(Timer timer) const { return window_.timer(timer).period(); }

void WindowControls::showMessage(std::string_view text, std::string_view caption) {
    MessageBoxW(window_.hwnd(), widen(text).c_str(), widen(caption).c_str(), MB_OK);
}

}  // namespace zelbrin
