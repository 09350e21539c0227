#pragma once
// The settings record and its file "settings.ini" in "data" (streamed
// fields, not text): lock interval, preferred container, category row.

#include <QIODevice>
#include <QString>
#include <QtGlobal>

struct AppSettings {
    qint32 lockInterval = 0; // ms of idleness before locking; 0 = never
    QString nbcFile;         // preferred container's file name; null = password
    qint32 categoryRow = 0;  // last current row of the category list
};

QString settingsPath();
bool saveSettings(const AppSettings& settings);
bool saveDefaultSettings();
bool loadSettings(AppSettings& settings);
// The file's reading over an open device that holds its bytes: the record
// is set to the defaults, then takes what the device holds; true.
bool loadSettings(QIODevice& file, AppSettings& settings);
