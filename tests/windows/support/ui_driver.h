// Drives real dialogs from inside their own modal loops: a script of steps, each run from a
// thread timer of the loop that is running then, so that what a step posts (keys, clicks) is
// handled by that loop's dialog manager before the next step. Also saves screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace korva::testing {

using UiStep = std::function<void()>;

// Starts the steps; they run one per timer tick once a message loop runs on this thread. A step
// that opens a modal window of its own (a message box, the About box) blocks until that window
// ends; the following steps run inside it meanwhile.
void ScheduleSteps(std::vector<UiStep> steps, UINT intervalMs = 30);
// A step that waits for the visible top-level window of this process with that title (a modal
// window shows itself only once its loop is idle), then runs `then` on it; it gives up with a
// test failure after about five seconds.
UiStep WhenShown(const std::string& title, std::function<void(HWND)> then);

// How many steps are left; ClearSteps drops them.
size_t StepsLeft();
void ClearSteps();

// Clicks a push button the way the user would (BM_CLICK); false when it is disabled or hidden.
bool Click(HWND button);
std::string WindowText(HWND window);
// The text of a message box's message (its static control 0xFFFF).
std::string MessageBoxText(HWND box);
// The first top-level window of this process with that title, or null.
HWND FindOwnWindow(const std::string& title);

// Saves what the screen shows of the window's client area as a PNG file; the folder is
// made when missing. Returns false when nothing could be captured.
bool SaveScreenshot(HWND window, const std::string& path);
// <build>\screenshots
std::string ScreenshotFolder();

}  // namespace korva::testing
