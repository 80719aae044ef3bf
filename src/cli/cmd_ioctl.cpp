// vantrel-cli ioctl CODE: the four parts of a device I/O control code.
#include <cstdio>

#include "catalogue/ioctl_code.h"
#include "cli/cli.h"

namespace vantrel::cli {

int CmdIoctl(const Args& args) {
    if (args.size() != 1) return Fail(kExitUsage, "usage: vantrel-cli ioctl CODE");
    const auto code = ParseU32(args[0]);
    if (!code) return Fail(kExitBadInput, "ioctl: not a 32-bit number: " + args[0]);
    const IoctlCodeParts parts = SplitIoctlCode(*code);
    std::printf("Device Type: %s\nFunction: %s\nAccess: %s\nMethod: %s\n",
                IoctlDeviceTypeText(parts.deviceType).c_str(),
                IoctlFunctionText(parts.function).c_str(), IoctlAccessText(parts.access).c_str(),
                IoctlMethodText(parts.method).c_str());
    return kExitOk;
}

}  // namespace vantrel::cli
