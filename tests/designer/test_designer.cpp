#include <orvane/OrvaneWidget.h>

#include "exchange/OVContentUpdate.h"

#include "ScriptedServer.h"
#include "TestHome.h"
#include "ui_host_form.h"

#include <QBuffer>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUiLoader>
#include <QtDesigner/QDesignerComponents>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerIntegration>
#include <QtDesigner/QFormBuilder>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

using namespace orvane;
using namespace Qt::StringLiterals;

static const QByteArray kOK("HTTP/1.1 200 OK\r\n\r\n");
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
        // A new placement is what InitProperties leaves: disabled; enabled, it
        // still refuses to transfer while designed. Its face keeps its size.
        QCOMPARE(widget->control()->StartTransfer(), short(orvControlDisabled));
        widget->control()->setEnabled(true);
        QCOMPARE(widget->control()->StartTransfer(), short(orvDesignTimeTransfer));
        widget->control()->setEnabled(false);
        form->show();
        QVERIFY(widget->isVisible());
        QCOMPARE(widget->size(), QSize(75, 75));
        widget->resize(200, 30);
        QCOMPARE(widget->size(), QSize(75, 75));
        QVERIFY(m_plugin->whatsThis().contains(u"Full path name of folder for Orvane data"_s));
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
        // A form saved without "Enabled" loads enabled in Designer too, as it runs.
        QString withoutEnabled = ui;
        withoutEnabled.remove(QRegularExpression(
            u"<property name=\"Enabled\">.*?</property>"_s, QRegularExpression::DotMatchesEverythingOption));
        QDesignerFormWindowInterface *loadedForm = core->formWindowManager()->createFormWindow();
        loadedForm->setContents(withoutEnabled);
        auto *designed = loadedForm->mainContainer()->findChild<OrvaneWidget *>();
        QVERIFY(designed && !designed->userMode());
        QVERIFY(designed->Enabled());
        QCOMPARE(designed->RemotePort(), u"9000"_s);
        delete loadedForm;

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

    // Loaded at run time through the installed plugin, in a process where
    // Designer has initialized it too: a running control that transfers.
    void uiLoaderFormRuns()
    {
        ScriptedServer server({{kOK}, {ScriptedServer::contentResponse(OVContentUpdate().GetStateIntoByteArray())}});
        QFile file(qEnvironmentVariable("ORVANE_TEST_SOURCE_DIR") + u"/tests/designer/host_form.ui"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QUiLoader loader;
        loader.addPluginPath(kPluginFolder);
        std::unique_ptr<QWidget> form(loader.load(&file));
        auto *widget = form ? form->findChild<OrvaneWidget *>() : nullptr;
        QVERIFY(widget);
        form->show();
        QVERIFY(widget->userMode());
        QVERIFY(!widget->isVisible());
        Orvane *control = widget->control();
        control->setRemotePort(server.port());
        control->setProductGUID(u"{12345678-9ABC-DEF0-1234-56789ABCDEF0}"_s);
        control->setDataFolder(m_home.dataHome());
        control->setImageFolder(m_home.dataHome() + u"/images"_s);
        QSignalSpy complete(control, &Orvane::TransferComplete);
        QCOMPARE(control->StartTransfer(), short(orvSuccess));
        QTRY_COMPARE_WITH_TIMEOUT(complete.size(), 1, 30000);
        QCOMPARE(complete.first().first(), QVariant(true));
    }

private:
    TestHome m_home;
    QDesignerCustomWidgetInterface *m_plugin = nullptr;
};

QTEST_MAIN(TestDesigner)
#include "test_designer.moc"
