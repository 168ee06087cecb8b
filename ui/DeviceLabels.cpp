#include "DeviceLabels.h"

#include "KVPSelectDeviceRequest.h"

#include <QCoreApplication>
#include <QHash>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("DeviceLabels", text);
}

/// The minor byte always shows two digits, as the vendor's release notes write it.
constexpr int MinorDigits = 2;
constexpr int VersionBase = 16;
constexpr int MajorShift = 8;
constexpr uint16_t MinorMask = 0xFF;

} // namespace

QStringList deviceLabels(const korvane::KVP::KVPDiscoverRequest::DeviceList& devices)
{
    QHash<QString, int> perModel;
    for (const auto& device : devices) {
        ++perModel[device.first];
    }
    QHash<QString, int> numbered;
    QStringList labels;
    for (const auto& device : devices) {
        if (perModel.value(device.first) < 2) {
            labels << device.first;
        } else {
            labels << translate("%1 (%2)").arg(device.first).arg(++numbered[device.first]);
        }
    }
    return labels;
}

QString firmwareVersionText(uint16_t version)
{
    if (version == korvane::KVP::KVPSelectDeviceRequest::UnknownVersion) {
        return QString();
    }
    return QStringLiteral("%1.%2")
        .arg(version >> MajorShift, 0, VersionBase)
        .arg(version & MinorMask, MinorDigits, VersionBase, QLatin1Char('0'));
}

QString deviceToolTip(const QString& address, std::optional<uint16_t> firmwareVersion)
{
    QString firmware;
    if (!firmwareVersion) {
        firmware = translate("read when the device is selected");
    } else {
        firmware = firmwareVersionText(*firmwareVersion);
        if (firmware.isEmpty()) {
            firmware = translate("unknown (the device did not answer)");
        }
    }
    return translate("Address: %1\nFirmware version: %2").arg(address, firmware);
}
