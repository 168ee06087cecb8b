#pragma once

#include "FirmwareUpdateFile.h"
#include "KVPProgressObserverI.h"
#include "KVPWorkerRequestI.h"

#include <cstdint>

namespace korvane::KVP {

class KVPLink;

/// Writes a loaded firmware update file into the connected device: the 256-byte header
/// block, then each sector in turn. Gets a `KVPLinkParams`.
///
/// The device is asked for its model first and nothing is sent unless the file is meant
/// for it. Once started, an update runs to its end: the abort flag is not looked at, and
/// a failed block is not retried (the user starts a new update instead).
class KVPUpdateFirmwareRequest : public KVPWorkerRequestI, public KVPProgressObserverI
{
    Q_OBJECT

public:
    explicit KVPUpdateFirmwareRequest(QObject* parent = nullptr);

    /// The file to send; not owned, and must stay loaded and unchanged until the run has reported.
    void setUpdateFile(FirmwareUpdateFile* file);

    void work(void* params) override;

    void bytesReceived(uint32_t total) override;
    void bytesSent(uint32_t total) override;

Q_SIGNALS:
    /// Of the whole update, header block included: 0 to 100, never falling within a run.
    void progress(int percent);

private:
    /// Sends the header block and the sectors; false at the first that fails.
    bool sendUpdate(KVPLink& link);

    FirmwareUpdateFile* m_updateFile = nullptr;
    /// Bytes of the blocks sent completely in this run.
    int32_t m_bytesDone = 0;
    /// The block being sent, so `bytesSent` can tell when it is complete.
    FirmwareUpdateFile::Block m_currentBlock;
};

} // namespace korvane::KVP
