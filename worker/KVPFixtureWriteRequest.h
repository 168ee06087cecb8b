#pragma once

#include "KVPItemRequest.h"

#include <QByteArray>
#include <QList>

class QKVFixtureDefinition;

namespace korvane::KVP {

/// Writes fixture definitions into the device's memory, one record each, in the order
/// given. Gets a `KVPLinkParams`.
///
/// Before anything is written the request checks, in this order, that the device can
/// hold a library, that it has a free slot for every definition, that its patch list is
/// empty and that every definition has 1..MaxChannels channels; the first check that
/// fails ends the run with its own signal and nothing is written.
///
/// Writing applies the automatic short names of each definition and its channels to the
/// definition itself, so the definitions must not be touched elsewhere while it runs.
class KVPFixtureWriteRequest : public KVPItemRequest
{
    Q_OBJECT

public:
    explicit KVPFixtureWriteRequest(QObject* parent = nullptr);

    /// Appends to the work list. The definition is not owned and must stay valid until
    /// the run has reported.
    void addDefinition(QKVFixtureDefinition* definition);

    /// How many definitions the last run wrote, also when it stopped part way.
    int writtenCount() const { return itemsDone(); }

    void bytesSent(uint32_t total) override;

Q_SIGNALS:
    /// Of the record being sent.
    void progressCurrent(uint percent);
    /// The device only takes new definitions while its patch list is empty.
    void failedPatchNeedsToBeCleared();
    /// A definition has fewer than 1 or more than MaxChannels channels.
    void failedChannelRequirements();
    /// The device has fewer free slots than definitions to write, or did not say.
    void failedNotEnoughMemory();

private:
    qsizetype itemCount() const override { return m_toWrite.size(); }
    bool prepare(KVPLink& link) override;
    bool runItem(KVPLink& link, qsizetype index) override;
    bool channelCountsFit() const;

    QList<QKVFixtureDefinition*> m_toWrite;
    /// The record being sent; reused for every definition.
    QByteArray m_record;
};

} // namespace korvane::KVP
