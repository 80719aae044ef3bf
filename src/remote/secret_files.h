#pragma once
// The files `serve` and a remote source read and write: certificates,
// keys and tokens, with the rules about who may read them.

#include <string>

namespace vantrel::remote {

// Writes `bytes` to a new file with `mode`; false and `error` when the
// file exists already or cannot be written (a partly written file is
// removed).
bool WriteNewFile(const std::string& path, const std::string& bytes, unsigned mode,
                  std::string& error);

// Reads a whole file of at most `limit` bytes.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& bytes, std::string& error);

// Reads a token file: its first line, without the line end; false and
// `error` when it is missing, empty or too long.
bool ReadTokenFile(const std::string& path, std::string& token, std::string& error);

// False and `error` when group or others may read or write the file, as
// ssh refuses a private key that others can read.
bool CheckPrivate(const std::string& path, std::string& error);

}  // namespace vantrel::remote
