#include "OrvaneDesignerPlugin.h"

#include <orvane/OrvaneWidget.h>

#include <QIcon>
#include <QMetaClassInfo>
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
    return QStringLiteral("Orvane ad-client control: shows sponsored ads in a pop-up window and reports their "
                          "views to an ad server. Invisible while the application runs.");
}

// The control's members with their help strings.
QString OrvaneDesignerPlugin::whatsThis() const
{
    const QMetaObject &meta = Orvane::staticMetaObject;
    QString text = toolTip().toHtmlEscaped() + QStringLiteral("<dl>");
    for (int i = meta.classInfoOffset(); i < meta.classInfoCount(); ++i) {
        const QLatin1StringView key(meta.classInfo(i).name());
        if (key.startsWith(QLatin1StringView(kHelpPrefix)))
            text += QStringLiteral("<dt><b>%1</b></dt><dd>%2</dd>")
                        .arg(QString(key.sliced(qsizetype(qstrlen(kHelpPrefix)))),
                            QString::fromUtf8(meta.classInfo(i).value()).toHtmlEscaped());
    }
    return text + QStringLiteral("</dl>");
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

// Only Designer's own form editor makes a design-time control: the plugin has
// Designer's core and the widget goes on one of its form windows (or, without
// a parent, is the widget box's drag image). Forms that QUiLoader or
// QFormBuilder load, and Designer's preview, get a running control.
QWidget *OrvaneDesignerPlugin::createWidget(QWidget *parent)
{
    const bool design = m_core && (!parent || QDesignerFormWindowInterface::findFormWindow(parent));
    auto *widget = new OrvaneWidget(design ? OrvaneWidget::DesignTime : OrvaneWidget::RunTime, parent);
    if (!design)
        return widget;
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

void OrvaneDesignerPlugin::initialize(QDesignerFormEditorInterface *core)
{
    m_initialized = true;
    m_core = core;
}

// A new placement from the widget box: what InitProperties leaves (disabled,
// the always-written texts empty), in the property bag's order. A loaded form
// reads its saved values over the property bag's defaults instead.
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
