#include "OrvaneDesignerPlugin.h"

#include <orvane/OrvaneWidget.h>

#include <QIcon>
#include <QPixmap>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerPropertyEditorInterface>
#include <QtDesigner/QDesignerPropertySheetExtension>
#include <QtDesigner/QExtensionManager>

namespace orvane {

OrvaneDesignerPlugin::OrvaneDesignerPlugin(QObject *parent)
    : QObject(parent)
{
}

QString OrvaneDesignerPlugin::name() const
{
    return QStringLiteral("orvane::OrvaneWidget");
}

QString OrvaneDesignerPlugin::group() const
{
    return QStringLiteral("Orvane");
}

QString OrvaneDesignerPlugin::toolTip() const
{
    return QStringLiteral("Orvane ad-client control");
}

QString OrvaneDesignerPlugin::whatsThis() const
{
    return QStringLiteral("Shows sponsored ads in a pop-up window and reports their views to an ad server. "
                          "Invisible while the application runs.");
}

QString OrvaneDesignerPlugin::includeFile() const
{
    return QStringLiteral("orvane/OrvaneWidget.h");
}

QIcon OrvaneDesignerPlugin::icon() const
{
    OrvaneWidget face(OrvaneWidget::DesignTime, nullptr);
    return QIcon(face.grab());
}

bool OrvaneDesignerPlugin::isContainer() const
{
    return false;
}

QWidget *OrvaneDesignerPlugin::createWidget(QWidget *parent)
{
    auto *widget = new OrvaneWidget(OrvaneWidget::DesignTime, parent);
    connect(widget, &OrvaneWidget::propertyChanged, widget,
        [widget](const QString &property) { markModified(widget, property); });
    return widget;
}

void OrvaneDesignerPlugin::markModified(OrvaneWidget *widget, const QString &property)
{
    QDesignerFormWindowInterface *form = QDesignerFormWindowInterface::findFormWindow(widget);
    if (!form)
        return;
    QDesignerFormEditorInterface *core = form->core();
    if (auto *sheet = qt_extension<QDesignerPropertySheetExtension *>(core->extensionManager(), widget)) {
        const int index = sheet->indexOf(property);
        if (index >= 0)
            sheet->setChanged(index, true);
    }
    if (QDesignerPropertyEditorInterface *editor = core->propertyEditor(); editor && editor->object() == widget)
        editor->setPropertyValue(property, widget->property(property.toLatin1().constData()), true);
    form->setDirty(true);
}

bool OrvaneDesignerPlugin::isInitialized() const
{
    return m_initialized;
}

void OrvaneDesignerPlugin::initialize(QDesignerFormEditorInterface *)
{
    m_initialized = true;
}

// A new placement is saved as InitProperties left it: disabled, with the
// always-written texts empty, in the property bag's order.
QString OrvaneDesignerPlugin::domXml() const
{
    return QStringLiteral(R"(<ui language="c++">
 <widget class="orvane::OrvaneWidget" name="orvane">
  <property name="Enabled"><bool>false</bool></property>
  <property name="ProductGUID"><string/></property>
  <property name="ImageFolder"><string/></property>
  <property name="DataFolder"><string/></property>
  <property name="RemoteHost"><string/></property>
  <property name="RemotePort"><string/></property>
 </widget>
</ui>
)");
}

} // namespace orvane
