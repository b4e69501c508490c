#include "MainWindow.h"

#include "ui_MainWindow.h"

#include <orvane/PropertyBag.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    orvane::Orvane *control = ui->orvane->control();

    // Settings saved by `orvane configure` override the form's, if there are any.
    const QString profile
        = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Orvane/host.ini");
    if (QFileInfo::exists(profile))
        control->ReadProperties(orvane::IniPropertyBag(profile));
    // The control writes only into the folders it is given: per-user ones
    // under $XDG_DATA_HOME/Orvane, as `orvane configure` sets them.
    const QString data
        = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Orvane");
    if (control->DataFolder().isEmpty())
        control->setDataFolder(data);
    if (control->ImageFolder().isEmpty())
        control->setImageFolder(data + QStringLiteral("/images"));
    QDir().mkpath(control->ImageFolder());

    connect(control, &orvane::Orvane::ProgressMessage, this,
        [this](const QString &message) { statusBar()->showMessage(message); });
    connect(control, &orvane::Orvane::TransferComplete, this, [this](bool success) {
        statusBar()->showMessage(success ? tr("Ads updated") : tr("Ads could not be updated"), 5000);
    });
    connect(ui->actionShowAds, &QAction::triggered, this, [this, control] { report(control->Show()); });
    connect(ui->actionUpdateAds, &QAction::triggered, this, [this, control] { report(control->StartTransfer()); });
    connect(ui->actionPersonalize, &QAction::triggered, this,
        [this, control] { report(control->ShowPersonalizationForm()); });
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    statusBar()->showMessage(tr("Ad server %1:%2").arg(control->RemoteHost(), control->RemotePort()));
}

MainWindow::~MainWindow() = default;

void MainWindow::report(short result)
{
    if (result != 0)
        statusBar()->showMessage(ui->orvane->control()->GetResultString(result), 5000);
}
