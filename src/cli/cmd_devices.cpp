// vantrel-cli devices: the device objects the driver reports, one line each:
// device object, object name and description, separated by tabs.

#include <cstdio>

#include "cli/cli.h"
#include "cli/cli_document.h"
#include "cli/cli_remote.h"

namespace vantrel::cli {

int CmdDevices(const Args& args) {
    RemoteRequest remote;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (!TakeRemoteOption(args, i, remote, error))
            return Fail(kExitUsage, "devices: unknown option " + args[i]);
        if (!error.empty()) return Fail(kExitUsage, "devices: " + error);
    }
    RemoteFromEnvironment(remote);
    int rc = kExitBadInput;
    auto cli = remote.On() ? OpenRemoteDocument(remote, {}, {}, rc)
                           : OpenCliDocument(OptionsFromEnvironment(), {});
    if (!cli) return rc;  // the document or the connection said why
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
