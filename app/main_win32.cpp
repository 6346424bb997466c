// https://learn.microsoft.com/en-us/windows/win32/api/commctrl/nf-commctrl-initcommoncontrolsex
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include "app/controls_win32.h"
#include "app/main_window_win32.h"
#include "app/shared_state.h"
#include "app/window_events_win32.h"

namespace zelbrin {
namespace {

// Releases the shared state once, on this thread, after the window and its loop are gone,
// however the entry routine is left.
struct SharedStateScope {
    SharedStateScope() { initSharedState(); }
    ~SharedStateScope() { releaseSharedState(); }
    SharedStateScope(const SharedStateScope&) = delete;
    SharedStateScope& operator=(const SharedStateScope&) = delete;
};

// Runs once before the window exists. The program has nothing to prepare here.
void startRoutine() {}

int runProgram(HINSTANCE instance, int showCommand) {
    INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX),
                                ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);
    // Made before the shared state so that they outlive its release: closing the window during
    // a download leaves the engine to be stopped by the clean-up, and until it has stopped its
    // progress events still write to the list. Those writes reach a window that is gone, which
    // Windows ignores, instead of a control object that is gone.
    MainWindow window;
    WindowControls windowControls(window);
    SharedStateScope sharedState;
    // The build decides where the service is; the program reads no setting at run time.
    serviceBase = ZELBRIN_PROGRAM_SERVICE_BASE;
    startRoutine();

    if (!window.create(instance, showCommand)) {
        return 1;
    }
    controls = &windowControls;
    connectWindowEvents(window);
    return runMessageLoop(window.hwnd());
}

}  // namespace
}  // namespace zelbrin

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return zelbrin::runProgram(instance, showCommand);
}
