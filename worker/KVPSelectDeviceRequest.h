#pragma once

#include "KVPWorkerRequestI.h"

#include <cstdint>

namespace korvane::KVP {

/// Opens one device and leaves the connection with the worker, working or not: a
/// device that did not answer is found out by the next supervision ping. Gets a
/// `KVPSelectParams`.
///
/// Never fails; a failed selection shows as versions of 0xFFFF.
class KVPSelectDeviceRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    /// The versions reported when the device gave no identity.
    static constexpr uint16_t UnknownVersion = 0xFFFF;
    /// Room for the longest multi-frame reply of a transfer.
    static constexpr uint16_t RxCapacity = 50000;

    explicit KVPSelectDeviceRequest(QObject* parent = nullptr);

    void work(void* params) override;

    /// The selected device's versions; read on the worker thread after `work`.
    uint16_t firmwareVersion() const { return m_fwVersion; }
    uint16_t hardwareVersion() const { return m_hwVersion; }

private:
    uint16_t m_fwVersion = UnknownVersion;
    uint16_t m_hwVersion = UnknownVersion;
};

} // namespace korvane::KVP
