#pragma once

#include "KVPItemRequest.h"

#include <QList>

#include <cstdint>

class QKVFixtureDefinition;
class QKVRemoteFixtureDefinition;

namespace korvane::KVP {

/// Copies definitions stored on the device into new `QKVFixtureDefinition` objects, in
/// the order given. Gets a `KVPLinkParams`.
///
/// A record that arrives shorter than its channels need ends the run with
/// `failed(FailGeneral)`: its tail is missing, and guessing it would put a broken
/// definition into the library.
class KVPFixtureReadRequest : public KVPItemRequest
{
    Q_OBJECT

public:
    explicit KVPFixtureReadRequest(QObject* parent = nullptr);
    /// Deletes the results, also those of a run that failed part way.
    ~KVPFixtureReadRequest() override;

    /// Appends to the work list. The entry is not owned and must stay valid until the
    /// run has reported.
    void addDefinition(QKVRemoteFixtureDefinition* definition);

    /// The definitions read, in work list order; owned by the request. After
    /// `failed(...)` they are those read before the failure.
    const QList<QKVFixtureDefinition*>& results() const { return m_results; }

    void bytesReceived(uint32_t total) override;

Q_SIGNALS:
    /// Of the record arriving.
    void progressCurrent(uint percent);

private:
    qsizetype itemCount() const override { return m_toRead.size(); }
    /// Drops the results of an earlier run.
    bool prepare(KVPLink& link) override;
    /// Reads one record into a new result; false when the device refused or the record
    /// is shorter than it should be.
    bool runItem(KVPLink& link, qsizetype index) override;

    QList<QKVRemoteFixtureDefinition*> m_toRead;
    QList<QKVFixtureDefinition*> m_results;
    /// Size of the record being read, as its list entry announces it.
    uint32_t m_expectedBytes = 0;
};

} // namespace korvane::KVP
