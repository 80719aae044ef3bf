#include "cli/cli_driver.h"

namespace vantrel::cli {

int TakeDriverOption(Args& args, DriverOption& option, std::string_view usage) {
    const std::string tail = std::string("; usage: ").append(usage);
    std::string given;  // the option that chose the driver
    Args rest;
    size_t i = 0;
    for (; i < args.size() && args[i] != "--"; ++i) {
        const std::string& a = args[i];
        if (a != "--driver" && a != "--trace" && a != "--kernel") {
            rest.push_back(a);
            continue;
        }
        if (given == a) return Fail(kExitUsage, std::string(a).append(" given twice").append(tail));
        if (!given.empty() && given != "--driver" && a != "--driver") {
            std::string why = given;
            why.append(" and ").append(a).append(" choose two drivers: give one").append(tail);
            return Fail(kExitUsage, why);
        }
        if (!given.empty()) {
            const std::string shortForm = a == "--driver" ? given : a;
            std::string why = shortForm;
            why.append(" is the short form of --driver ")
                .append(shortForm.substr(2))
                .append(": give one of them")
                .append(tail);
            return Fail(kExitUsage, why);
        }
        given = a;
        if (a == "--trace" || a == "--kernel") {
            option.choice = {a == "--trace" ? SourceKind::Trace : SourceKind::Kernel, {}};
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
