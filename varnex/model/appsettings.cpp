#include "varnex/model/appsettings.h"
#include "varnex/model/filenbc.h"
#include "qtnb/SaveFile.h"

#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

QString settingsPath()
{
    return FileNbc::defaultDir() + QLatin1String("settings.ini");
}

bool saveSettings(const AppSettings& settings)
{
    QSaveFile file(settingsPath());
    if (!Nb::openOwnerOnly(file)) {
        qDebug() << "saveSettings: cannot open" << file.fileName();
        return false;
    }
    QDataStream out(&file);
    out << settings.lockInterval << settings.nbcFile << settings.categoryRow;
    return Nb::commitWhole(file, out);
}

bool saveDefaultSettings()
{
    return saveSettings(AppSettings());
}

bool loadSettings(AppSettings& settings)
{
    settings = AppSettings();
    QFile file(settingsPath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    return loadSettings(file, settings);
}

bool loadSettings(QIODevice& file, AppSettings& settings)
{
    settings = AppSettings();
    QDataStream in(&file);
    in >> settings.lockInterval;
    // A name that claims more bytes than the file holds reads as empty, and
    // nothing follows it; Qt's stream would first reserve up to 2 MB for it.
    uchar head[4];
    if (file.peek(reinterpret_cast<char*>(head), 4) == 4) {
        const quint32 bytes = qFromBigEndian<quint32>(head);
        if (bytes != 0xFFFFFFFFu && bytes % 2 == 0 && qint64(bytes) > file.bytesAvailable() - 4)
            return true;
    }
    in >> settings.nbcFile >> settings.categoryRow;
    return true;
}
