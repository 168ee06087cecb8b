#pragma once

#include <QString>

/// Paths of the resources compiled into the editor. The three bundles (images,
/// firmware, licences) are made by resources/make_resources.py and the firmware tools.
namespace ResourcePaths {

inline const QString DevicePicture = QStringLiteral(":/pixmaps/QRD-540B.png");
inline const QString WindowIcon = QStringLiteral(":/pixmaps/Korvane32.ico");
inline const QString NewIcon = QStringLiteral(":/pixmaps/new.ico");
inline const QString OpenIcon = QStringLiteral(":/pixmaps/open.ico");
inline const QString SaveIcon = QStringLiteral(":/pixmaps/save.ico");
inline const QString SaveAsIcon = QStringLiteral(":/pixmaps/save_as.ico");
inline const QString ImportIcon = QStringLiteral(":/pixmaps/Import.ico");
inline const QString CancelIcon = QStringLiteral(":/pixmaps/cancel.ico");
inline const QString UploadIcon = QStringLiteral(":/pixmaps/upload.ico");
inline const QString DownloadIcon = QStringLiteral(":/pixmaps/download.ico");
inline const QString FixtureNewIcon = QStringLiteral(":/pixmaps/fixture_new.ico");
inline const QString FixtureDeleteIcon = QStringLiteral(":/pixmaps/fixture_del.ico");
inline const QString CloneIcon = QStringLiteral(":/pixmaps/clone.ico");
inline const QString AllSelectedIcon = QStringLiteral(":/pixmaps/AllSelected.ico");
inline const QString NothingSelectedIcon = QStringLiteral(":/pixmaps/NothingSelected.ico");
inline const QString SearchIcon = QStringLiteral(":/pixmaps/search.ico");
inline const QString ChannelNewIcon = QStringLiteral(":/pixmaps/channel_new.ico");
inline const QString ChannelDeleteIcon = QStringLiteral(":/pixmaps/channel_del.ico");
inline const QString UpIcon = QStringLiteral(":/pixmaps/Up.ico");
inline const QString DownIcon = QStringLiteral(":/pixmaps/Down.ico");
inline const QString FixtureIcon = QStringLiteral(":/pixmaps/Fixture.ico");
inline const QString CatalogueIcon = QStringLiteral(":/pixmaps/catalogue.ico");
inline const QString FitRefusedIcon = QStringLiteral(":/pixmaps/fit_refused.ico");
inline const QString FitChangedIcon = QStringLiteral(":/pixmaps/fit_changed.ico");
inline const QString FitFineIcon = QStringLiteral(":/pixmaps/fit_fine.ico");
inline const QString OnDeviceIcon = QStringLiteral(":/pixmaps/on_device.ico");
inline const QString BusyAnimation = QStringLiteral(":/pixmaps/ajax-loader.gif");

inline const QString Qrd540bFirmware = QStringLiteral(":/firmware/QRD-540B/QRD-540B.kv2");
inline const QString Qrd780Firmware = QStringLiteral(":/firmware/QRD-780/QRD-780.kv2");

inline const QString LicenseFolder = QStringLiteral(":/licenses/LICENSES/");
/// The program's own licence (MIT).
inline const QString ProgramLicense = LicenseFolder + QStringLiteral("LICENSE.txt");
/// The notice for the USB libraries the program uses (libftdi1, libusb-1.0; LGPL 2.1).
inline const QString UsbLibrariesNotice = LicenseFolder + QStringLiteral("USB-LIBRARIES.txt");

} // namespace ResourcePaths
