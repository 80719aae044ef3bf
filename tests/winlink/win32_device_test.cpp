#include "winlink/win32_device.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "record/protocol.h"

namespace vantrel {
namespace {

constexpr IDeviceCalls::Handle kDevice = 0x44;
using OpenCall = std::tuple<std::string, uint32_t, uint32_t, uint32_t, uint32_t>;
using ControlCall = std::tuple<IDeviceCalls::Handle, uint32_t, void*, uint32_t, void*, uint32_t>;

// The system calls as the link makes them; opening answers `openResult`.
struct RecordedCalls final : IDeviceCalls {
    Handle openResult = kDevice;
    bool controlResult = true;
    std::vector<OpenCall> opens;
    std::vector<ControlCall> controls;
    std::vector<Handle> closes;

    Handle Open(const std::string& path, uint32_t access, uint32_t share, uint32_t creation,
                uint32_t flags) override {
        opens.emplace_back(path, access, share, creation, flags);
        return openResult;
    }
    bool Control(Handle device, uint32_t code, void* in, uint32_t inLength, void* out,
                 uint32_t outLength, uint32_t* returned) override {
        EXPECT_NE(returned, nullptr);
        controls.emplace_back(device, code, in, inLength, out, outLength);
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
    // GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
    // OPEN_EXISTING, no flags.
    const OpenCall expected{"\\\\.\\KLAVDRIVER", 0xC0000000u, 0x3u, 3u, 0u};
    EXPECT_EQ(calls->opens, std::vector<OpenCall>{expected});
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

TEST_F(Win32DeviceTest, EachRequestIsOneCallWithOneBufferBothWaysAtTheTableLength) {
    // The length the gateway passes for each control code, input and output.
    constexpr std::pair<uint32_t, uint32_t> kLengths[] = {
        {0x0022020C, 4},  {0x0022021C, 4},    {0x00220218, 12},  {0x00220220, 8},
        {0x00220224, 32}, {0x0022023C, 2326}, {0x00220244, 496}, {0x00220000, 4},
    };
    std::unique_ptr<IDriverDevice> device = Open();
    ASSERT_NE(device, nullptr);
    std::vector<uint8_t> buffer(protocol::kEnumSize);
    for (const auto& [code, length] : kLengths) {
        // IOCTL_SETUPFILTERS goes without a buffer.
        uint8_t* data = code == protocol::IOCTL_SETUPFILTERS ? nullptr : buffer.data();
        const uint32_t sent = protocol::IoctlBufferLength(code);
        ASSERT_TRUE(device->DeviceIoControl(code, data, sent, sent));
        EXPECT_EQ(calls->controls.back(), ControlCall(kDevice, code, data, length, data, length));
    }
    EXPECT_EQ(calls->controls.size(), std::size(kLengths));
    calls->controlResult = false;
    EXPECT_FALSE(device->DeviceIoControl(protocol::IOCTL_PROCSPEED, buffer.data(), 4, 4));
}

}  // namespace
}  // namespace vantrel
