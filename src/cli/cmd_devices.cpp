// vantrel-cli devices: the device objects the chosen driver reports, one
// line each: device object, object name and description, separated by tabs.

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/cli_document.h"
#include "cli/cli_driver.h"

namespace vantrel::cli {

int CmdDevices(const Args& given) {
    constexpr char kUsage[] =
        "devices [--driver sim|trace|kernel|replay:FILE|remote:HOST:PORT|device|none | --connect "
        "HOST:PORT --ca CA.pem --token-file FILE]";
    Args args = given;
    CliSource source;
    DriverOption driver;
    if (const int rc = TakeDriverOption(args, driver, kUsage); rc != kExitOk) return rc;
    if (const int rc = TakeRemoteOptions(args, driver.choice, source.remote); rc != kExitOk)
        return rc;
    if (!args.empty()) return Fail(kExitUsage, std::string("devices: usage: ") + kUsage);
    source.choice = driver.choice;
    std::string problem;
    source.sim = OptionsFromEnvironment(&problem);
    if (source.choice.kind == SourceKind::Simulated && !problem.empty())
        return Fail(kExitBadInput, problem);
    auto cli = OpenCliDocument(std::move(source), {});
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
    if (const int rc = FinishStandardOutput(kExitOk); rc != kExitOk) return rc;
    if (!complete) return Fail(kExitBadInput, "devices: the driver's device list is incomplete");
    return kExitOk;
}

}  // namespace vantrel::cli
