#include "platform/WidgetMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace orvane::platform {

void WidgetMessageBoxes::show(const QString &text, const QString &caption)
{
    const QString title = caption.isEmpty() ? QStringLiteral("Orvane") : caption;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
        return;
    }
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
}

void WidgetMessageBoxes::installAsReal()
{
    static WidgetMessageBoxes boxes;
    MessageBoxes::setReal(&boxes);
}

} // namespace orvane::platform
