#include <orvane/OrvaneWidget.h>

#include "support/ErrorHandler.h"
#include "ui/Twips.h"

#include <QPainter>
#include <QResizeEvent>

namespace orvane {

// The container the widget offers its control.
class OrvaneWidgetPrivate : public Container
{
public:
    OrvaneWidgetPrivate(OrvaneWidget *q, OrvaneWidget::Mode mode)
        : q(q)
        , mode(mode)
    {
    }

    bool UserMode() const override { return mode == OrvaneWidget::RunTime; }
    void PropertyChanged(const QString &name) override
    {
        if (!constructing)
            Q_EMIT q->propertyChanged(name);
        if (name == QLatin1String("Icon") || name == QLatin1String("Text") || name == QLatin1String("Enabled"))
            q->update();
    }
    void SetExtent(int widthTwips, int heightTwips) override
    {
        const QSize size(Twips::widthToPixels(widthTwips), Twips::heightToPixels(heightTwips));
        if (q->size() != size)
            q->resize(size);
    }
    QSize faceSize() const
    {
        return QSize(Twips::widthToPixels(Orvane::kFaceSizeTwips), Twips::heightToPixels(Orvane::kFaceSizeTwips));
    }

    OrvaneWidget *q;
    OrvaneWidget::Mode mode;
    bool constructing = true;
    Orvane *control = nullptr;
};

OrvaneWidget::OrvaneWidget(QWidget *parent)
    : OrvaneWidget(RunTime, parent)
{
}

OrvaneWidget::OrvaneWidget(Mode mode, QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<OrvaneWidgetPrivate>(this, mode))
{
    setObjectName(QStringLiteral("Orvane"));
    d->control = new Orvane(d.get(), this);
    // Loading a form, in Designer as in uic-generated code: the property
    // bag's defaults, then the form's saved values. A new placement gets what
    // InitProperties leaves through the values the widget box gives it.
    d->control->ReadProperties(MemoryPropertyBag());
    d->constructing = false;
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(d->faceSize());
    if (mode == RunTime)
        QWidget::setVisible(false);
}

OrvaneWidget::~OrvaneWidget()
{
    // The control goes first: it may still talk to its container while ending.
    delete d->control;
    d->control = nullptr;
}

Orvane *OrvaneWidget::control() const
{
    return d->control;
}

bool OrvaneWidget::userMode() const
{
    return d->UserMode();
}

bool OrvaneWidget::Enabled() const
{
    return d->control->Enabled();
}
void OrvaneWidget::setEnabled(bool value)
{
    d->control->setEnabled(value);
}
QPixmap OrvaneWidget::Icon() const
{
    return QPixmap::fromImage(d->control->Icon());
}
void OrvaneWidget::setIcon(const QPixmap &value)
{
    d->control->setIcon(value.toImage());
}
QString OrvaneWidget::Text() const
{
    return d->control->Text();
}
void OrvaneWidget::setText(const QString &value)
{
    d->control->setText(value);
}
QString OrvaneWidget::ProductGUID() const
{
    return d->control->ProductGUID();
}
void OrvaneWidget::setProductGUID(const QString &value)
{
    d->control->setProductGUID(value);
}
QString OrvaneWidget::ImageFolder() const
{
    return d->control->ImageFolder();
}
void OrvaneWidget::setImageFolder(const QString &value)
{
    d->control->setImageFolder(value);
}
QString OrvaneWidget::DataFolder() const
{
    return d->control->DataFolder();
}
void OrvaneWidget::setDataFolder(const QString &value)
{
    d->control->setDataFolder(value);
}
QString OrvaneWidget::RemoteHost() const
{
    return d->control->RemoteHost();
}
void OrvaneWidget::setRemoteHost(const QString &value)
{
    d->control->setRemoteHost(value);
}
QString OrvaneWidget::RemotePort() const
{
    return d->control->RemotePort();
}
void OrvaneWidget::setRemotePort(const QString &value)
{
    d->control->setRemotePort(value);
}

QSize OrvaneWidget::sizeHint() const
{
    return d->faceSize();
}

void OrvaneWidget::setVisible(bool visible)
{
    QWidget::setVisible(visible && !d->UserMode());
}

void OrvaneWidget::paintEvent(QPaintEvent *)
{
    guarded(QStringLiteral("Orvane.Paint"), [&] {
        QPainter painter(this);
        const QRect box = rect().adjusted(0, 0, -1, -1);
        painter.fillRect(box, palette().window());
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(box);
        // The icon, or a plain mark, above the name; greyed while disabled.
        const QImage icon = d->control->Icon();
        const QRect iconBox(box.center().x() - 16, 8, 32, 32);
        if (!icon.isNull())
            painter.drawImage(iconBox, icon);
        else {
            painter.setBrush(palette().color(QPalette::Highlight));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(iconBox);
            QFont mark = painter.font();
            mark.setBold(true);
            mark.setPixelSize(20);
            painter.setFont(mark);
            painter.setPen(palette().color(QPalette::HighlightedText));
            painter.drawText(iconBox, Qt::AlignCenter, QStringLiteral("O"));
            painter.setFont(font());
        }
        painter.setPen(
            palette().color(d->control->Enabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(QRect(0, iconBox.bottom() + 4, width(), height() - iconBox.bottom() - 6),
            Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Orvane"));
    });
}

void OrvaneWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (event->size() != d->faceSize())
        d->control->Resize(
            int(Twips::xFromPixels(event->size().width())), int(Twips::yFromPixels(event->size().height())));
}

} // namespace orvane
