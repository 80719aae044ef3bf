#pragma once
// Which capture source a program puts behind "\\.\KLAVDRIVER": the value of
// `--driver` and of VANTREL_DRIVER, the same words for both. The command
// line wins over the environment; each program builds the chosen source and
// hands the document its opener.

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

enum class SourceKind {
    Simulated,  // "sim"
    Trace,      // "trace": a program's device I/O under trace
    Kernel,     // "kernel": every process's device I/O, from the kernel (Linux)
    Replay,     // "replay:FILE": the records of a saved test
    Device,     // "device": the real filter driver (Windows; elsewhere it is absent)
    None,       // "none": no driver; opening it fails
    Remote,     // "remote:HOST:PORT": a source served by another machine
};

// What a program opens when nothing is chosen: the real driver where it can
// be, else the simulated one.
#ifdef _WIN32
inline constexpr SourceKind kDefaultSourceKind = SourceKind::Device;
#else
inline constexpr SourceKind kDefaultSourceKind = SourceKind::Simulated;
#endif

struct SourceChoice {
    SourceKind kind = kDefaultSourceKind;
    std::string file;  // Replay: the test file; Remote: HOST:PORT
};

// The words a source is chosen by, for messages.
inline constexpr char kSourceChoiceWords[] =
    "sim, trace, kernel, replay:FILE, remote:HOST:PORT, device or none";

// "sim", "trace", "kernel", "replay:FILE" (FILE not empty),
// "remote:HOST:PORT", "device" or "none"; nullopt for
// anything else.
std::optional<SourceChoice> ParseSourceChoice(std::string_view text);

// The choice of VANTREL_DRIVER; the default source when it is unset or
// empty. Nullopt, with one line in `error`, for a value that is not one.
std::optional<SourceChoice> SourceChoiceFromEnvironment(std::string& error);

}  // namespace vantrel
