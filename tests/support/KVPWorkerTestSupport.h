#pragma once

#include "D2xxBackend.h"
#include "backends/SimBackend.h"

#include <QByteArray>
#include <QtGlobal>

namespace korvane::KVP::test {

/// Serves the D2XX calls from simulated devices listed as KVP_SIM_DEVICES spells them.
/// qputenv, not setenv: the test library's watchdog thread reads the environment, and
/// only Qt's calls share its lock.
inline void useSimDevices(const char* devices)
{
    qputenv(BackendVariable, "sim");
    qputenv(SimDevicesVariable, devices);
    setD2xxBackend(makeSimBackend());
}

/// The simulated backend installed by `useSimDevices`.
inline SimBackend& simBackend()
{
    return static_cast<SimBackend&>(*d2xxBackend());
}

/// Back to the choice by environment; every test ends with this.
inline void dropSimDevices()
{
    setD2xxBackend(nullptr);
    qunsetenv(SimDevicesVariable);
    qunsetenv(BackendVariable);
}

} // namespace korvane::KVP::test
