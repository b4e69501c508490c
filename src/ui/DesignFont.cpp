#include "ui/DesignFont.h"

#include <QFontDatabase>

namespace orvane {

QFont designFont()
{
    static const QString family = QStringLiteral("Comic Sans MS");
    QFont font
        = QFontDatabase::hasFamily(family) ? QFont(family) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

} // namespace orvane
