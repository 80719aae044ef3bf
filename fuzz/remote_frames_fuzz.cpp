// libFuzzer target: the frame decoder of both ends of the remote link. The
// input is a byte stream as a peer could send it, fed in pieces whose sizes
// the first byte chooses, to the server's reader and to the client's; every
// frame that comes out is decoded by its type's payload decoder. Nothing
// may be read outside the bytes given, no frame may exceed the limits, and
// a reader that reported an error stops.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "remote/frame.h"

namespace {

using namespace vantrel::remote;

void Decode(const Frame& frame) {
    std::string error;
    if (frame.payload.size() > kMaxPayload) std::abort();
    switch (frame.type) {
        case FrameType::Hello:
            if (auto h = DecodeHello(frame.payload, error); h && h->token.size() > kMaxTokenBytes)
                std::abort();
            break;
        case FrameType::Control:
            if (auto c = DecodeControl(frame.payload, error);
                c && (c->data.size() > kMaxControlBytes || c->outLength > kMaxControlBytes))
                std::abort();
            break;
        case FrameType::Welcome:
            DecodeWelcome(frame.payload, error);
            break;
        case FrameType::Refused:
            DecodeRefusal(frame.payload, error);
            break;
        case FrameType::ControlReply:
            DecodeControlReply(frame.payload, error);
            break;
        case FrameType::Records:
            if (auto r = DecodeRecords(frame.payload, error);
                r && (r->empty() || r->size() % vantrel::protocol::kRecordSize != 0))
                std::abort();
            break;
        case FrameType::Ack:
        case FrameType::Dropped:
            DecodeCounter(frame.payload, error);
            break;
        case FrameType::Closing:
            DecodeClosing(frame.payload, error);
            break;
        default:
            break;
    }
}

void Run(Reader side, std::span<const uint8_t> bytes, size_t piece) {
    CFrameReader reader(side);
    std::string error;
    while (!bytes.empty() && error.empty()) {
        const size_t n = std::min(piece, bytes.size());
        reader.Feed(bytes.first(n));
        bytes = bytes.subspan(n);
        while (auto frame = reader.Next(error)) Decode(*frame);
        // Whatever is buffered is at most one frame still being received.
        if (error.empty() && reader.Buffered() > kFrameHeaderSize + kMaxPayload + piece)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 64;
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    Run(Reader::Server, bytes, piece);
    Run(Reader::Client, bytes, piece);
    return 0;
}
