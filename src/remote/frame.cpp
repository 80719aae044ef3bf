#include "remote/frame.h"

#include <algorithm>

#include "record/le.h"

namespace vantrel::remote {
namespace {

// What each frame type may carry and who may receive it: the bytes every
// payload of the type has, and the most it may have.
struct PayloadRule {
    FrameType type;
    Reader readBy;
    size_t fixed;        // bytes before any variable part
    uint32_t maxLength;  // largest payload of this type
};

constexpr PayloadRule kRules[] = {
    {FrameType::Hello, Reader::Server, 18, 18 + kMaxTokenBytes},
    {FrameType::Control, Reader::Server, 12, 12 + kMaxControlBytes},
    {FrameType::Ack, Reader::Server, 8, 8},
    {FrameType::Heartbeat, Reader::Server, 0, 0},
    {FrameType::Welcome, Reader::Client, 16, 16},
    {FrameType::Refused, Reader::Client, 3, 3 + kMaxTextBytes},
    {FrameType::ControlReply, Reader::Client, 5, 5 + kMaxControlBytes},
    {FrameType::Records, Reader::Client, 4, kMaxPayload},
    {FrameType::Dropped, Reader::Client, 8, 8},
    {FrameType::Closing, Reader::Client, 2, 2 + kMaxTextBytes},
    {FrameType::Pulse, Reader::Client, 0, 0},
};
static_assert(18 + kMaxTokenBytes <= kMaxPayload && 12 + kMaxControlBytes <= kMaxPayload);

const PayloadRule* RuleFor(uint8_t type) {
    for (const PayloadRule& r : kRules)
        if (static_cast<uint8_t>(r.type) == type) return &r;
    return nullptr;
}

std::vector<uint8_t>::iterator StartFrame(std::vector<uint8_t>& out, FrameType type,
                                          uint64_t sequence, size_t payload) {
    const size_t at = out.size();
    out.resize(at + kFrameHeaderSize + payload);
    uint8_t* h = out.data() + at;
    le::Put32(h, static_cast<uint32_t>(payload));
    h[4] = kProtocolVersion;
    h[5] = static_cast<uint8_t>(type);
    le::Put16(h + 6, 0);
    le::Put64(h + 8, sequence);
    return out.begin() + static_cast<std::ptrdiff_t>(at + kFrameHeaderSize);
}

std::string Clip(const std::string& text, size_t limit) {
    return text.substr(0, std::min(text.size(), limit));
}

bool Fails(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

// The payload's variable part: `width`-byte length at `at`, the bytes
// after it, which must end exactly at the payload's end.
bool Tail(std::span<const uint8_t> payload, size_t at, size_t width, size_t limit,
          std::span<const uint8_t>& tail, std::string& error, const char* what) {
    if (payload.size() < at + width) return Fails(error, std::string(what) + " frame too short");
    const size_t n = width == 2 ? le::U16(payload.data() + at) : le::U32(payload.data() + at);
    if (n > limit)
        return Fails(error, std::string(what) + " of " + std::to_string(n) +
                                " bytes exceeds the limit of " + std::to_string(limit));
    if (payload.size() != at + width + n)
        return Fails(error, std::string(what) + " frame length does not match its contents");
    tail = payload.subspan(at + width, n);
    return true;
}

}  // namespace

void AppendHello(std::vector<uint8_t>& out, const Hello& hello) {
    const std::string token = Clip(hello.token, kMaxTokenBytes);
    le::Writer w{&*StartFrame(out, FrameType::Hello, 0, 18 + token.size())};
    w.U64(hello.sessionId);
    w.U64(hello.lastHeld);
    w.U16(static_cast<uint16_t>(token.size()));
    w.Bytes(token.data(), token.size());
}

void AppendWelcome(std::vector<uint8_t>& out, const Welcome& welcome) {
    le::Writer w{&*StartFrame(out, FrameType::Welcome, 0, 16)};
    w.U64(welcome.sessionId);
    w.U64(welcome.nextSequence);
}

void AppendRefusal(std::vector<uint8_t>& out, const Refusal& refusal) {
    const std::string text = Clip(refusal.text, kMaxTextBytes);
    auto p = StartFrame(out, FrameType::Refused, 0, 3 + text.size());
    *p = static_cast<uint8_t>(refusal.kind);
    le::Writer w{&*p + 1};
    w.U16(static_cast<uint16_t>(text.size()));
    w.Bytes(text.data(), text.size());
}

void AppendControl(std::vector<uint8_t>& out, uint64_t id, const ControlRequest& request) {
    const size_t n = std::min(request.data.size(), kMaxControlBytes);
    le::Writer w{&*StartFrame(out, FrameType::Control, id, 12 + n)};
    w.U32(request.code);
    w.U32(request.outLength);
    w.U32(static_cast<uint32_t>(n));
    w.Bytes(request.data.data(), n);
}

void AppendControlReply(std::vector<uint8_t>& out, uint64_t id, const ControlReply& reply) {
    const size_t n = std::min(reply.data.size(), kMaxControlBytes);
    auto p = StartFrame(out, FrameType::ControlReply, id, 5 + n);
    *p = reply.ok ? 1 : 0;
    le::Writer w{&*p + 1};
    w.U32(static_cast<uint32_t>(n));
    w.Bytes(reply.data.data(), n);
}

void AppendRecords(std::vector<uint8_t>& out, uint64_t firstSequence,
                   std::span<const uint8_t> records) {
    const size_t count =
        std::min<size_t>(records.size() / protocol::kRecordSize, kMaxRecordsPerFrame);
    const size_t bytes = count * protocol::kRecordSize;
    le::Writer w{&*StartFrame(out, FrameType::Records, firstSequence, 4 + bytes)};
    w.U32(static_cast<uint32_t>(count));
    w.Bytes(records.data(), bytes);
}

void AppendCounter(std::vector<uint8_t>& out, FrameType type, uint64_t value) {
    le::Writer w{&*StartFrame(out, type, 0, 8)};
    w.U64(value);
}

void AppendEmpty(std::vector<uint8_t>& out, FrameType type) {
    StartFrame(out, type, 0, 0);
}

void AppendClosing(std::vector<uint8_t>& out, const std::string& text) {
    const std::string clipped = Clip(text, kMaxTextBytes);
    le::Writer w{&*StartFrame(out, FrameType::Closing, 0, 2 + clipped.size())};
    w.U16(static_cast<uint16_t>(clipped.size()));
    w.Bytes(clipped.data(), clipped.size());
}

void CFrameReader::Feed(std::span<const uint8_t> bytes) {
    if (m_start > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

std::optional<Frame> CFrameReader::Next(std::string& error) {
    const size_t have = m_buffer.size() - m_start;
    if (have < kFrameHeaderSize) return std::nullopt;
    const uint8_t* h = m_buffer.data() + m_start;
    const uint32_t length = le::U32(h);
    // The header is judged before the payload is waited for, so an
    // oversized or foreign frame is refused without buffering it.
    if (h[4] != kProtocolVersion) {
        error = "protocol version " + std::to_string(h[4]) + " not supported (this is version " +
                std::to_string(kProtocolVersion) + ")";
        return std::nullopt;
    }
    if (length > kMaxPayload) {
        error = "frame of " + std::to_string(length) + " bytes exceeds the limit of " +
                std::to_string(kMaxPayload);
        return std::nullopt;
    }
    const PayloadRule* rule = RuleFor(h[5]);
    if (!rule || rule->readBy != m_reader) {
        error = "unexpected frame type " + std::to_string(h[5]);
        return std::nullopt;
    }
    if (le::U16(h + 6) != 0) {
        error = "frame header has nonzero reserved bits";
        return std::nullopt;
    }
    if (length < rule->fixed || length > rule->maxLength) {
        error = "frame type " + std::to_string(h[5]) + " with a payload of " +
                std::to_string(length) + " bytes";
        return std::nullopt;
    }
    if (have < kFrameHeaderSize + length) return std::nullopt;
    Frame frame;
    frame.type = rule->type;
    frame.sequence = le::U64(h + 8);
    frame.payload = std::span<const uint8_t>(h + kFrameHeaderSize, length);
    m_start += kFrameHeaderSize + length;
    return frame;
}

std::optional<Hello> DecodeHello(std::span<const uint8_t> payload, std::string& error) {
    std::span<const uint8_t> token;
    if (!Tail(payload, 16, 2, kMaxTokenBytes, token, error, "token")) return std::nullopt;
    le::Reader r{payload.data()};
    Hello hello;
    hello.sessionId = r.U64();
    hello.lastHeld = r.U64();
    hello.token.assign(token.begin(), token.end());
    return hello;
}

std::optional<Welcome> DecodeWelcome(std::span<const uint8_t> payload, std::string& error) {
    if (payload.size() != 16) {
        error = "welcome frame of the wrong length";
        return std::nullopt;
    }
    le::Reader r{payload.data()};
    Welcome welcome;
    welcome.sessionId = r.U64();
    welcome.nextSequence = r.U64();
    if (welcome.nextSequence == 0) {
        error = "welcome frame names record 0";
        return std::nullopt;
    }
    return welcome;
}

std::optional<Refusal> DecodeRefusal(std::span<const uint8_t> payload, std::string& error) {
    std::span<const uint8_t> text;
    if (!Tail(payload, 1, 2, kMaxTextBytes, text, error, "refusal text")) return std::nullopt;
    const uint8_t kind = payload[0];
    if (kind < static_cast<uint8_t>(RefusalKind::Token) ||
        kind > static_cast<uint8_t>(RefusalKind::Protocol)) {
        error = "unknown refusal kind " + std::to_string(kind);
        return std::nullopt;
    }
    return Refusal{static_cast<RefusalKind>(kind), std::string(text.begin(), text.end())};
}

std::optional<ControlRequest> DecodeControl(std::span<const uint8_t> payload, std::string& error) {
    std::span<const uint8_t> data;
    if (!Tail(payload, 8, 4, kMaxControlBytes, data, error, "control request")) return std::nullopt;
    ControlRequest request;
    request.code = le::U32(payload.data());
    request.outLength = le::U32(payload.data() + 4);
    if (request.outLength > kMaxControlBytes) {
        error = "control reply of " + std::to_string(request.outLength) +
                " bytes asked, the limit is " + std::to_string(kMaxControlBytes);
        return std::nullopt;
    }
    request.data.assign(data.begin(), data.end());
    return request;
}

std::optional<ControlReply> DecodeControlReply(std::span<const uint8_t> payload,
                                               std::string& error) {
    std::span<const uint8_t> data;
    if (!Tail(payload, 1, 4, kMaxControlBytes, data, error, "control reply")) return std::nullopt;
    if (payload[0] > 1) {
        error = "control reply with outcome " + std::to_string(payload[0]);
        return std::nullopt;
    }
    return ControlReply{payload[0] == 1, std::vector<uint8_t>(data.begin(), data.end())};
}

std::optional<std::span<const uint8_t>> DecodeRecords(std::span<const uint8_t> payload,
                                                      std::string& error) {
    const uint32_t count = le::U32(payload.data());
    if (count == 0 || count > kMaxRecordsPerFrame) {
        error = "records frame announcing " + std::to_string(count) + " records";
        return std::nullopt;
    }
    if (payload.size() != 4 + size_t{count} * protocol::kRecordSize) {
        error = "records frame length does not match its " + std::to_string(count) + " records";
        return std::nullopt;
    }
    return payload.subspan(4);
}

std::optional<uint64_t> DecodeCounter(std::span<const uint8_t> payload, std::string& error) {
    if (payload.size() != 8) {
        error = "counter frame of the wrong length";
        return std::nullopt;
    }
    return le::U64(payload.data());
}

std::optional<std::string> DecodeClosing(std::span<const uint8_t> payload, std::string& error) {
    std::span<const uint8_t> text;
    if (!Tail(payload, 0, 2, kMaxTextBytes, text, error, "closing text")) return std::nullopt;
    return std::string(text.begin(), text.end());
}

}  // namespace vantrel::remote
