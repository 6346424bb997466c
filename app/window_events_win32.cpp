#include "app/window_events_win32.h"

#include "catalogue/catalogue.h"

namespace zelbrin {

void connectWindowEvents(MainWindow& window) {
    window.setCommandHandler(Command::按钮_获取, [] { lookupBook(); });
}

}  // namespace zelbrin
