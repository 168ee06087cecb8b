#pragma once

#include "KVPWorkerRequestI.h"

#include <QList>

#include <atomic>

class QKVRemoteFixtureDefinition;

namespace korvane::KVP {

/// Deletes definitions stored on the device, in the order given. Gets a `KVPLinkParams`.
/// Unlike writing, deleting does not depend on the patch list.
class KVPFixtureDeleteRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    explicit KVPFixtureDeleteRequest(QObject* parent = nullptr);

    /// Appends to the work list. The entry is not owned and must stay valid until the
    /// run has reported.
    void addDefinition(QKVRemoteFixtureDefinition* definition);

    void work(void* params) override;

    /// How many definitions the last run deleted, also when it stopped part way.
    int deletedCount() const { return m_deleted.load(); }

signals:
    /// Of all definitions, after each one deleted.
    void progressTotal(uint percent);

private:
    QList<QKVRemoteFixtureDefinition*> m_toDelete;
    /// Written by the worker thread, read by the GUI after the run has reported.
    std::atomic<int> m_deleted {0};
};

} // namespace korvane::KVP
