#include "app/headless_controls.h"

#include <algorithm>
#include <thread>

#include "app/edit_filter.h"

namespace zelbrin {

namespace {

std::size_t labelIndex(Label label) { return static_cast<std::size_t>(label); }
std::size_t timerIndex(Timer timer) { return static_cast<std::size_t>(timer); }

}  // namespace

HeadlessControls::HeadlessControls()
    : editText_("30025"), labels_{"", "", "", "", "下载速度:0Mb"} {}

void HeadlessControls::typeIntoEditBox(std::string_view typed) {
    for (char c : typed) {
        if (acceptsTypedCharacter(static_cast<unsigned char>(c))) {
            editText_ += c;
        }
    }
}

void HeadlessControls::setEditText(std::string_view text) { editText_ = text; }

Text HeadlessControls::editText() const { return editText_; }

void HeadlessControls::setLabelText(Label label, std::string_view text) {
    labels_[labelIndex(label)] = text;
}

Text HeadlessControls::labelText(Label label) const { return labels_[labelIndex(label)]; }

int HeadlessControls::addRow(std::string_view column0) {
    std::lock_guard lock(rowsMutex_);
    rows_.push_back({Text(column0), Text(), Text()});
    return static_cast<int>(rows_.size()) - 1;
}

void HeadlessControls::setCell(int row, int column, std::string_view text) {
    std::lock_guard lock(rowsMutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column > 2) {
        return;
    }
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
}

Text HeadlessControls::cellText(int row, int column) const {
    std::lock_guard lock(rowsMutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column > 2) {
        return {};
    }
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int HeadlessControls::rowCount() const {
    std::lock_guard lock(rowsMutex_);
    return static_cast<int>(rows_.size());
}

void HeadlessControls::setProgress(int position) { progress_ = std::clamp(position, 0, 100); }

int HeadlessControls::progress() const { return progress_; }

void HeadlessControls::setTimerPeriod(Timer timer, int periodMs) {
    TimerState& state = timers_[timerIndex(timer)];
    const int period = std::max(periodMs, 0);
    if (period == state.periodMs) {
        return;
    }
    state.periodMs = period;
    state.due = Clock::now() + std::chrono::milliseconds(period);
}

int HeadlessControls::timerPeriod(Timer timer) const { return timers_[timerIndex(timer)].periodMs; }

void HeadlessControls::showMessage(std::string_view text, std::string_view caption) {
    messages_.push_back({Text(text), Text(caption)});
}

std::vector<HeadlessControls::Message> HeadlessControls::messages() const { return messages_; }

void HeadlessControls::setTimerHandler(Timer timer, std::function<void()> handler) {
    timers_[timerIndex(timer)].handler = std::move(handler);
}

HeadlessControls::Clock::duration HeadlessControls::fireDueTimers() {
    Clock::duration untilNext = std::chrono::milliseconds(10);
    for (TimerState& state : timers_) {
        if (state.periodMs <= 0) {
            continue;
        }
        if (Clock::now() >= state.due) {
            state.due = Clock::now() + std::chrono::milliseconds(state.periodMs);
            // Copied: a handler may replace itself or stop its own timer.
            if (auto handler = state.handler) {
                handler();
            }
        }
        if (state.periodMs > 0) {
            untilNext = std::min(untilNext, std::max<Clock::duration>(state.due - Clock::now(),
                                                                      Clock::duration::zero()));
        }
    }
    return untilNext;
}

bool HeadlessControls::runUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end) {
            return false;
        }
        // Short sleeps keep `done` checked often even while no timer runs.
        std::this_thread::sleep_for(std::min<Clock::duration>(fireDueTimers(), end - Clock::now()));
    }
    return true;
}

}  // namespace zelbrin
