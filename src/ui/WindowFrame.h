#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace orvane::WindowFrame {

// The frame (title bar and borders, in pixels) that the window system puts
// around a top-level window, decided before the window is first shown so that
// it is never resized once it is on the screen: what the platform says for the
// window itself once its native window exists; where the platform knows a
// frame only after mapping (X11), the frame of a window of this process that
// is already framed; failing both, the style's title bar and border.
QMargins beforeShowing(QWidget *window);

// The primary screen's work area (without panels and docks) in desktop
// coordinates, which need not start at (0, 0); empty without a screen.
QRect workArea();

} // namespace orvane::WindowFrame
