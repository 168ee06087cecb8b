#include "KVPFrame.h"

#include <cstring>

namespace korvane::KVP {

size_t encodeFrame(uint8_t* out, const FrameHeader& header, const uint8_t* payload, uint16_t payloadLength)
{
    out[0] = Frame::StartByte;
    out[1] = header.source;
    out[2] = header.destination;
    out[Frame::FlagsOffset] = header.flags;
    out[Frame::TypeOffset] = header.type;
    out[Frame::CommandOffset] = header.command;
    out[Frame::ParameterOffset] = static_cast<uint8_t>(header.parameter & 0xFF);
    out[Frame::ParameterOffset + 1] = static_cast<uint8_t>(header.parameter >> 8);
    out[Frame::LengthOffset] = static_cast<uint8_t>(payloadLength & 0xFF);
    out[Frame::LengthOffset + 1] = static_cast<uint8_t>(payloadLength >> 8);
    out[Frame::SequenceOffset] = header.sequence;
    uint8_t sum = 0;
    for (size_t i = 0; i < Frame::HeaderChecksumOffset; ++i) {
        sum = static_cast<uint8_t>(sum + out[i]);
    }
    out[Frame::HeaderChecksumOffset] = sum;
    if (payloadLength > 0) {
        std::memcpy(out + Frame::HeaderLength, payload, payloadLength);
    }
    for (size_t i = 0; i < payloadLength; ++i) {
        sum = static_cast<uint8_t>(sum + payload[i]);
    }
    out[Frame::HeaderLength + payloadLength] = sum;
    out[Frame::HeaderLength + payloadLength + 1] = Frame::EndByte;
    return payloadLength + Frame::Overhead;
}

std::vector<uint8_t> encodeFrame(const FrameHeader& header, const uint8_t* payload, uint16_t payloadLength)
{
    std::vector<uint8_t> frame(payloadLength + Frame::Overhead);
    encodeFrame(frame.data(), header, payload, payloadLength);
    return frame;
}

KVPFrameDecoder::KVPFrameDecoder(uint8_t* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) { }

void KVPFrameDecoder::start()
{
    m_index = 0;
    m_frameLength = 0;
    m_state = State::WaitStart;
}

void KVPFrameDecoder::store(uint8_t byte)
{
    if (m_frameLength < Frame::HeaderLength) {
        m_header[m_frameLength] = byte;
    }
    if (m_index < m_capacity) {
        m_buffer[m_index++] = byte;
    }
    ++m_frameLength;
}

void KVPFrameDecoder::storeSummed(uint8_t byte, uint8_t& sum, State next)
{
    store(byte);
    sum = static_cast<uint8_t>(sum + byte);
    if (--m_remaining == 0) {
        m_state = next;
    }
}

bool KVPFrameDecoder::feed(uint8_t byte)
{
    switch (m_state) {
        case State::Idle:
            return false;
        case State::WaitStart:
            if (byte == Frame::StartByte) {
                m_index = 0;
                m_frameLength = 0;
                store(byte);
                m_headerSum = byte;
                m_remaining = Frame::HeaderChecksumOffset - 1;
                m_state = State::Header;
            }
            return false;
        case State::Header:
            storeSummed(byte, m_headerSum, State::HeaderChecksum);
            return false;
        case State::HeaderChecksum:
            // The byte is not looked at again as a possible start byte: the decoder
            // resynchronises only from the next 0xAA after the mismatch.
            if (byte != m_headerSum) {
                m_state = State::WaitStart;
                return false;
            }
            store(byte);
            m_payloadSum = m_headerSum;
            m_remaining = readLe16(m_header + Frame::LengthOffset);
            m_state = m_remaining == 0 ? State::PayloadChecksum : State::Payload;
            return false;
        case State::Payload:
            storeSummed(byte, m_payloadSum, State::PayloadChecksum);
            return false;
        case State::PayloadChecksum:
            store(byte);
            m_state = byte == m_payloadSum ? State::End : State::WaitStart;
            return false;
        case State::End:
            store(byte);
            if (byte != Frame::EndByte) {
                m_state = State::WaitStart;
                return false;
            }
            m_state = State::Idle;
            return true;
    }
    return false;
}

} // namespace korvane::KVP
