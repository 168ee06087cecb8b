#pragma once

#include "KVPProgressObserverI.h"
#include "KVPWorkerRequestI.h"

#include <QByteArray>
#include <QList>

#include <atomic>

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
class KVPFixtureWriteRequest : public KVPWorkerRequestI, public KVPProgressObserverI
{
    Q_OBJECT

public:
    explicit KVPFixtureWriteRequest(QObject* parent = nullptr);

    /// Appends to the work list. The definition is not owned and must stay valid until
    /// the run has reported.
    void addDefinition(QKVFixtureDefinition* definition);

    void work(void* params) override;

    /// How many definitions the last run wrote, also when it stopped part way.
    int writtenCount() const { return m_written.load(); }

    void bytesReceived(uint32_t total) override;
    void bytesSent(uint32_t total) override;

signals:
    /// Of the record being sent.
    void progressCurrent(uint percent);
    /// Of all definitions, after each one written.
    void progressTotal(uint percent);
    /// The device only takes new definitions while its patch list is empty.
    void failedPatchNeedsToBeCleared();
    /// A definition has fewer than 1 or more than MaxChannels channels.
    void failedChannelRequirements();
    /// The device has fewer free slots than definitions to write, or did not say.
    void failedNotEnoughMemory();

private:
    bool channelCountsFit() const;

    QList<QKVFixtureDefinition*> m_toWrite;
    /// The record being sent; reused for every definition.
    QByteArray m_record;
    /// Written by the worker thread, read by the GUI after the run has reported.
    std::atomic<int> m_written {0};
};

} // namespace korvane::KVP
