#include "endpoint/source_choice.h"

#include <cstdlib>

namespace vantrel {

std::optional<SourceChoice> ParseSourceChoice(std::string_view text) {
    constexpr std::string_view kReplay = "replay:";
    constexpr std::string_view kRemote = "remote:";
    if (text == "sim") return SourceChoice{SourceKind::Simulated, {}};
    if (text == "trace") return SourceChoice{SourceKind::Trace, {}};
    if (text == "kernel") return SourceChoice{SourceKind::Kernel, {}};
    if (text == "device") return SourceChoice{SourceKind::Device, {}};
    if (text == "none") return SourceChoice{SourceKind::None, {}};
    if (text.size() > kReplay.size() && text.substr(0, kReplay.size()) == kReplay)
        return SourceChoice{SourceKind::Replay, std::string(text.substr(kReplay.size()))};
    if (text.size() > kRemote.size() && text.substr(0, kRemote.size()) == kRemote)
        return SourceChoice{SourceKind::Remote, std::string(text.substr(kRemote.size()))};
    return std::nullopt;
}

std::optional<SourceChoice> SourceChoiceFromEnvironment(std::string& error) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    const char* value = std::getenv("VANTREL_DRIVER");
    if (!value || !*value) return SourceChoice{};
    auto choice = ParseSourceChoice(value);
    if (!choice)
        error =
            std::string("VANTREL_DRIVER is not a driver (") + kSourceChoiceWords + "): " + value;
    return choice;
}

}  // namespace vantrel
