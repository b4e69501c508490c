#pragma once

#include <orvane/Orvane.h>

#include <QPixmap>
#include <QWidget>

#include <memory>

namespace orvane {

class OrvaneWidgetPrivate;

// The control on a host's form: what Qt Designer places and what
// uic-generated code creates. It owns the control and is its container. In a
// design environment it shows the control's face (icon and name) at 1125 x 1125
// twips; at run time the face is never shown.
class OrvaneWidget : public QWidget
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
    enum Mode { RunTime, DesignTime };

    // Run time, as uic-generated code creates it: the control reads the
    // property bag's defaults, then the form's saved values are set.
    explicit OrvaneWidget(QWidget *parent = nullptr);
    // The same in either mode: a loaded form's saved values are set over the
    // defaults (a .ui without "Enabled" is enabled).
    OrvaneWidget(Mode mode, QWidget *parent);
    ~OrvaneWidget() override;

    Orvane *control() const;
    // The container's ambient user mode: false at design time.
    bool userMode() const;

    // Shadows QWidget::setEnabled on purpose: uic sets the saved "Enabled"
    // through it, and it is the control's master switch, not the face's.
    bool Enabled() const;
    void setEnabled(bool value);
    QPixmap Icon() const;
    void setIcon(const QPixmap &value);
    QString Text() const;
    void setText(const QString &value);
    QString ProductGUID() const;
    void setProductGUID(const QString &value);
    QString ImageFolder() const;
    void setImageFolder(const QString &value);
    QString DataFolder() const;
    void setDataFolder(const QString &value);
    QString RemoteHost() const;
    void setRemoteHost(const QString &value);
    QString RemotePort() const;
    void setRemotePort(const QString &value);

    QSize sizeHint() const override;
    // At run time the face stays hidden whatever the host asks.
    void setVisible(bool visible) override;

Q_SIGNALS:
    // The control told its container that a property changed (a design
    // environment marks the form modified).
    void propertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class OrvaneWidgetPrivate;
    std::unique_ptr<OrvaneWidgetPrivate> d;
};

} // namespace orvane
