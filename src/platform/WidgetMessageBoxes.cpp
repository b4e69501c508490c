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
    // The message and an OK button, nothing else: no icon.
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

void WidgetMessageBoxes::installAsReal()
{
    static WidgetMessageBoxes boxes;
    MessageBoxes::setReal(&boxes);
}

} // namespace orvane::platform
