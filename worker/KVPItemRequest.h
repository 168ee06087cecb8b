#pragma once

#include "KVPProgressObserverI.h"
#include "KVPWorkerRequestI.h"

#include <atomic>
#include <optional>

namespace korvane::KVP {

class KVPLink;

/// A request that works through a list of items, one transfer each: reading, writing
/// and deleting definitions. Gets a `KVPLinkParams`.
///
/// A run makes the request's own checks first, then does the items in list order and
/// reports `progressTotal` after each. It ends with `failed(FailGeneral)` at the first
/// item that fails, and with `failed(FailAborted)` when asked to abort; the flag is seen
/// only between items, as an item cut short would leave a half-written slot. While the
/// items run the request hears the link's byte counts; it is off the link again before
/// it reports, so a receiver may delete it at once.
class KVPItemRequest : public KVPWorkerRequestI, public KVPProgressObserverI
{
    Q_OBJECT

public:
    explicit KVPItemRequest(QObject* parent = nullptr);

    void work(void* params) final;

    /// Nothing by default: only a request whose items come or go in several frames
    /// shows how far the current one is.
    void bytesReceived(uint32_t total) override;
    void bytesSent(uint32_t total) override;

    /// How many items the last run did, also when it stopped part way.
    int itemsDone() const { return m_itemsDone.load(); }

Q_SIGNALS:
    /// Of all items, after each one done.
    void progressTotal(uint percent);

private:
    virtual qsizetype itemCount() const = 0;
    /// The checks before the first item; false after the request has reported why it
    /// cannot start.
    virtual bool prepare(KVPLink& link) = 0;
    /// Does the item at `index`; false when the device refused it or it came back broken.
    virtual bool runItem(KVPLink& link, qsizetype index) = 0;

    /// Runs the items; the reason the run stopped early, or nothing when all were done.
    std::optional<failReason> runItems(KVPLink& link);

    /// Written by the worker thread, read by the GUI after the run has reported.
    std::atomic<int> m_itemsDone {0};
};

} // namespace korvane::KVP
