#include "app/window_events_win32.h"

#include "catalogue/catalogue.h"
#include "download/sequence.h"

namespace zelbrin {

void connectWindowEvents(MainWindow& window) {
    window.setCommandHandler(Command::按钮_获取, [] { lookupBook(); });
    window.setCommandHandler(Command::按钮_下载, [] { startDownloads(); });
    window.setTimerHandler(Timer::时钟1, [] { onSequenceTick(); });
    window.setTimerHandler(Timer::时钟2, [] { onSpeedTick(); });
}

}  // namespace zelbrin
