#pragma once

#include "KVPTypes.h"
#include "KVPWorkerRequestI.h"

namespace korvane::KVP {

/// Reads the list of fixture definitions stored on the device: a little-endian uint16
/// count followed by that many 244-byte entries. A list whose count does not match its
/// length fails with `FailGeneral`; otherwise the bytes are handed on as they came. Gets
/// a `KVPLinkParams`.
///
/// Success is reported by `receivedData` alone, without `workDone()`.
class KVPFixtureDefinitionListRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    explicit KVPFixtureDefinitionListRequest(QObject* parent = nullptr);

    void work(void* params) override;

    /// The outcome of the last run.
    const KVPReply& result() const { return m_result; }

Q_SIGNALS:
    /// `data` belongs to the request and stays valid until it is destroyed, so a
    /// receiver copies what it keeps before releasing the request.
    void receivedData(void* data, int readLength);

private:
    KVPReply m_result;
};

} // namespace korvane::KVP
