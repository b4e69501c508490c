#include <orvane/OrvaneWidget.h>

#include "TestHome.h"
#include "ui_host_form.h"

#include <QBuffer>
#include <QPluginLoader>
#include <QSignalSpy>
#include <QTest>
#include <QtDesigner/QDesignerComponents>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerIntegration>
#include <QtDesigner/QFormBuilder>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

using namespace orvane;

namespace {
QString pluginFolder()
{
    return qEnvironmentVariable("ORVANE_BINARY_DIR") + QStringLiteral("/lib/designer");
}
} // namespace

class TestDesigner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void pluginPlacesADesignTimeControl();
    void faceSnapsBack();
    void designerFormIsModifiedAndSavedInBagOrder();
    void savedFormKeepsTheProperties();
    void uicFormRunsTheControl();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QPluginLoader> m_loader;
    QDesignerCustomWidgetInterface *m_plugin = nullptr;
};

void TestDesigner::init()
{
    m_home = std::make_unique<TestHome>();
    m_loader = std::make_unique<QPluginLoader>(pluginFolder() + QStringLiteral("/libOrvaneDesigner.so"));
    m_plugin = qobject_cast<QDesignerCustomWidgetInterface *>(m_loader->instance());
    QVERIFY2(m_plugin, qPrintable(m_loader->errorString()));
}

void TestDesigner::cleanup()
{
    m_plugin = nullptr;
    m_home.reset();
}

void TestDesigner::pluginPlacesADesignTimeControl()
{
    QCOMPARE(m_plugin->name(), QStringLiteral("orvane::OrvaneWidget"));
    QCOMPARE(m_plugin->includeFile(), QStringLiteral("orvane/OrvaneWidget.h"));
    QVERIFY(!m_plugin->icon().isNull());
    QWidget form;
    auto *widget = qobject_cast<OrvaneWidget *>(m_plugin->createWidget(&form));
    QVERIFY(widget);
    QVERIFY(!widget->userMode());
    // A new placement ran InitProperties: disabled.
    QCOMPARE(widget->Enabled(), false);
    QCOMPARE(widget->control()->StartTransfer(), short(orvControlDisabled));
    widget->setEnabled(true);
    QCOMPARE(widget->control()->StartTransfer(), short(orvDesignTimeTransfer));
    form.show();
    QVERIFY(widget->isVisible());
}

void TestDesigner::faceSnapsBack()
{
    QWidget form;
    QWidget *widget = m_plugin->createWidget(&form);
    form.show();
    QCOMPARE(widget->size(), QSize(75, 75));
    widget->resize(200, 30);
    QCOMPARE(widget->size(), QSize(75, 75));
}

void TestDesigner::designerFormIsModifiedAndSavedInBagOrder()
{
    // Designer's own form editor, with the plugin found on the library path.
    QCoreApplication::addLibraryPath(qEnvironmentVariable("ORVANE_BINARY_DIR") + QStringLiteral("/lib"));
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
            .replace(QStringLiteral("</ui>"), QStringLiteral("</widget></ui>")));
    auto *widget = form->mainContainer()->findChild<OrvaneWidget *>();
    QVERIFY(widget);
    QVERIFY(!widget->userMode());
    form->setDirty(false);
    widget->control()->setRemoteHost(QStringLiteral("ads.example"));
    QVERIFY(form->isDirty());
    // Saved in the property bag's order, disabled as InitProperties left it.
    const QString ui = form->contents();
    qsizetype at = 0;
    for (const char *name : {"Enabled", "ProductGUID", "ImageFolder", "DataFolder", "RemoteHost", "RemotePort"}) {
        const qsizetype next = ui.indexOf(QStringLiteral("name=\"%1\"").arg(QLatin1String(name)), at);
        QVERIFY2(next > at, name);
        at = next;
    }
    QVERIFY(ui.contains(QStringLiteral("<bool>false</bool>")));
    QVERIFY(ui.contains(QStringLiteral("<string>ads.example</string>")));
    delete form;
}

void TestDesigner::savedFormKeepsTheProperties()
{
    QWidget form;
    form.setObjectName(QStringLiteral("Form"));
    QWidget *widget = m_plugin->createWidget(&form);
    widget->setObjectName(QStringLiteral("orvane"));
    const QList<std::pair<const char *, QVariant>> values = {{"Enabled", true}, {"Text", QStringLiteral("Sponsors")},
        {"ProductGUID", QStringLiteral("{0A000000-0000-4000-8000-000000000001}")},
        {"ImageFolder", QStringLiteral("/srv/img")}, {"DataFolder", QStringLiteral("/srv/data")},
        {"RemoteHost", QStringLiteral("127.0.0.1")}, {"RemotePort", QStringLiteral("9000")}};
    for (const auto &[name, value] : values)
        widget->setProperty(name, value);

    QFormBuilder builder;
    builder.setPluginPath({pluginFolder()});
    QBuffer ui;
    ui.open(QIODevice::ReadWrite);
    builder.save(&ui, &form);
    ui.seek(0);
    std::unique_ptr<QWidget> loaded(builder.load(&ui));
    QVERIFY(loaded);
    auto *reloaded = loaded->findChild<OrvaneWidget *>(QStringLiteral("orvane"));
    QVERIFY(reloaded);
    for (const auto &[name, value] : values)
        QCOMPARE(reloaded->property(name), value);
}

void TestDesigner::uicFormRunsTheControl()
{
    QWidget host;
    Ui::HostForm ui;
    ui.setupUi(&host);
    host.show();
    QVERIFY(ui.orvane->userMode());
    QVERIFY(!ui.orvane->isVisible());
    Orvane *control = ui.orvane->control();
    QCOMPARE(control->Enabled(), true);
    QCOMPARE(control->Text(), QStringLiteral("Brought to you by"));
    QCOMPARE(control->RemoteHost(), QStringLiteral("127.0.0.1"));
    QCOMPARE(control->RemotePort(), QStringLiteral("8080"));
    QCOMPARE(control->DataFolder(), QStringLiteral("/tmp/data"));
    // Past the design-time check: refused only for the missing product id.
    QCOMPARE(control->StartTransfer(), short(orvInvalidProductID));
}

QTEST_MAIN(TestDesigner)
#include "test_designer.moc"
