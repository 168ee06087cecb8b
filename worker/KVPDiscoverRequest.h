#pragma once

#include "KVPWorkerRequestI.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

namespace korvane::KVP {

/// Finds the attached devices and asks each for its identity. Drops the worker's
/// connection first: a scan reopens every device, the selected one included. Gets a
/// `KVPConnectionParams`.
///
/// Fails (`FailGeneral`) when any device did not answer the identify exchange; the list
/// still holds every device that did.
class KVPDiscoverRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    /// (model name, device address) in the order of the scan.
    using DeviceList = QList<QPair<QString, QString>>;

    /// The scan's own link takes replies up to this size; an identity is far smaller.
    static constexpr uint16_t RxCapacity = 10000;

    explicit KVPDiscoverRequest(QObject* parent = nullptr);

    void work(void* params) override;

    /// The result of the last run. Read on the worker thread only; the GUI gets its copy
    /// through `KVPWorkerThread::discoveredDevices()`.
    const DeviceList& devices() const { return m_devices; }
    /// The firmware version each listed device gave in its identity, by address.
    const QHash<QString, uint16_t>& firmwareVersions() const { return m_firmwareVersions; }

private:
    DeviceList m_devices;
    QHash<QString, uint16_t> m_firmwareVersions;
};

} // namespace korvane::KVP
