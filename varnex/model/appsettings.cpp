#include "varnex/model/appsettings.h"
#include "varnex/model/filenbc.h"
#include "varnex/model/savefile.h"

#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QSaveFile>

QString settingsPath()
{
    return FileNbc::defaultDir() + QLatin1String("settings.ini");
}

bool saveSettings(const AppSettings& settings)
{
    QSaveFile file(settingsPath());
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug() << "saveSettings: cannot open" << file.fileName();
        return false;
    }
    QDataStream out(&file);
    out << settings.lockInterval << settings.nbcFile << settings.categoryRow;
    return commitWhole(file, out);
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
    in >> settings.lockInterval >> settings.nbcFile >> settings.categoryRow;
    return true;
}
