#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"

namespace vantrel::cli {

std::optional<uint64_t> ParseU64(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<uint32_t> ParseU32(std::string_view text) {
    auto v = ParseU64(text);
    if (!v || *v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(*v);
}

std::optional<double> ParseDouble(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return std::nullopt;
    return v;
}

int Fail(int exitCode, std::string_view message) {
    std::fprintf(stderr, "vantrel-cli: %.*s\n", static_cast<int>(message.size()), message.data());
    return exitCode;
}

}  // namespace vantrel::cli
