// bench-kvp-link: sends a fixture record and a firmware-sized transfer to, and reads the
// fixture list of 100 records from, a simulated device whose wire is modelled (250000
// baud, 11 bits a byte: 44 us per byte each way, plus a USB latency per reply) and compares the time taken with the
// time the wire itself needs for the bytes exchanged. One JSON line per case on standard output, the wire's time as
// reference; bytes and exchanges on standard error.
//
// The same cases run with the reads the link was first written with (always ask the
// driver for 10 bytes and wait for them), to show what asking for the waiting bytes
// saves.

#include "Figure.h"

#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPPhyFtdi.h"
#include "KVPProgressObserverI.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace korvane::KVP;

namespace {

constexpr double WireMicrosPerByte = 44.0;
constexpr int LatencyMs = 1;
constexpr uint32_t RecordLength = 5284;
constexpr uint32_t FirmwareSectorLength = 250 * 1024;
constexpr uint32_t FirmwareHeaderLength = 256;
/// Records the simulated device holds for the list case; its list is a count and one
/// entry per record.
constexpr unsigned ListRecords = 100;
constexpr size_t ListEntriesLengthOffset = 2;
constexpr size_t ListEntryLength = 244;
/// Room for the records the write cases store.
constexpr unsigned FreeSlots = 10;

/// Reads as the link first did: always a chunk of 10 from the driver, waiting for it.
class LiteralChunkPhy : public KVPPhyFtdi
{
public:
    KVPPhyByte readByte() override
    {
        if (m_rxCount == 0) {
            m_rxPos = 0;
            DWORD got = 0;
            if (m_handle) {
                FT_Read(m_handle, m_rxBuffer, RxChunk, &got);
            }
            m_rxCount = got;
            if (got == 0) {
                return {};
            }
        }
        KVPPhyByte byte;
        byte.value = m_rxBuffer[m_rxPos++];
        byte.empty = false;
        --m_rxCount;
        return byte;
    }
};

struct Case
{
    const char* name;
    uint8_t command;
    std::vector<uint8_t> data;
    bool usePingedFrameSize;
};

struct Measurement
{
    uint64_t bytesOut = 0;
    uint64_t bytesIn = 0;
    uint32_t exchanges = 0;
    double ms = 0;
    bool ok = false;
};

Measurement run(KVPPhyFtdi& phy, const Case& c, const std::vector<uint8_t>& header)
{
    phy.open("usb:ftdi/0");
    KVPLink link(&phy, 50000);
    if (c.usePingedFrameSize) {
        link.ping();
    }
    const uint32_t chunk = link.maxFrameSize() - static_cast<uint32_t>(Frame::Overhead);
    Measurement m;
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    if (c.command == Command::FirmwareSector) {
        ok = link.sendData(header.data(), static_cast<uint32_t>(header.size()), Command::FirmwareHeader, 0).status
            == StatusOk;
        const uint32_t frames = (FirmwareHeaderLength + chunk - 1) / chunk;
        m.exchanges += frames;
        m.bytesOut += FirmwareHeaderLength + frames * Frame::Overhead;
        m.bytesIn += frames * Frame::StatusReplyLength;
    }
    const KVPSendResult result = link.sendData(c.data.data(), static_cast<uint32_t>(c.data.size()), c.command, 0);
    m.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const uint32_t frames = static_cast<uint32_t>((c.data.size() + chunk - 1) / chunk);
    m.exchanges += frames;
    m.bytesOut += c.data.size() + frames * Frame::Overhead;
    m.bytesIn += frames * Frame::StatusReplyLength;
    m.ok = ok && result.status == StatusOk && result.bytesSent == c.data.size();
    phy.close();
    return m;
}

/// Counts the data replies of a multi-frame read: one exchange each.
class ReplyCounter : public KVPProgressObserverI
{
public:
    void bytesReceived(uint32_t) override { ++replies; }
    void bytesSent(uint32_t) override { }
    uint32_t replies = 0;
};

/// Reads the device's fixture list as the worker's list request does: one request frame
/// out and one data reply back per piece.
Measurement runList(KVPPhyFtdi& phy)
{
    phy.open("usb:ftdi/0");
    KVPLink link(&phy, 50000);
    link.ping();
    ReplyCounter counter;
    link.addObserver(&counter);
    const auto start = std::chrono::steady_clock::now();
    const KVPReply reply = link.requestMulti(Command::FixtureList, 0);
    Measurement m;
    m.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    m.exchanges = counter.replies;
    m.bytesOut = uint64_t(m.exchanges) * Frame::Overhead;
    m.bytesIn = reply.data.size() + uint64_t(m.exchanges) * Frame::Overhead;
    m.ok = reply.status == StatusOk && reply.data.size() == ListEntriesLengthOffset + ListRecords * ListEntryLength;
    phy.close();
    return m;
}

/// One figure in the common format: the time taken against the time the wire needs for
/// the bytes exchanged, with the details on standard error. False when the transfer failed.
bool print(const std::string& name, uint16_t frameSize, const Measurement& m)
{
    const double boundMs = (m.bytesOut + m.bytesIn) * WireMicrosPerByte / 1000.0 + m.exchanges * LatencyMs;
    std::fprintf(stderr,
                 "%s: frame size %u, %s, %llu bytes out, %llu in, %u exchanges\n",
                 name.c_str(),
                 frameSize,
                 m.ok ? "ok" : "FAILED",
                 static_cast<unsigned long long>(m.bytesOut),
                 static_cast<unsigned long long>(m.bytesIn),
                 m.exchanges);
    Figure::print(name.c_str(), m.ms, "ms", boundMs);
    return m.ok;
}

std::vector<uint8_t> firmwareHeader(const std::vector<uint8_t>& sector)
{
    // A KVU2 head as the update file carries it: sector count at 46, sizes at 68, the
    // sum of all sector bytes at 100.
    std::vector<uint8_t> header(FirmwareHeaderLength, 0);
    const char magic[] = "KVU2";
    std::copy(magic, magic + 4, header.begin());
    const char model[] = "QRD-780";
    std::copy(model, model + sizeof model, header.begin() + 5);
    header[46] = 1;
    const uint32_t size = static_cast<uint32_t>(sector.size());
    uint32_t sum = 0;
    for (uint8_t b : sector) {
        sum += b;
    }
    for (int i = 0; i < 4; ++i) {
        header[68 + i] = static_cast<uint8_t>(size >> (8 * i));
        header[100 + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
    return header;
}

/// Reads a KVU2 file with one sector: the 256-byte header block and the sector after the
/// 1280-byte head.
bool readDefaultFirmware(const char* path, std::vector<uint8_t>& header, std::vector<uint8_t>& sector)
{
    constexpr size_t HeadLength = 1280;
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() <= HeadLength || bytes[46] != 1) {
        return false;
    }
    header.assign(bytes.begin(), bytes.begin() + FirmwareHeaderLength);
    sector.assign(bytes.begin() + HeadLength, bytes.end());
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // bench-kvp-link [--no-literal|--literal] [UPDATE-FILE]
    const bool withLiteral = !(argc > 1 && std::string(argv[1]) == "--no-literal");
    // The simulated backend unless told otherwise (a kvp-device-sim behind "socket", say).
    setenv("KVP_FTDI_BACKEND", "sim", 0);
    const std::string device = "model=QRD-780,wire=1,latency=" + std::to_string(LatencyMs)
        + ",records=" + std::to_string(ListRecords) + ",free=" + std::to_string(FreeSlots);
    setenv("KVP_SIM_DEVICES", device.c_str(), 0);

    std::vector<uint8_t> record(RecordLength);
    for (uint32_t i = 0; i < RecordLength; ++i) {
        record[i] = static_cast<uint8_t>(i * 7);
    }
    record[240] = 24;
    // The QRD-780's default update file when it is at hand (its header block, then its one
    // sector), else a generated image of the same size.
    std::vector<uint8_t> header;
    std::vector<uint8_t> sector;
    const char* firmwarePath = argc > 2 ? argv[2] : QRD_DEFAULT_FIRMWARE;
    const bool fromFile = readDefaultFirmware(firmwarePath, header, sector);
    if (!fromFile) {
        sector.resize(FirmwareSectorLength);
        for (uint32_t i = 0; i < FirmwareSectorLength; ++i) {
            sector[i] = static_cast<uint8_t>(i * 13 + 1);
        }
        header = firmwareHeader(sector);
    }
    std::fprintf(stderr, "firmware: %s\n", fromFile ? firmwarePath : "generated image");

    const Case cases[] = {
        {"record_write", Command::FixtureRecord, record, false},
        {"record_write", Command::FixtureRecord, record, true},
        {"firmware_write", Command::FirmwareSector, sector, true},
    };
    bool allOk = true;
    // First, while the device still holds just the records it started with.
    {
        KVPPhyFtdi phy;
        KVPLink probe(&phy, 50000);
        phy.open("usb:ftdi/0");
        probe.ping();
        const uint16_t frameSize = probe.maxFrameSize();
        phy.close();
        const std::string name = "kvp_list_read_" + std::to_string(ListRecords) + "_frame" + std::to_string(frameSize);
        allOk = print(name + "_vs_wire", frameSize, runList(phy));
    }
    for (const Case& c : cases) {
        KVPPhyFtdi phy;
        KVPLink probe(&phy, 50000);
        phy.open("usb:ftdi/0");
        const uint16_t frameSize = c.usePingedFrameSize ? (probe.ping(), probe.maxFrameSize()) : probe.maxFrameSize();
        phy.close();
        const std::string name = std::string("kvp_") + c.name + "_frame" + std::to_string(frameSize);
        allOk &= print(name + "_vs_wire", frameSize, run(phy, c, header));
        // The literal reads wait out 100 ms at nearly every reply: a firmware image would
        // take minutes that way, so only the record is shown for comparison.
        if (withLiteral && c.command == Command::FixtureRecord) {
            LiteralChunkPhy literal;
            allOk &= print(name + "_literal10_reads_vs_wire", frameSize, run(literal, c, header));
        }
    }
    return allOk ? 0 : 1;
}
