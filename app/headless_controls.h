// The main window's controls as an in-memory model: what the Linux tests and the command-line
// front end drive instead of the Win32 window. Timers really tick: runUntil() is a small
// message loop that calls the registered tick handlers when their periods come due.
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>  // std::chrono: <chrono> itself cannot be read with a GBK execution charset
#include <vector>

#include "app/controls.h"

namespace zelbrin {

class HeadlessControls final : public Controls {
public:
    struct Message {
        Text text;
        Text caption;
    };

    HeadlessControls();

    // The user's side: typing into 编辑框1 (the same filter as the window's box) or setting
    // its whole text (like a paste, unfiltered).
    void typeIntoEditBox(std::string_view typed);
    void setEditText(std::string_view text);

    Text editText() const override;
    void setLabelText(Label label, std::string_view text) override;
    Text labelText(Label label) const override;

    int addRow(std::string_view column0) override;
    void setCell(int row, int column, std::string_view text) override;
    Text cellText(int row, int column) const override;
    int rowCount() const override;

    void setProgress(int position) override;
    int progress() const;

    void setTimerPeriod(Timer timer, int periodMs) override;
    int timerPeriod(Timer timer) const override;

    // Records the message instead of waiting for a click on OK.
    void showMessage(std::string_view text, std::string_view caption) override;
    std::vector<Message> messages() const;

    // What a tick of the timer runs; none by default.
    void setTimerHandler(Timer timer, std::function<void()> handler);

    // Fires due timers until `done` returns true or `limit` has passed; true when `done` did.
    // A tick is due one period after the timer was started or last ticked, as with SetTimer.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    using Clock = std::chrono::steady_clock;

    struct TimerState {
        int periodMs = 0;
        Clock::time_point due{};
        std::function<void()> handler;
    };

    // Runs every due timer once; returns the time until the next one is due.
    Clock::duration fireDueTimers();

    // Guards the rows only: setCell comes from download threads, everything else from the
    // thread that runs the loop.
    mutable std::mutex rowsMutex_;
    std::vector<std::array<Text, 3>> rows_;

    Text editText_;
    std::array<Text, 5> labels_;
    int progress_ = 0;
    std::array<TimerState, 2> timers_;
    std::vector<Message> messages_;
};

}  // namespace zelbrin
