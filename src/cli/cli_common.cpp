#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

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

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

int Fail(int exitCode, std::string_view message) {
    const std::string line = "vantrel-cli: " + EscapeControls(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return exitCode;
}

bool COnceOptions::First(const std::string& option, std::string_view usage) {
    if (std::find(m_seen.begin(), m_seen.end(), option) == m_seen.end()) {
        m_seen.push_back(option);
        return true;
    }
    Fail(kExitUsage, option + " given twice; usage: " + std::string(usage));
    return false;
}

int FinishStandardOutput(int rc) {
    // A write that failed before this call left its reason in errno.
    const int earlier = errno;
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return rc;
    const int err = !flushed && errno ? errno : earlier ? earlier : EIO;
    std::clearerr(stdout);
    if (rc != kExitOk) return rc;  // the command already said why
    return Fail(kExitBadInput, std::string("cannot write to standard output: ") +
                                   std::generic_category().message(err));
}

}  // namespace vantrel::cli
