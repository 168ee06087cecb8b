#pragma once

#include "KVPLink.h"

namespace korvane::KVP {

class KVPProgressObserverI;

/// Keeps an observer registered with a link for as long as the guard lives, on every
/// path out of a transfer. A request reports its outcome only after its guard is gone,
/// so a receiver may delete the request at once without the link still pointing at it.
class KVPObserverGuard
{
public:
    KVPObserverGuard(KVPLink& link, KVPProgressObserverI& observer) : m_link(link), m_observer(observer)
    {
        m_link.addObserver(&m_observer);
    }
    KVPObserverGuard(const KVPObserverGuard&) = delete;
    KVPObserverGuard& operator=(const KVPObserverGuard&) = delete;
    ~KVPObserverGuard() { m_link.removeObserver(&m_observer); }

private:
    KVPLink& m_link;
    KVPProgressObserverI& m_observer;
};

} // namespace korvane::KVP
