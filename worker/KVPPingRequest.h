#pragma once

#include "KVPWorkerRequestI.h"

namespace korvane::KVP {

/// The worker's supervision exchange: one identify request on the open link. The
/// worker treats every failure as the loss of the device. Gets a `KVPLinkParams`.
class KVPPingRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    explicit KVPPingRequest(QObject* parent = nullptr);

    /// Without a link there is nothing to watch: returns without a signal.
    void work(void* params) override;
};

} // namespace korvane::KVP
