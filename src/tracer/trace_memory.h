#pragma once
// Reading a tracee's memory without changing it (process_vm_readv), page by
// page so that a buffer that ends in front of an unmapped page still gives
// its readable part.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

// Copies up to `length` bytes from `address` in the process; returns how
// many could be read (0 when none).
size_t ReadTraceeMemory(pid_t pid, uint64_t address, void* out, size_t length);

// The NUL-terminated string at `address`, at most `limit` bytes.
std::string ReadTraceeString(pid_t pid, uint64_t address, size_t limit);

}  // namespace vantrel
