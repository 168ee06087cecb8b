#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane::KVP {

/// A KVP frame on the wire: a 12-byte header, the payload, a payload checksum and an
/// end byte. Multi-byte fields are little-endian.
namespace Frame {

constexpr uint8_t StartByte = 0xAA;
constexpr uint8_t EndByte = 0xCC;
constexpr uint8_t HostAddress = 0x00;
constexpr uint8_t DeviceAddress = 0xFF;

constexpr size_t HeaderLength = 12; ///< start byte to header checksum
constexpr size_t Overhead = 14; ///< header, payload checksum and end byte

constexpr size_t FlagsOffset = 3;
constexpr size_t TypeOffset = 4;
constexpr size_t CommandOffset = 5;
constexpr size_t ParameterOffset = 6;
constexpr size_t LengthOffset = 8;
constexpr size_t SequenceOffset = 10;
constexpr size_t HeaderChecksumOffset = 11;

constexpr uint8_t FlagFirst = 0x08; ///< first frame of a transfer
constexpr uint8_t FlagLast = 0x04; ///< last frame of a transfer

enum Type : uint8_t {
    DataOut = 0, ///< host: one chunk of a transfer
    StatusReply = 1, ///< device: one payload byte, 0 accepted, else a refusal code
    Request = 2, ///< host: no payload
    DataReply = 3, ///< device: the requested data
};

/// Length of a status reply: one payload byte.
constexpr size_t StatusReplyLength = Overhead + 1;

} // namespace Frame

/// Command codes.
namespace Command {
constexpr uint8_t Identify = 0x01;
constexpr uint8_t FirmwareHeader = 0x03;
constexpr uint8_t FirmwareSector = 0x04;
constexpr uint8_t FixtureList = 0x0B;
constexpr uint8_t FixtureRecord = 0x0C;
constexpr uint8_t FixtureDelete = 0x0D;
constexpr uint8_t MemoryState = 0x0E;
constexpr uint8_t ClearPatch = 0x0F;
/// The parameter of a command that takes none: list, clear patch, the firmware header,
/// and a written record, whose slot the device picks itself.
constexpr uint16_t NoParameter = 0;
} // namespace Command

/// The fields of a frame header that a sender chooses.
struct FrameHeader
{
    uint8_t flags = 0;
    uint8_t type = Frame::Request;
    uint8_t command = 0;
    uint16_t parameter = 0;
    uint8_t sequence = 0;
    uint8_t source = Frame::HostAddress;
    uint8_t destination = Frame::DeviceAddress;
};

/// Writes a frame into `out`, which must hold payloadLength + 14 bytes; returns the
/// number of bytes written.
size_t encodeFrame(uint8_t* out, const FrameHeader& header, const uint8_t* payload, uint16_t payloadLength);
/// The same, into a new buffer.
std::vector<uint8_t> encodeFrame(const FrameHeader& header, const uint8_t* payload, uint16_t payloadLength);

/// Reads the 16-bit little-endian value at `p`.
inline uint16_t readLe16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

/// Finds frames in a byte stream, one byte at a time. Garbage between frames is
/// skipped; a checksum mismatch or a wrong end byte sends it back to hunting for the
/// start byte. A frame longer than the buffer is followed to its end but stored only
/// up to the buffer's capacity.
class KVPFrameDecoder
{
public:
    enum class State { Idle, WaitStart, Header, HeaderChecksum, Payload, PayloadChecksum, End };

    /// Decodes into `buffer` (not owned) of `capacity` bytes.
    KVPFrameDecoder(uint8_t* buffer, size_t capacity);

    /// Starts hunting for a new frame; forgets any partial one.
    void start();
    /// Stops; bytes are ignored until the next start().
    void stop() { m_state = State::Idle; }

    /// Takes one byte. Returns true when it completed a frame; the decoder then stops.
    bool feed(uint8_t byte);

    State state() const { return m_state; }
    /// Bytes of the last complete frame stored in the buffer (at most the capacity).
    size_t length() const { return m_index; }
    /// The frame's whole length, including what did not fit into the buffer.
    size_t frameLength() const { return m_frameLength; }
    const uint8_t* frame() const { return m_buffer; }

private:
    void store(uint8_t byte);
    /// Stores a byte of a checksummed run and adds it to `sum`; the run's last byte moves
    /// the decoder on to `next`.
    void storeSummed(uint8_t byte, uint8_t& sum, State next);

    uint8_t* m_buffer;
    size_t m_capacity;
    size_t m_index = 0;
    size_t m_frameLength = 0;
    size_t m_remaining = 0;
    uint8_t m_header[Frame::HeaderLength] = {};
    uint8_t m_headerSum = 0;
    uint8_t m_payloadSum = 0;
    State m_state = State::Idle;
};

} // namespace korvane::KVP
