#include "winlink/win32_device.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "record/protocol.h"

namespace vantrel {
namespace {

constexpr IDeviceCalls::Handle kDevice = 0x44;

// The system calls as the link makes them; opening answers `openResult`.
struct RecordedCalls final : IDeviceCalls {
    struct OpenCall {
        std::string path;
        uint32_t access, share, creation, flags;
    };
    struct ControlCall {
        Handle device;
        uint32_t code;
        void* in;
        uint32_t inLength;
        void* out;
        uint32_t outLength;
        bool returnedAsked;
    };
    Handle openResult = kDevice;
    bool controlResult = true;
    std::vector<OpenCall> opens;
    std::vector<ControlCall> controls;
    std::vector<Handle> closes;

    Handle Open(const std::string& path, uint32_t access, uint32_t share, uint32_t creation,
                uint32_t flags) override {
        opens.push_back({path, access, share, creation, flags});
        return openResult;
    }
    bool Control(Handle device, uint32_t code, void* in, uint32_t inLength, void* out,
                 uint32_t outLength, uint32_t* returned) override {
        controls.push_back({device, code, in, inLength, out, outLength, returned != nullptr});
        return controlResult;
    }
    void Close(Handle device) override { closes.push_back(device); }
};

class Win32DeviceTest : public ::testing::Test {
protected:
    std::unique_ptr<IDriverDevice> Open() {
        return Win32DriverOpener(calls)(protocol::kDevicePath);
    }
    std::shared_ptr<RecordedCalls> calls = std::make_shared<RecordedCalls>();
};

TEST_F(Win32DeviceTest, OpensTheLinkForReadAndWriteSharedExistingAndClosesItOnce) {
    std::unique_ptr<IDriverDevice> device = Open();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(calls->opens.size(), 1u);
    const RecordedCalls::OpenCall& open = calls->opens[0];
    EXPECT_EQ(open.path, "\\\\.\\KLAVDRIVER");
    EXPECT_EQ(open.access, 0xC0000000u);  // GENERIC_READ | GENERIC_WRITE
    EXPECT_EQ(open.share, 0x3u);          // FILE_SHARE_READ | FILE_SHARE_WRITE
    EXPECT_EQ(open.creation, 3u);         // OPEN_EXISTING
    EXPECT_EQ(open.flags, 0u);
    EXPECT_TRUE(calls->closes.empty());
    device.reset();
    EXPECT_EQ(calls->closes, std::vector<IDeviceCalls::Handle>{kDevice});
}

TEST_F(Win32DeviceTest, InvalidHandleMeansNoDriverAndNothingToClose) {
    calls->openResult = ~uintptr_t{0};  // INVALID_HANDLE_VALUE
    EXPECT_EQ(Open(), nullptr);
    EXPECT_TRUE(calls->closes.empty());
    // The system's own calls: wherever these tests run (Wine, Linux) the
    // driver is absent, and the opener refuses just the same.
    EXPECT_EQ(Win32DriverOpener()(protocol::kDevicePath), nullptr);
}

// The length the gateway passes for each control code, input and output.
struct LengthRow {
    uint32_t code;
    uint32_t length;
};
constexpr LengthRow kLengths[] = {
    {0x0022020C, 4},  {0x0022021C, 4},    {0x00220218, 12},  {0x00220220, 8},
    {0x00220224, 32}, {0x0022023C, 2326}, {0x00220244, 496}, {0x00220000, 4},
};

TEST_F(Win32DeviceTest, EachRequestIsOneCallWithOneBufferBothWaysAtTheTableLength) {
    std::unique_ptr<IDriverDevice> device = Open();
    ASSERT_NE(device, nullptr);
    std::vector<uint8_t> buffer(protocol::kEnumSize);
    for (const LengthRow& row : kLengths) {
        SCOPED_TRACE(row.code);
        // IOCTL_SETUPFILTERS goes without a buffer.
        uint8_t* data = row.code == protocol::IOCTL_SETUPFILTERS ? nullptr : buffer.data();
        const uint32_t length = protocol::IoctlBufferLength(row.code);
        ASSERT_TRUE(device->DeviceIoControl(row.code, data, length, length));
        const RecordedCalls::ControlCall& call = calls->controls.back();
        EXPECT_EQ(call.device, kDevice);
        EXPECT_EQ(call.code, row.code);
        EXPECT_EQ(call.in, data);
        EXPECT_EQ(call.out, data);
        EXPECT_EQ(call.inLength, row.length);
        EXPECT_EQ(call.outLength, row.length);
        EXPECT_TRUE(call.returnedAsked);
    }
    EXPECT_EQ(calls->controls.size(), std::size(kLengths));
    calls->controlResult = false;
    EXPECT_FALSE(device->DeviceIoControl(protocol::IOCTL_PROCSPEED, buffer.data(), 4, 4));
}

}  // namespace
}  // namespace vantrel
