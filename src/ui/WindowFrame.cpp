#include "ui/WindowFrame.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace orvane::WindowFrame {

namespace {
bool framedByTheSystem(const QWindow *window)
{
    return window->handle() && window->isVisible() && !(window->flags() & Qt::FramelessWindowHint)
        && (window->type() == Qt::Window || window->type() == Qt::Dialog);
}
} // namespace

QMargins beforeShowing(QWidget *window)
{
    window->winId(); // creates the native window, not yet shown
    const QWindow *own = window->windowHandle();
    if (own && own->handle() && !own->frameMargins().isNull())
        return own->frameMargins();
    for (const QWindow *other : QGuiApplication::topLevelWindows()) {
        if (other != own && framedByTheSystem(other) && !other->frameMargins().isNull())
            return other->frameMargins();
    }
    const QStyle *style = window->style();
    const int border = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, window);
    const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return QMargins(border, title + border, border, border);
}

QRect workArea()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace orvane::WindowFrame
