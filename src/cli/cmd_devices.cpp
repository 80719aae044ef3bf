// vantrel-cli devices: the device objects the driver reports, one line each:
// device object, object name and description, separated by tabs.

#include <cstdio>

#include "capture/driver_link.h"
#include "cli/cli.h"
#include "cli/cli_prompts.h"
#include "driver/simulated_driver.h"
#include "capture/device_list.h"

namespace vantrel::cli {

int CmdDevices(const Args& args) {
    if (!args.empty()) return Fail(kExitUsage, "devices: no arguments expected");
    CSimulatedDriverSession driver(OptionsFromEnvironment());
    CCliPrompts prompts;
    CDriverLink link;
    if (!link.OpenDriver(driver.Opener(), prompts)) return kExitBadInput;  // the prompt said why
    CDeviceList list;
    const bool complete = list.FillDeviceList(link, prompts);
    for (size_t i = 0; i < list.Count(); ++i) {
        const CDeviceObjectInfo* row = list.Row(i);
        const std::string_view name = row->GetName().view();
        const std::string_view description = row->GetDescription().view();
        std::printf("0x%.8x\t%.*s\t%.*s\n", row->GetDeviceObject(), static_cast<int>(name.size()),
                    name.data(), static_cast<int>(description.size()), description.data());
    }
    std::fflush(stdout);
    if (!complete) return Fail(kExitBadInput, "devices: the driver's device list is incomplete");
    return kExitOk;
}

}  // namespace vantrel::cli
