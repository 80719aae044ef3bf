#include "cli/cli_driver.h"

namespace vantrel::cli {

int TakeDriverOption(Args& args, DriverOption& option, std::string_view usage) {
    const std::string tail = std::string("; usage: ").append(usage);
    std::string given;  // the option that chose the driver
    Args rest;
    size_t i = 0;
    for (; i < args.size() && args[i] != "--"; ++i) {
        const std::string& a = args[i];
        if (a != "--driver" && a != "--trace") {
            rest.push_back(a);
            continue;
        }
        if (given == a) return Fail(kExitUsage, a + " given twice" + tail);
        if (!given.empty())
            return Fail(kExitUsage,
                        "--trace is the short form of --driver trace: give one of them" + tail);
        given = a;
        if (a == "--trace") {
            option.choice = {SourceKind::Trace, {}};
            continue;
        }
        if (++i == args.size()) return Fail(kExitUsage, "--driver needs a value" + tail);
        const auto choice = ParseSourceChoice(args[i]);
        if (!choice)
            return Fail(kExitUsage, std::string("not a driver (") + kSourceChoiceWords +
                                        "): " + args[i] + tail);
        option.choice = *choice;
    }
    rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    args = std::move(rest);
    option.onCommandLine = !given.empty();
    if (option.onCommandLine) return kExitOk;
    std::string error;
    const auto fromEnvironment = SourceChoiceFromEnvironment(error);
    if (!fromEnvironment) return Fail(kExitBadInput, error);
    option.choice = *fromEnvironment;
    return kExitOk;
}

}  // namespace vantrel::cli
