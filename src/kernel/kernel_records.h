#pragma once
// How the kernel programs' events become IRP records: the system call
// rules the programs follow (taken from the trace driver's table) and the
// records one finished call or block request gives.

#include <cstdint>
#include <vector>

#include "record/capture_record.h"

namespace vantrel {

// The request code a discard, secure erase or write-zeroes request shows
// with: a device control carrying the byte offset and length.
inline constexpr uint32_t kKernelTrimControlCode = 0x002D9404;
inline constexpr uint32_t kKernelTrimInputLength = 16;

// The rule table's entries for the programs, indexed by system call number
// (all zero for a call the source does not watch). Open, close, the read
// and write families, ioctl and the fixed-parameter calls are watched;
// descriptor bookkeeping (dup, fcntl, close_range) is not: the kernel
// resolves descriptors itself.
struct KernelRuleEntry {
    uint8_t call = 0;
    uint8_t major = 0;
    int8_t fdArg = -1;
    int8_t lengthArg = -1;
    int8_t offsetArg = -1;
    uint8_t vector = 0;
    int8_t flagsArg = -1;
    int8_t modeArg = -1;
};
std::vector<KernelRuleEntry> KernelRuleTable();

// The errno a block request's completion status stands for.
int ErrnoFromBlockStatus(uint32_t status);

// Appends the records of one event (struct vantrel_event's bytes) whose
// majors are in `mask`; a close gives IRP_MJ_CLEANUP and IRP_MJ_CLOSE.
// Events shorter than the layout give nothing.
void AppendKernelRecords(const void* event, size_t size, uint32_t mask,
                         std::vector<IRP_CAPTURE_RECORD>& out);

}  // namespace vantrel
