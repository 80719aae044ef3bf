#include "capture/enum_reply.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace vantrel {
namespace {

namespace pr = protocol;

using Reply = std::array<uint8_t, pr::kEnumSize>;

void PutText(Reply& b, size_t offset, std::string_view text) {
    std::memcpy(b.data() + offset, text.data(), text.size());
}

TEST(EnumReply, FieldsAtTheirOffsetsAndTextsCutAtTheirNul) {
    Reply b{};
    b[0] = 0x00, b[1] = 0xF0, b[2] = 0x23, b[3] = 0x81;  // 0x8123F000
    b[4] = 0xFB, b[5] = 0xFF, b[6] = 0xFF, b[7] = 0xFF;  // -5
    PutText(b, pr::kEnumDescription, std::string("Disk drive\0stale", 16));
    PutText(b, pr::kEnumSecondName, "IDE\\DiskST3200");
    PutText(b, pr::kEnumObjectName, "\\Device\\Harddisk0\\DR0");
    b[pr::kEnumFlag] = 1;
    const EnumReply r = ParseEnumReply(b);
    EXPECT_EQ(r.deviceObject, 0x8123F000u);
    EXPECT_EQ(r.state, pr::kEnumSkip);
    EXPECT_EQ(r.description, "Disk drive");
    EXPECT_EQ(r.secondName, "IDE\\DiskST3200");
    EXPECT_EQ(r.objectName, "\\Device\\Harddisk0\\DR0");
    EXPECT_EQ(r.flag, 1u);
}

// A text filling its whole field ends at the field's end, never in the next
// field or in the flag word.
TEST(EnumReply, TextsWithoutNulEndAtTheirField) {
    Reply b{};
    PutText(b, pr::kEnumDescription, std::string(pr::kEnumDescriptionSize, 'D'));
    PutText(b, pr::kEnumSecondName, std::string(pr::kEnumSecondNameSize, 'S'));
    PutText(b, pr::kEnumObjectName, std::string(pr::kEnumObjectNameSize, 'N'));
    std::memset(b.data() + pr::kEnumFlag, 'F', 4);
    const EnumReply r = ParseEnumReply(b);
    EXPECT_EQ(r.description, std::string(260, 'D'));
    EXPECT_EQ(r.secondName, std::string(780, 'S'));
    EXPECT_EQ(r.objectName, std::string(794, 'N'));
    EXPECT_EQ(r.flag, 0x46464646u);
    EXPECT_TRUE(ParseEnumReply(Reply{}).description.empty());
}

TEST(EnumReply, ProcessorSpeedIsOneLittleEndianWord) {
    const std::array<uint8_t, 4> speed = {0x60, 0x09, 0x00, 0x80};
    EXPECT_EQ(ParseProcessorSpeedReply(speed), 0x80000960u);
}

}  // namespace
}  // namespace vantrel
