// examples/readme-host/main.cpp: the embedding example of README.md, as it stands there.
#include <orvane/Orvane.h>

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Per-user folders: the data file in $XDG_DATA_HOME/Orvane, the ad images below it.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Orvane";
    QDir().mkpath(data + "/images");

    orvane::Orvane control; // run time, in a plain Qt host
    control.setEnabled(true);
    control.setDataFolder(data);
    control.setImageFolder(data + "/images");
    control.setRemoteHost("ads.example.org");
    control.setRemotePort("8080");
    control.setProductGUID("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
    QObject::connect(&control, &orvane::Orvane::ProgressMessage, [](const QString &m) { qInfo("%s", qPrintable(m)); });
    QObject::connect(&control, &orvane::Orvane::TransferComplete, [&](bool ok) {
        if (ok)
            control.Show(); // the ad window, until the user closes it
        app.quit();
    });
    if (control.StartTransfer() != 0) // returns at once; 0 when started
        return 1;
    return app.exec();
}
