#include "KVPWorkerParams.h"

#include "KVPLink.h"
#include "KVPPhy.h"

namespace korvane::KVP {

void dropConnection(std::unique_ptr<KVPLink>& link, std::unique_ptr<KVPPhy>& phy)
{
    link.reset();
    // The phy's destructor closes the USB handle.
    phy.reset();
}

} // namespace korvane::KVP
