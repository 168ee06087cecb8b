#pragma once

#include "KVPWorkerRequestI.h"

namespace korvane::KVP {

/// Asks the device how many definition slots it has free (the memory-state command).
/// Gets a `KVPLinkParams`. Fails with `FailGeneral` when the device cannot hold a library
/// or gives no usable answer.
class KVPMemoryStateRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    explicit KVPMemoryStateRequest(QObject* parent = nullptr);

    void work(void* params) override;

    /// The free slots of the last successful run; read after `workDone()`.
    int freeSlots() const { return m_freeSlots; }

private:
    int m_freeSlots = 0;
};

} // namespace korvane::KVP
