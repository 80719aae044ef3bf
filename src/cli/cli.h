#pragma once
// vantrel-cli: shared pieces of the commands.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitUsage = 64;

using Args = std::vector<std::string>;  // the words after the command name

// A number in decimal or 0x hexadecimal, the full 32 bits; nullopt when it is
// not one (empty, junk after the digits, out of range).
std::optional<uint32_t> ParseU32(std::string_view text);
std::optional<uint64_t> ParseU64(std::string_view text);
std::optional<double> ParseDouble(std::string_view text);

// Prints "vantrel-cli: <message>" on stderr and returns the exit code.
// Control characters in the message (which may quote a file's text) are
// shown as "\xNN", so no file can put escape sequences on the terminal.
int Fail(int exitCode, std::string_view message);

// `text` with each control character (below 0x20, and 0x7F) as "\xNN".
std::string EscapeControls(std::string_view text);

// The options a command takes once: a second one is a usage error, never a
// silent replacement of the first.
class COnceOptions {
public:
    // True the first time `option` is seen; false, after the usage line
    // "<option> given twice; usage: <usage>", every other time.
    bool First(const std::string& option, std::string_view usage);

private:
    std::vector<std::string> m_seen;
};

// Flushes standard output and checks that everything reached it. `rc` when
// it did; otherwise exit 2 with "cannot write to standard output: <reason>".
// Called right after a command's writes, while errno still holds the reason
// of one that failed.
int FinishStandardOutput(int rc);

// Commands: each returns the process exit code.
int CmdDevices(const Args& args);
int CmdRecords(const Args& args);
int CmdRoundtrip(const Args& args);
int CmdDump(const Args& args);
int CmdIoctl(const Args& args);
int CmdExport(const Args& args);
int CmdCapture(const Args& args);
int CmdCatalogueCreate(const Args& args);
int CmdTemplates(const Args& args);
int CmdIoctls(const Args& args);
int CmdCatalogueExport(const Args& args);
int CmdCatalogueImport(const Args& args);
int CmdStats(const Args& args);
int CmdPoints(const Args& args);
int CmdGraph(const Args& args);

}  // namespace vantrel::cli
