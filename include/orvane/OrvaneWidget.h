#pragma once

#include <orvane/Orvane.h>
#include <orvane/orvane_export.h>

#include <QPixmap>
#include <QWidget>

#include <memory>

namespace orvane {

class OrvaneWidgetPrivate;

/// The control on a host's form: what Qt Designer places and what
/// uic-generated code creates. It owns the control and is its container. In a
/// design environment it shows the control's face (icon and name) at 1125 x 1125
/// twips; at run time the face is never shown.
class ORVANE_EXPORT OrvaneWidget : public QWidget
{
    Q_OBJECT
    // Declared in the property bag's order, so that Designer lists and saves
    // them in that order.
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(QPixmap Icon READ Icon WRITE setIcon)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(QString ProductGUID READ ProductGUID WRITE setProductGUID)
    Q_PROPERTY(QString ImageFolder READ ImageFolder WRITE setImageFolder)
    Q_PROPERTY(QString DataFolder READ DataFolder WRITE setDataFolder)
    Q_PROPERTY(QString RemoteHost READ RemoteHost WRITE setRemoteHost)
    Q_PROPERTY(QString RemotePort READ RemotePort WRITE setRemotePort)

public:
    /// Where the widget lives.
    enum Mode {
        RunTime, ///< In a running host: the face stays hidden.
        DesignTime ///< In a design environment: the face shows.
    };

    /// Run time, as uic-generated code creates it: the control reads the
    /// property bag's defaults, then the form's saved values are set.
    explicit OrvaneWidget(QWidget *parent = nullptr);
    /// In @p mode, the same either way: a loaded form's saved values are set
    /// over the property bag's defaults (a .ui without "Enabled" is enabled).
    OrvaneWidget(Mode mode, QWidget *parent);
    ~OrvaneWidget() override;

    /// The control the widget owns.
    Orvane *control() const;
    /// The container's ambient user mode: false at design time.
    bool userMode() const;

    /// The control's Enabled. Shadows QWidget::setEnabled on purpose: uic sets
    /// the saved "Enabled" through it, and it is the control's master switch,
    /// not the face's.
    bool Enabled() const;
    /// Sets the control's Enabled.
    void setEnabled(bool value);
    /// The control's Icon.
    QPixmap Icon() const;
    /// Sets the control's Icon.
    void setIcon(const QPixmap &value);
    /// The control's Text.
    QString Text() const;
    /// Sets the control's Text.
    void setText(const QString &value);
    /// The control's ProductGUID.
    QString ProductGUID() const;
    /// Sets the control's ProductGUID.
    void setProductGUID(const QString &value);
    /// The control's ImageFolder.
    QString ImageFolder() const;
    /// Sets the control's ImageFolder.
    void setImageFolder(const QString &value);
    /// The control's DataFolder.
    QString DataFolder() const;
    /// Sets the control's DataFolder.
    void setDataFolder(const QString &value);
    /// The control's RemoteHost.
    QString RemoteHost() const;
    /// Sets the control's RemoteHost.
    void setRemoteHost(const QString &value);
    /// The control's RemotePort.
    QString RemotePort() const;
    /// Sets the control's RemotePort.
    void setRemotePort(const QString &value);

    /// The face's size, 1125 x 1125 twips in pixels.
    QSize sizeHint() const override;
    /// At run time the face stays hidden whatever the host asks.
    void setVisible(bool visible) override;

Q_SIGNALS:
    /// The control told its container that the property @p name changed (a
    /// design environment marks the form modified).
    void propertyChanged(const QString &name);

protected:
    /// Draws the face (design time only).
    void paintEvent(QPaintEvent *event) override;
    /// Keeps the face at its fixed size.
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class OrvaneWidgetPrivate;
    std::unique_ptr<OrvaneWidgetPrivate> d;
};

} // namespace orvane
