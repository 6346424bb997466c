// Which routine each click and tick of the main window runs.
#pragma once

#include "app/main_window_win32.h"

namespace zelbrin {

void connectWindowEvents(MainWindow& window);

}  // namespace zelbrin
