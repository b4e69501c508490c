#pragma once

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class QDesignerFormEditorInterface;

namespace orvane {

class OrvaneWidget;

// Puts the control in Designer's widget box. Placed on a Designer form it is
// created at design time, and every property it reports changed marks the
// form modified; loaded by QUiLoader or QFormBuilder it runs.
class OrvaneDesignerPlugin : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetInterface")
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    explicit OrvaneDesignerPlugin(QObject *parent = nullptr);

    QString name() const override;
    QString group() const override;
    QString toolTip() const override;
    QString whatsThis() const override;
    QString includeFile() const override;
    QIcon icon() const override;
    bool isContainer() const override;
    QWidget *createWidget(QWidget *parent) override;
    bool isInitialized() const override;
    void initialize(QDesignerFormEditorInterface *core) override;
    QString domXml() const override;

    // Marks the form of the widget modified and its property changed.
    static void markModified(OrvaneWidget *widget, const QString &property);

private:
    static constexpr const char *kHelpPrefix = "help:";
    bool m_initialized = false;
    // Designer's core: null where QUiLoader or QFormBuilder load the plugin.
    QDesignerFormEditorInterface *m_core = nullptr;
};

} // namespace orvane
