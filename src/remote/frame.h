#pragma once
// The wire protocol between `vantrel-cli serve` and a remote source, without
// sockets: frames are encoded into bytes and decoded from bytes here, and
// nothing else reads a peer's bytes.
//
// A frame is a 16-byte header and a payload, all little-endian:
//   0  u32  payload length (at most kMaxPayload)
//   4  u8   protocol version (kProtocolVersion)
//   5  u8   frame type
//   6  u16  zero
//   8  u64  sequence number: the first record's for a records frame, the
//           request's for a control request and its reply, 0 otherwise
// Every length and count is checked against the limits below before
// anything is allocated; a frame that breaks a rule yields an error text,
// and the connection that carried it is closed with that text logged.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/protocol.h"

namespace vantrel::remote {

inline constexpr uint8_t kProtocolVersion = 1;
inline constexpr size_t kFrameHeaderSize = 16;
inline constexpr uint32_t kMaxRecordsPerFrame = 256;
inline constexpr uint32_t kMaxPayload = 4 + kMaxRecordsPerFrame * protocol::kRecordSize;
inline constexpr size_t kMaxTokenBytes = 256;
inline constexpr size_t kMaxTextBytes = 512;
inline constexpr size_t kMaxControlBytes = protocol::kEnumSize;

enum class FrameType : uint8_t {
    // client to server
    Hello = 1,    // token, session id to resume (0: new), last record held
    Control = 2,  // one control request for the hosted source
    Ack = 3,      // last record held
    Heartbeat = 4,
    // server to client
    Welcome = 16,  // session id, sequence number of the next record
    Refused = 17,  // why the connection is closed
    ControlReply = 18,
    Records = 19,
    Dropped = 20,  // records lost on the server so far
    Closing = 21,  // the server stops
    Pulse = 22,    // the server's heartbeat
};

enum class RefusalKind : uint8_t { Token = 1, Busy = 2, Protocol = 3 };

struct Hello {
    std::string token;
    uint64_t sessionId = 0;
    uint64_t lastHeld = 0;
};
struct Welcome {
    uint64_t sessionId = 0;
    uint64_t nextSequence = 1;
};
struct Refusal {
    RefusalKind kind = RefusalKind::Protocol;
    std::string text;
};
struct ControlRequest {
    uint32_t code = 0;
    uint32_t outLength = 0;
    std::vector<uint8_t> data;  // the request's input bytes (at most kMaxControlBytes)
};
struct ControlReply {
    bool ok = false;
    std::vector<uint8_t> data;  // the buffer as the source left it
};

// A decoded frame: the header's fields and the payload as it came. `payload`
// is valid only until the reader is fed again.
struct Frame {
    FrameType type = FrameType::Heartbeat;
    uint64_t sequence = 0;
    std::span<const uint8_t> payload;
};

// Encoders append one whole frame to `out`.
void AppendHello(std::vector<uint8_t>& out, const Hello& hello);
void AppendWelcome(std::vector<uint8_t>& out, const Welcome& welcome);
void AppendRefusal(std::vector<uint8_t>& out, const Refusal& refusal);
void AppendControl(std::vector<uint8_t>& out, uint64_t id, const ControlRequest& request);
void AppendControlReply(std::vector<uint8_t>& out, uint64_t id, const ControlReply& reply);
// `records` holds whole 496-byte records, at most kMaxRecordsPerFrame.
void AppendRecords(std::vector<uint8_t>& out, uint64_t firstSequence,
                   std::span<const uint8_t> records);
void AppendCounter(std::vector<uint8_t>& out, FrameType type, uint64_t value);  // Ack, Dropped
void AppendEmpty(std::vector<uint8_t>& out, FrameType type);                    // Heartbeat, Pulse
void AppendClosing(std::vector<uint8_t>& out, const std::string& text);

// Which end reads: a server accepts only client frames and the other way
// round.
enum class Reader : uint8_t { Server, Client };

// Cuts a byte stream into frames. Feed appends what the socket delivered;
// Next gives the next whole frame, nullopt when more bytes are needed, or
// sets `error` (and gives nullopt) on the first rule broken, after which the
// stream is useless. The buffer never holds more than one frame and what
// arrived with it.
class CFrameReader {
public:
    explicit CFrameReader(Reader reader) : m_reader(reader) {}
    void Feed(std::span<const uint8_t> bytes);
    std::optional<Frame> Next(std::string& error);
    size_t Buffered() const { return m_buffer.size() - m_start; }

private:
    Reader m_reader;
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
};

// Payload decoders: nullopt and `error` set when the payload breaks its
// type's layout or limits.
std::optional<Hello> DecodeHello(std::span<const uint8_t> payload, std::string& error);
std::optional<Welcome> DecodeWelcome(std::span<const uint8_t> payload, std::string& error);
std::optional<Refusal> DecodeRefusal(std::span<const uint8_t> payload, std::string& error);
std::optional<ControlRequest> DecodeControl(std::span<const uint8_t> payload, std::string& error);
std::optional<ControlReply> DecodeControlReply(std::span<const uint8_t> payload,
                                               std::string& error);
// The records of a records frame: whole records, their count as announced.
std::optional<std::span<const uint8_t>> DecodeRecords(std::span<const uint8_t> payload,
                                                      std::string& error);
std::optional<uint64_t> DecodeCounter(std::span<const uint8_t> payload, std::string& error);
std::optional<std::string> DecodeClosing(std::span<const uint8_t> payload, std::string& error);

}  // namespace vantrel::remote
