#pragma once

#include <QString>

/// Names of the editor's settings store and its keys.
namespace AppSettings {

/// Also the window title and the title of every message box of the window.
inline const QString ApplicationName = QStringLiteral("QRD-540B / QRD-780 Fixture Library Editor");
inline const QString OrganizationName = QStringLiteral("Korvane AG");

/// Base name of the settings file, in the organisation's folder of the user's settings.
inline const QString SettingsName = QStringLiteral("QRD Fixture Library Editor");

/// Directory of the library last named in the title; start folder of the file choosers.
inline const QString WorkingDirKey = QStringLiteral("working_dir");
/// File name of the open library; reopened at start when none is given.
inline const QString LibraryKey = QStringLiteral("library");
/// The window's size and place (QWidget::saveGeometry()).
inline const QString GeometryKey = QStringLiteral("window/geometry");
/// Key prefixes for each splitter's state and each table's column widths, followed by
/// the widget's place in the window.
inline const QString SplittersGroup = QStringLiteral("splitters/");
inline const QString ColumnsGroup = QStringLiteral("columns/");
/// The libraries opened or saved last, newest first.
inline const QString RecentLibrariesKey = QStringLiteral("recent_libraries");
/// Folders of QLC+ fixture files the user added to the fixture catalogue.
inline const QString CatalogueFoldersKey = QStringLiteral("catalogue/folders");

} // namespace AppSettings
