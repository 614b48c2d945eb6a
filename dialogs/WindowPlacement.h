// Where the bench windows appear: centred on the screen with their frame, as on Windows.
// Under an X window manager the frame is known only some time after the window is mapped,
// so the window is centred again, once, when its frame or size first changes after showing.
// A window larger than the screen starts at the screen's top left corner, and a window that
// grows later is moved back onto the screen.
#pragma once

#include <functional>

class QWidget;

// Keeps window centred from each showing until its frame is known. beforeCentring runs
// first each time, so a window can fit its size to the frame before it is placed.
void CentreOnScreenWhenShown(QWidget* window, std::function<void()> beforeCentring = {});

// The width of the frame the window system puts around window (0 before it is known).
int FrameWidth(const QWidget* window);
