#include "factory/CValues.h"

#include "factory/EventRelay.h"
#include "platform/PngBytes.h"

#include <orvane/ResultCodes.h>

#include <QImage>
#include <QMetaEnum>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace orvane::CValues {

namespace {
// A key of the enumerations published in orvane::staticMetaObject.
std::optional<qint64> enumKey(const char *text)
{
    if (!text)
        return std::nullopt;
    const QMetaObject &published = orvane::staticMetaObject;
    for (int i = 0; i < published.enumeratorCount(); ++i) {
        bool ok = false;
        const int v = published.enumerator(i).keyToValue(text, &ok);
        if (ok)
            return v;
    }
    return std::nullopt;
}

std::optional<qint64> wholeNumber(const OrvaneValue &value)
{
    switch (value.type) {
    case ORVANE_TYPE_INT:
    case ORVANE_TYPE_BOOL: return value.i;
    case ORVANE_TYPE_TEXT: return enumKey(value.text);
    default: return std::nullopt;
    }
}

template <typename T>
std::optional<QVariant> inRange(std::optional<qint64> n)
{
    if (!n || *n < std::numeric_limits<T>::min() || *n > std::numeric_limits<T>::max())
        return std::nullopt;
    return QVariant::fromValue(static_cast<T>(*n));
}
} // namespace

char *newText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    auto *copy = static_cast<char *>(std::malloc(size_t(utf8.size()) + 1));
    if (copy)
        std::memcpy(copy, utf8.constData(), size_t(utf8.size()) + 1);
    return copy;
}

std::optional<QVariant> toVariant(const OrvaneValue &value, QMetaType target)
{
    switch (target.id()) {
    case QMetaType::Bool:
        if (value.type != ORVANE_TYPE_BOOL && value.type != ORVANE_TYPE_INT)
            return std::nullopt;
        return QVariant(value.i != 0);
    case QMetaType::Short: return inRange<short>(wholeNumber(value));
    case QMetaType::UShort: return inRange<ushort>(wholeNumber(value));
    case QMetaType::Int: return inRange<int>(wholeNumber(value));
    case QMetaType::Double:
        if (value.type == ORVANE_TYPE_DOUBLE)
            return QVariant(value.d);
        if (value.type == ORVANE_TYPE_INT)
            return QVariant(double(value.i));
        return std::nullopt;
    case QMetaType::QString:
        if (value.type != ORVANE_TYPE_TEXT)
            return std::nullopt;
        return QVariant(QString::fromUtf8(value.text ? value.text : ""));
    case QMetaType::QByteArray:
        if (value.type != ORVANE_TYPE_BYTES)
            return std::nullopt;
        return QVariant(
            QByteArray(reinterpret_cast<const char *>(value.bytes), qsizetype(value.bytes ? value.size : 0)));
    case QMetaType::QImage: {
        if (value.type != ORVANE_TYPE_BYTES)
            return std::nullopt;
        if (!value.bytes || value.size == 0)
            return QVariant(QImage()); // no picture
        QImage image = QImage::fromData(value.bytes, int(std::min<size_t>(value.size, INT_MAX)));
        if (image.isNull())
            return std::nullopt;
        return QVariant(image);
    }
    case QMetaType::QVariant: {
        // Whatever the value is, held in a QVariant: for a bag's Write.
        QVariant inner;
        switch (value.type) {
        case ORVANE_TYPE_INT: inner = QVariant(value.i); break;
        case ORVANE_TYPE_BOOL: inner = QVariant(value.i != 0); break;
        case ORVANE_TYPE_DOUBLE: inner = QVariant(value.d); break;
        case ORVANE_TYPE_TEXT: inner = QVariant(QString::fromUtf8(value.text ? value.text : "")); break;
        case ORVANE_TYPE_BYTES:
            inner = QVariant(
                QByteArray(reinterpret_cast<const char *>(value.bytes), qsizetype(value.bytes ? value.size : 0)));
            break;
        default: return std::nullopt;
        }
        return QVariant(QMetaType::fromType<QVariant>(), &inner);
    }
    default: break;
    }
    if (target.flags().testFlag(QMetaType::PointerToQObject)) {
        if (value.type != ORVANE_TYPE_OBJECT)
            return std::nullopt;
        QObject *object = value.object ? value.object->object.data() : nullptr;
        if (object && !object->metaObject()->inherits(target.metaObject()))
            return std::nullopt;
        return QVariant(target, &object);
    }
    return std::nullopt;
}

int fromVariant(const QVariant &variant, OrvaneValue *value)
{
    *value = OrvaneValue {};
    const QVariant v = variant.metaType().id() == QMetaType::QVariant
        ? *static_cast<const QVariant *>(variant.constData())
        : variant;
    switch (v.metaType().id()) {
    case QMetaType::UnknownType:
    case QMetaType::Void: return ORVANE_S_OK;
    case QMetaType::Bool:
        value->type = ORVANE_TYPE_BOOL;
        value->i = v.toBool() ? 1 : 0;
        return ORVANE_S_OK;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        value->type = ORVANE_TYPE_INT;
        value->i = v.toInt();
        return ORVANE_S_OK;
    case QMetaType::Double:
    case QMetaType::Float:
        value->type = ORVANE_TYPE_DOUBLE;
        value->d = v.toDouble();
        return ORVANE_S_OK;
    case QMetaType::QString:
        value->type = ORVANE_TYPE_TEXT;
        value->text = newText(v.toString());
        return ORVANE_S_OK;
    case QMetaType::QByteArray:
    case QMetaType::QImage: {
        const QByteArray bytes
            = v.metaType().id() == QMetaType::QImage ? platform::pngBytes(v.value<QImage>()) : v.toByteArray();
        value->type = ORVANE_TYPE_BYTES;
        value->size = size_t(bytes.size());
        auto *copy = static_cast<unsigned char *>(std::malloc(value->size ? value->size : 1));
        if (copy && value->size)
            std::memcpy(copy, bytes.constData(), value->size);
        value->bytes = copy;
        return ORVANE_S_OK;
    }
    default: return ORVANE_E_INVALIDARG;
    }
}

} // namespace orvane::CValues
