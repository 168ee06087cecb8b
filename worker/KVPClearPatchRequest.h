#pragma once

#include "KVPWorkerRequestI.h"

namespace korvane::KVP {

/// Empties the device's patch list, which the device demands before it takes new
/// definitions. The caller asks the user first: the patch is lost. Gets a
/// `KVPLinkParams`. A device that does not answer is reported as `FailNoReply`.
class KVPClearPatchRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    explicit KVPClearPatchRequest(QObject* parent = nullptr);

    void work(void* params) override;
};

} // namespace korvane::KVP
