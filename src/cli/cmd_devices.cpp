// vantrel-cli devices: the device objects the driver reports, one line each:
// device object, object name and description, separated by tabs.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli.h"
#include "cli/cli_document.h"
#include "cli/cli_kernel.h"

namespace vantrel::cli {

int CmdDevices(const Args& args) {
    const char* driver = std::getenv("VANTREL_DRIVER");
    KernelRequest kernel;
    kernel.on = driver && !std::strcmp(driver, "kernel");
    if (args.size() == 1 && args[0] == "--kernel")
        kernel.on = true;
    else if (!args.empty())
        return Fail(kExitUsage, "devices: only --kernel expected");
    if (kernel.on) {
        if (const std::string problem = KernelProblem(); !problem.empty())
            return Fail(kExitBadInput, problem);
    }
    auto cli = kernel.on ? OpenCliKernelDocument(kernel, {})
                         : OpenCliDocument(OptionsFromEnvironment(), {});
    if (!cli) return kExitBadInput;  // the document said why
    const bool complete = cli->doc->FillDeviceList();
    const CDeviceList& list = cli->doc->Devices();
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
