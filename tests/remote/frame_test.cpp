// The frame codec: what each end accepts, and every rule that closes a
// connection, checked on the bytes.

#include "remote/frame.h"

#include <gtest/gtest.h>

#include "record/le.h"

namespace {

using namespace vantrel::remote;
namespace pr = vantrel::protocol;

std::vector<uint8_t> Header(uint32_t length, uint8_t version, uint8_t type, uint16_t reserved) {
    std::vector<uint8_t> h(kFrameHeaderSize, 0);
    vantrel::le::Put32(h.data(), length);
    h[4] = version;
    h[5] = type;
    vantrel::le::Put16(h.data() + 6, reserved);
    return h;
}

std::string FirstError(Reader reader, const std::vector<uint8_t>& bytes) {
    CFrameReader r(reader);
    r.Feed(bytes);
    std::string error;
    while (r.Next(error)) {
    }
    return error;
}

TEST(FrameTest, EveryFrameTypeComesBackAsSent) {
    std::vector<uint8_t> toServer, toClient;
    AppendHello(toServer, {"secret", 7, 41});
    AppendControl(toServer, 9, {pr::IOCTL_ENUMDEVICES, 2326, std::vector<uint8_t>(2326, 0xAB)});
    AppendCounter(toServer, FrameType::Ack, 41);
    AppendEmpty(toServer, FrameType::Heartbeat);
    std::vector<uint8_t> records(3 * pr::kRecordSize);
    for (size_t i = 0; i < records.size(); ++i) records[i] = static_cast<uint8_t>(i * 7);
    AppendWelcome(toClient, {7, 42});
    AppendRecords(toClient, 42, records);
    AppendRefusal(toClient, {RefusalKind::Busy, "10.0.0.2:5000"});
    AppendControlReply(toClient, 9, {true, {1, 2, 3, 4}});

    CFrameReader server(Reader::Server);
    server.Feed(toServer);
    std::string error;
    auto hello = server.Next(error);
    ASSERT_TRUE(hello);
    const auto h = DecodeHello(hello->payload, error);
    ASSERT_TRUE(h) << error;
    EXPECT_EQ(h->token, "secret");
    EXPECT_EQ(h->sessionId, 7u);
    EXPECT_EQ(h->lastHeld, 41u);
    auto control = server.Next(error);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->sequence, 9u);
    const auto c = DecodeControl(control->payload, error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->code, pr::IOCTL_ENUMDEVICES);
    EXPECT_EQ(c->data, std::vector<uint8_t>(2326, 0xAB));
    auto ack = server.Next(error);
    ASSERT_TRUE(ack);
    EXPECT_EQ(DecodeCounter(ack->payload, error), 41u);
    EXPECT_TRUE(server.Next(error));
    EXPECT_FALSE(server.Next(error));
    EXPECT_EQ(error, "");

    CFrameReader client(Reader::Client);
    // Byte by byte: a frame comes out only when it is whole.
    size_t frames = 0;
    for (uint8_t b : toClient) {
        client.Feed({&b, 1});
        while (auto f = client.Next(error)) {
            ++frames;
            if (f->type == FrameType::Records) {
                EXPECT_EQ(f->sequence, 42u);
                const auto body = DecodeRecords(f->payload, error);
                ASSERT_TRUE(body) << error;
                EXPECT_TRUE(std::equal(body->begin(), body->end(), records.begin(), records.end()));
            }
        }
        ASSERT_EQ(error, "");
    }
    EXPECT_EQ(frames, 4u);
}

TEST(FrameTest, RuleBreakingHeadersAreRefusedBeforeTheirPayload) {
    struct Case {
        Reader reader;
        std::vector<uint8_t> bytes;
        std::string error;
    };
    const uint8_t hello = static_cast<uint8_t>(FrameType::Hello);
    const uint8_t records = static_cast<uint8_t>(FrameType::Records);
    const Case cases[] = {
        {Reader::Server, Header(0x7FFFFFFF, kProtocolVersion, hello, 0),
         "frame of 2147483647 bytes exceeds the limit of 126980"},
        {Reader::Server, Header(20, 2, hello, 0),
         "protocol version 2 not supported (this is version 1)"},
        {Reader::Server, Header(0, kProtocolVersion, records, 0), "unexpected frame type 19"},
        {Reader::Client, Header(18, kProtocolVersion, hello, 0), "unexpected frame type 1"},
        {Reader::Server, Header(18, kProtocolVersion, hello, 1),
         "frame header has nonzero reserved bits"},
        {Reader::Server, Header(18 + 257, kProtocolVersion, hello, 0),
         "frame type 1 with a payload of 275 bytes"},
        {Reader::Client, Header(3, kProtocolVersion, records, 0),
         "frame type 19 with a payload of 3 bytes"},
    };
    for (const Case& c : cases) EXPECT_EQ(FirstError(c.reader, c.bytes), c.error);
}

TEST(FrameTest, PayloadsThatContradictTheirCountsAreRefused) {
    struct Case {
        std::vector<uint8_t> payload;
        std::string error;
    };
    std::vector<uint8_t> twoAnnouncedOneSent(4 + pr::kRecordSize);
    twoAnnouncedOneSent[0] = 2;
    std::vector<uint8_t> tooMany(4 + pr::kRecordSize);
    vantrel::le::Put32(tooMany.data(), 257);
    const Case cases[] = {
        {twoAnnouncedOneSent, "records frame length does not match its 2 records"},
        {tooMany, "records frame announcing 257 records"},
        {std::vector<uint8_t>(4), "records frame announcing 0 records"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(DecodeRecords(c.payload, error));
        EXPECT_EQ(error, c.error);
    }
    std::vector<uint8_t> hello(18 + 5);
    vantrel::le::Put16(hello.data() + 16, 6);  // says 6 token bytes, carries 5
    std::string error;
    EXPECT_FALSE(DecodeHello(hello, error));
    EXPECT_EQ(error, "token frame length does not match its contents");
    std::vector<uint8_t> control(12);
    vantrel::le::Put32(control.data() + 4, 100000);  // a reply larger than any buffer
    EXPECT_FALSE(DecodeControl(control, error));
    EXPECT_EQ(error, "control reply of 100000 bytes asked, the limit is 2326");
}

}  // namespace
