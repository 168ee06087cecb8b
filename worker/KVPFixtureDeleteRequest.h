#pragma once

#include "KVPItemRequest.h"

#include <QList>

class QKVRemoteFixtureDefinition;

namespace korvane::KVP {

/// Deletes definitions stored on the device, in the order given. Gets a `KVPLinkParams`.
/// Unlike writing, deleting does not depend on the patch list.
class KVPFixtureDeleteRequest : public KVPItemRequest
{
    Q_OBJECT

public:
    explicit KVPFixtureDeleteRequest(QObject* parent = nullptr);

    /// Appends to the work list. The entry is not owned and must stay valid until the
    /// run has reported.
    void addDefinition(QKVRemoteFixtureDefinition* definition);

    /// How many definitions the last run deleted, also when it stopped part way.
    int deletedCount() const { return itemsDone(); }

private:
    qsizetype itemCount() const override { return m_toDelete.size(); }
    bool prepare(KVPLink& link) override;
    bool runItem(KVPLink& link, qsizetype index) override;

    QList<QKVRemoteFixtureDefinition*> m_toDelete;
};

} // namespace korvane::KVP
