#pragma once

#include <QString>

/// Names of the editor's settings store and its only two keys.
namespace AppSettings {

/// Also the window title and the title of every message box of the window.
inline const QString ApplicationName = QStringLiteral("QRD-540B / QRD-780 Fixture Library Editor");
inline const QString OrganizationName = QStringLiteral("Korvane AG");

/// Directory of the library last named in the title; start folder of the file choosers.
inline const QString WorkingDirKey = QStringLiteral("working_dir");
/// File name of the open library; reopened at start when none is given.
inline const QString LibraryKey = QStringLiteral("library");

} // namespace AppSettings
