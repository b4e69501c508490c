#include <orvane/Orvane.h>

#include "catalogue/OVCommercials.h"
#include "control/OrvanePrivate.h"
#include "exchange/OVHTTPClient.h"
#include "exchange/OVUsageReport.h"
#include "platform/PngBytes.h"
#include "platform/WidgetMessageBoxes.h"
#include "support/ErrorHandler.h"
#include "support/OVSimpleLog.h"
#include "window/frmAdDisplayer.h"
#include <orvane/OrvaneVersion.h>

namespace orvane {

namespace {
const QString kDefaultText = QStringLiteral("Thanks to our sponsors...");
} // namespace

OrvanePrivate::OrvanePrivate(Orvane *q, Container *container)
    : q(q)
    , m_container(container)
{
    if (!m_container) {
        m_ownContainer = std::make_unique<DefaultContainer>();
        m_container = m_ownContainer.get();
    }
}

void OrvanePrivate::notifyChanged(const QString &name)
{
    guarded(QStringLiteral("Orvane.PropertyChanged"), [&] { m_container->PropertyChanged(name); });
}

Orvane::Orvane(Container *container, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<OrvanePrivate>(this, container))
{
    // Initialize: the description text, then the diagnostic switches.
    platform::WidgetMessageBoxes::installAsReal();
    d->Text = kDefaultText;
    guarded(QStringLiteral("Orvane.Initialize"), [] { OVSimpleLog::LoadSwitches(); });
}

Orvane::~Orvane() = default;

void Orvane::InitProperties()
{
    // A new placement keeps Enabled false and empty server settings.
}

void Orvane::ReadProperties(const PropertyBag &bag)
{
    guarded(QStringLiteral("Orvane.ReadProperties"), [&] {
        setEnabled(bag.readBool(QStringLiteral("Enabled"), true));
        const QByteArray png = bag.readPicture(QStringLiteral("Icon"));
        setIcon(png.isEmpty() ? QImage() : QImage::fromData(png));
        setText(bag.readText(QStringLiteral("Text"), kDefaultText));
        setProductGUID(bag.readText(QStringLiteral("ProductGUID"), QString()));
        setImageFolder(bag.readText(QStringLiteral("ImageFolder"), QString()));
        setDataFolder(bag.readText(QStringLiteral("DataFolder"), QString()));
        setRemoteHost(bag.readText(QStringLiteral("RemoteHost"), QString()));
        setRemotePort(bag.readText(QStringLiteral("RemotePort"), QString()));
    });
}

void Orvane::WriteProperties(PropertyBag &bag) const
{
    guarded(QStringLiteral("Orvane.WriteProperties"), [&] {
        bag.writeBool(QStringLiteral("Enabled"), d->Enabled, true);
        bag.writePicture(QStringLiteral("Icon"), platform::pngBytes(d->Icon));
        bag.writeText(QStringLiteral("Text"), d->Text, kDefaultText);
        bag.writeText(QStringLiteral("ProductGUID"), d->ProductGUID);
        bag.writeText(QStringLiteral("ImageFolder"), d->ImageFolder);
        bag.writeText(QStringLiteral("DataFolder"), d->DataFolder);
        bag.writeText(QStringLiteral("RemoteHost"), d->RemoteHost);
        bag.writeText(QStringLiteral("RemotePort"), d->RemotePort);
    });
}

void Orvane::ReadProperties(PropertyBagObject *bag)
{
    if (bag)
        ReadProperties(static_cast<const PropertyBag &>(*bag));
}

void Orvane::WriteProperties(PropertyBagObject *bag) const
{
    if (bag)
        WriteProperties(static_cast<PropertyBag &>(*bag));
}

void Orvane::Resize(int, int)
{
    guarded(QStringLiteral("Orvane.Resize"), [&] { d->container().SetExtent(kFaceSizeTwips, kFaceSizeTwips); });
}

QString Orvane::Version() const
{
    return QStringLiteral(ORVANE_VERSION_STR);
}

short Orvane::LastError() const
{
    return static_cast<short>(d->LastError);
}

QString Orvane::ImageFolder() const
{
    return d->ImageFolder;
}
void Orvane::setImageFolder(const QString &value)
{
    d->ImageFolder = value;
    d->notifyChanged(QStringLiteral("ImageFolder"));
}

QString Orvane::DataFolder() const
{
    return d->DataFolder;
}
void Orvane::setDataFolder(const QString &value)
{
    d->DataFolder = value;
    d->notifyChanged(QStringLiteral("DataFolder"));
}

QString Orvane::RemoteHost() const
{
    return d->RemoteHost;
}
void Orvane::setRemoteHost(const QString &value)
{
    d->RemoteHost = value;
    d->notifyChanged(QStringLiteral("RemoteHost"));
}

QString Orvane::RemotePort() const
{
    return d->RemotePort;
}
void Orvane::setRemotePort(const QString &value)
{
    d->RemotePort = value;
    d->notifyChanged(QStringLiteral("RemotePort"));
}

bool Orvane::Enabled() const
{
    return d->Enabled;
}
void Orvane::setEnabled(bool value)
{
    d->Enabled = value;
    d->notifyChanged(QStringLiteral("Enabled"));
}

QString Orvane::ProductGUID() const
{
    return d->ProductGUID;
}
void Orvane::setProductGUID(const QString &value)
{
    d->ProductGUID = value;
    d->notifyChanged(QStringLiteral("ProductGUID"));
}

QImage Orvane::Icon() const
{
    return d->Icon;
}
void Orvane::setIcon(const QImage &value)
{
    d->Icon = value;
    if (frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance())
        window->setIcon(value);
    d->notifyChanged(QStringLiteral("Icon"));
}

QString Orvane::Text() const
{
    return d->Text;
}
void Orvane::setText(const QString &value)
{
    d->Text = value;
    if (frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance()) {
        window->setDescription(value);
        // The title shows the text too while the window is open.
        window->setWindowTitle(value);
    }
    d->notifyChanged(QStringLiteral("Text"));
}

bool Orvane::TransferInProgress() const
{
    return d->TransferInProgress;
}

QString Orvane::GetResultString(short errorCode) const
{
    return ResultCodeText(static_cast<int32_t>(errorCode));
}

} // namespace orvane
