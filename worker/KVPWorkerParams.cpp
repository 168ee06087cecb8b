#include "KVPWorkerParams.h"

#include "KVPLink.h"
#include "KVPPhy.h"

#include <QtGlobal>

namespace korvane::KVP {

KVPLink* linkOf(void* params)
{
    const auto* block = static_cast<KVPLinkParams*>(params);
    return block && block->link ? block->link->get() : nullptr;
}

void dropConnection(std::unique_ptr<KVPLink>& link, std::unique_ptr<KVPPhy>& phy)
{
    link.reset();
    // The phy's destructor closes the USB handle.
    phy.reset();
}

void applyReplyTimeoutSetting(KVPLink& link)
{
    // Qt's reader, not getenv: tests set the variable with qputenv on another thread, and
    // only Qt's calls share its lock. Read at each connection, so a test may change it.
    bool ok = false;
    const int timeoutMs = qEnvironmentVariableIntValue(ReplyTimeoutVariable, &ok);
    if (ok && timeoutMs > 0) {
        link.setReplyTimeoutMs(static_cast<uint32_t>(timeoutMs));
    }
}

} // namespace korvane::KVP
