// The Controls interface over the real window.
#pragma once

#include "app/controls.h"
#include "app/main_window_win32.h"

namespace zelbrin {

class WindowControls final : public Controls {
public:
    explicit WindowControls(MainWindow& window) : window_(window) {}

    Text editText() const override;
    void setLabelText(Label label, std::string_view text) override;
    Text labelText(Label label) const override;
    int addRow(std::string_view column0) override;
    void setCell(int row, int column, std::string_view text) override;
    Text cellText(int row, int column) const override;
    int rowCount() const override;
    void setProgress(int position) override;
    void setTimerPeriod(Timer timer, int periodMs) override;
    int timerPeriod(Timer timer) const override;
    void showMessage(std::string_view text, std::string_view caption) override;

private:
    MainWindow& window_;
};

}  // namespace zelbrin
