#include <orvane/OrvaneWidget.h>

#include "TestHome.h"
#include "ui_host_form.h"

#include <QBuffer>
#include <QPluginLoader>
#include <QTest>
#include <QtDesigner/QDesignerComponents>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerIntegration>
#include <QtDesigner/QFormBuilder>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

using namespace orvane;
using namespace Qt::StringLiterals;

static const QString kPluginFolder = qEnvironmentVariable("ORVANE_BINARY_DIR") + u"/lib/designer"_s;

class TestDesigner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QPluginLoader loader(kPluginFolder + u"/libOrvaneDesigner.so"_s);
        m_plugin = qobject_cast<QDesignerCustomWidgetInterface *>(loader.instance());
        QVERIFY2(m_plugin, qPrintable(loader.errorString()));
    }

    void pluginPlacesADesignTimeControlOfFixedSize()
    {
        QCOMPARE(m_plugin->includeFile(), u"orvane/OrvaneWidget.h"_s);
        QWidget form;
        auto *widget = qobject_cast<OrvaneWidget *>(m_plugin->createWidget(&form));
        QVERIFY(widget && !widget->userMode());
        // A new placement ran InitProperties: disabled.
        QCOMPARE(widget->control()->StartTransfer(), short(orvControlDisabled));
        widget->setEnabled(true);
        QCOMPARE(widget->control()->StartTransfer(), short(orvDesignTimeTransfer));
        form.show();
        QVERIFY(widget->isVisible());
        QCOMPARE(widget->size(), QSize(75, 75));
        widget->resize(200, 30);
        QCOMPARE(widget->size(), QSize(75, 75));
    }

    void designerFormIsModifiedSavedAndReloaded()
    {
        // Designer's own form editor, with the plugin found on the library path.
        QCoreApplication::addLibraryPath(qEnvironmentVariable("ORVANE_BINARY_DIR") + u"/lib"_s);
        QDesignerFormEditorInterface *core = QDesignerComponents::createFormEditor(this);
        QDesignerComponents::initializeResources();
        core->setWidgetBox(QDesignerComponents::createWidgetBox(core, nullptr));
        core->setPropertyEditor(QDesignerComponents::createPropertyEditor(core, nullptr));
        QDesignerComponents::initializePlugins(core);
        core->setIntegration(new QDesignerIntegration(core, core));
        QDesignerFormWindowInterface *form = core->formWindowManager()->createFormWindow();
        // A new placement, as the widget box drops it.
        form->setContents(
            m_plugin->domXml()
                .replace(QStringLiteral(R"(<ui language="c++">)"),
                    QStringLiteral(R"(<ui version="4.0"><class>Form</class><widget class="QWidget" name="Form">)"))
                .replace(u"</ui>"_s, u"</widget></ui>"_s));
        auto *widget = form->mainContainer()->findChild<OrvaneWidget *>();
        QVERIFY(widget && !widget->userMode());
        form->setDirty(false);
        widget->control()->setRemoteHost(u"ads.example"_s);
        QVERIFY(form->isDirty());
        const QList<std::pair<const char *, QVariant>> values = {{"Enabled", false}, {"Text", u"Sponsors"_s},
            {"ProductGUID", u"{0A000000-0000-4000-8000-000000000001}"_s}, {"ImageFolder", u"/srv/img"_s},
            {"DataFolder", u"/srv/data"_s}, {"RemoteHost", u"ads.example"_s}, {"RemotePort", u"9000"_s}};
        for (const auto &[name, value] : values)
            widget->setProperty(name, value);
        // Saved in the property bag's order, and loaded back as a host's form loader reads it.
        const QString ui = form->contents();
        delete form;
        qsizetype at = 0;
        for (const char *name : {"Enabled", "ProductGUID", "ImageFolder", "DataFolder", "RemoteHost", "RemotePort"}) {
            const qsizetype next = ui.indexOf(u"name=\"%1\""_s.arg(QLatin1String(name)), at);
            QVERIFY2(next > at, name);
            at = next;
        }
        QFormBuilder builder;
        builder.setPluginPath({kPluginFolder});
        QBuffer buffer;
        buffer.setData(ui.toUtf8());
        buffer.open(QIODevice::ReadOnly);
        std::unique_ptr<QWidget> loaded(builder.load(&buffer));
        auto *reloaded = loaded ? loaded->findChild<OrvaneWidget *>() : nullptr;
        QVERIFY(reloaded);
        for (const auto &[name, value] : values)
            QCOMPARE(reloaded->property(name), value);
    }

    void uicFormRunsTheControl()
    {
        QWidget host;
        Ui::HostForm ui;
        ui.setupUi(&host);
        host.show();
        QVERIFY(ui.orvane->userMode());
        QVERIFY(!ui.orvane->isVisible());
        Orvane *control = ui.orvane->control();
        QCOMPARE(control->Text(), u"Brought to you by"_s);
        // Enabled and past the design-time check: refused only for the missing product id.
        QCOMPARE(control->StartTransfer(), short(orvInvalidProductID));
    }

private:
    TestHome m_home;
    QDesignerCustomWidgetInterface *m_plugin = nullptr;
};

QTEST_MAIN(TestDesigner)
#include "test_designer.moc"
