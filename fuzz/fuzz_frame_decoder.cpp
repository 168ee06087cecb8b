// The host's receive path: device bytes, line noise included, through the frame decoder
// with receive buffers of any size, restarted after every frame as KVPLink and the
// simulated device's connection do. A frame that arrived whole must be exactly what
// encodeFrame makes of its own fields.

#include "FuzzSupport.h"

#include "KVPFrame.h"

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace korvane::KVP;

namespace {

/// Receive buffers from none at all to larger than any device frame the tests use.
constexpr size_t CapacityRange = 1024;

void checkFrame(const KVPFrameDecoder& decoder, size_t capacity)
{
    const size_t length = decoder.length();
    if (length > capacity || length > decoder.frameLength() || decoder.frameLength() < Frame::Overhead) {
        std::abort();
    }
    // Every stored byte is read, so ASan sees a store past the buffer.
    fuzz::touch(decoder.frame(), length);
    if (decoder.frameLength() != length) {
        return; // kept only in part; KVPLink takes it for no reply
    }
    const uint8_t* frame = decoder.frame();
    FrameHeader header;
    header.source = frame[1];
    header.destination = frame[2];
    header.flags = frame[Frame::FlagsOffset];
    header.type = frame[Frame::TypeOffset];
    header.command = frame[Frame::CommandOffset];
    header.parameter = readLe16(frame + Frame::ParameterOffset);
    header.sequence = frame[Frame::SequenceOffset];
    const uint16_t payloadLength = readLe16(frame + Frame::LengthOffset);
    if (length != payloadLength + Frame::Overhead) {
        std::abort();
    }
    const std::vector<uint8_t> encoded = encodeFrame(header, frame + Frame::HeaderLength, payloadLength);
    if (encoded.size() != length || std::memcmp(encoded.data(), frame, length) != 0) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const size_t capacity = (data[0] | data[1] << 8) % CapacityRange;
    // Exactly `capacity` bytes on the heap, so a write one past the end is caught.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity]);
    KVPFrameDecoder decoder(buffer.get(), capacity);
    decoder.start();
    for (size_t i = 2; i < size; ++i) {
        if (decoder.feed(data[i])) {
            checkFrame(decoder, capacity);
            decoder.start();
        }
    }
    return 0;
}
