#pragma once

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

/// Keeps a test's settings in `folder`, away from the user's own and from other test
/// processes: Qt's test mode alone sends every test process to one shared settings file,
/// where a window of another test may have left a library to reopen at start.
inline void isolateSettings(const QString& folder)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}
