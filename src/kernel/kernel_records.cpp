#include "kernel/kernel_records.h"

#include <linux/types.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "devnodes/trace_tables.h"
#include "kernel/kernel_event.h"

namespace vantrel {

static_assert(sizeof(KernelRuleEntry) == sizeof(vantrel_rule));
static_assert(VANTREL_DATA_SIZE == rec::DataSize);

std::vector<KernelRuleEntry> KernelRuleTable() {
    std::vector<KernelRuleEntry> table(VANTREL_MAX_SYSCALL);
    for (const SyscallRule& r : SyscallRules()) {
        if (r.number < 0 || r.number >= VANTREL_MAX_SYSCALL) continue;
        KernelRuleEntry e;
        switch (r.call) {
            case TraceCall::Open:
                e.call = VANTREL_CALL_OPEN;
                break;
            case TraceCall::Close:
                e.call = VANTREL_CALL_CLOSE;
                break;
            case TraceCall::Transfer:
                e.call = VANTREL_CALL_TRANSFER;
                break;
            case TraceCall::Ioctl:
                e.call = VANTREL_CALL_IOCTL;
                break;
            case TraceCall::Plain:
                e.call = VANTREL_CALL_PLAIN;
                break;
            default:
                continue;
        }
        e.major = r.major;
        e.fdArg = r.call == TraceCall::Open ? -1 : r.fdArg;
        e.lengthArg = r.lengthArg;
        e.offsetArg = r.offsetArg;
        e.vector = r.vector;
        e.flagsArg = r.flagsArg;
        e.modeArg = r.modeArg;
        table[r.number] = e;
    }
    return table;
}

int ErrnoFromBlockStatus(uint32_t status) {
    // The block layer's status codes in their order, as its own table
    // turns them into errno values.
    static constexpr int kErrno[] = {
        0,      EOPNOTSUPP, ETIMEDOUT, ENOSPC,  ENOLINK, EREMOTEIO, EBADE,        ENODATA,
        EILSEQ, ENOMEM,     EIO,       EREMCHG, EAGAIN,  EBUSY,     ETOOMANYREFS, EOVERFLOW,
        ENODEV, ETIME,      EINVAL,
    };
    return status < std::size(kErrno) ? kErrno[status] : EIO;
}

namespace {

constexpr uint32_t Bit(uint32_t major) {
    return 1u << major;
}

void SetOffset(IRP_CAPTURE_RECORD& c, uint64_t offset) {
    c.SetParam32(par::ByteOffsetLow, static_cast<uint32_t>(offset));
    c.SetParam32(par::ByteOffsetHigh, static_cast<uint32_t>(offset >> 32));
}

uint32_t Clamp32(uint64_t n) {
    return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
}

void Emit(IRP_CAPTURE_RECORD& c, uint32_t major, uint32_t mask,
          std::vector<IRP_CAPTURE_RECORD>& out) {
    if (!(mask & Bit(major))) return;
    c.MajorFunction = major;
    out.push_back(c);
}

void BlockRecords(const vantrel_event& e, IRP_CAPTURE_RECORD& c, uint32_t mask,
                  std::vector<IRP_CAPTURE_RECORD>& out) {
    c.Status = StatusFromErrno(ErrnoFromBlockStatus(static_cast<uint32_t>(e.ret)));
    switch (e.nr) {
        case VANTREL_OP_READ:
        case VANTREL_OP_WRITE:
            c.SetParam32(par::Length, Clamp32(e.length));
            SetOffset(c, e.offset);
            Emit(c, e.nr == VANTREL_OP_READ ? IRP_MJ_READ : IRP_MJ_WRITE, mask, out);
            break;
        case VANTREL_OP_FLUSH:
            Emit(c, IRP_MJ_FLUSH_BUFFERS, mask, out);
            break;
        case VANTREL_OP_DISCARD:
        case VANTREL_OP_SECURE_ERASE:
        case VANTREL_OP_WRITE_ZEROES:
            c.SetParam32(par::InputBufferLength, kKernelTrimInputLength);
            c.SetParam32(par::IoControlCode, kKernelTrimControlCode);
            le::Put64(c.InputData, e.offset);
            le::Put64(c.InputData + 8, e.length);
            Emit(c, IRP_MJ_DEVICE_CONTROL, mask, out);
            break;
        default:
            break;
    }
}

void CallRecords(const vantrel_event& e, IRP_CAPTURE_RECORD& c, uint32_t mask,
                 std::vector<IRP_CAPTURE_RECORD>& out) {
    const SyscallRule* rule = FindSyscallRule(e.nr);
    if (!rule) return;
    const bool failed = e.ret < 0;
    c.Status = failed ? StatusFromErrno(static_cast<int>(-e.ret)) : 0;
    switch (rule->call) {
        case TraceCall::Open:
            c.SetParam32(par::Options, static_cast<uint32_t>(e.arg));
            c.SetParam16(par::FileAttributes, static_cast<uint16_t>(e.mode));
            Emit(c, IRP_MJ_CREATE, mask, out);
            break;
        case TraceCall::Close:
            Emit(c, IRP_MJ_CLEANUP, mask, out);
            Emit(c, IRP_MJ_CLOSE, mask, out);
            break;
        case TraceCall::Transfer:
            c.SetParam32(par::Length, Clamp32(e.length));
            SetOffset(c, e.offset);
            Emit(c, rule->major, mask, out);
            break;
        case TraceCall::Ioctl: {
            c.SetParam32(par::OutputBufferLength, e.out_size);
            c.SetParam32(par::InputBufferLength, e.in_size);
            c.SetParam32(par::IoControlCode, e.code);
            c.SetParam32(par::Type3InputBuffer, static_cast<uint32_t>(e.arg));
            std::memcpy(c.InputData, e.in, std::min<size_t>(e.in_size, rec::DataSize));
            if (!failed)
                std::memcpy(c.OutputData, e.out, std::min<size_t>(e.out_size, rec::DataSize));
            Emit(c, rule->major, mask, out);
            break;
        }
        case TraceCall::Plain:
            if (rule->infoLength) {
                c.SetParam32(par::Length, rule->infoLength);
                c.SetParam32(par::InformationClass, rule->infoClass);
                c.SetParam32(par::FileObject, e.fd);
            }
            Emit(c, rule->major, mask, out);
            break;
        default:
            break;
    }
}

}  // namespace

void AppendKernelRecords(const void* event, size_t size, uint32_t mask,
                         std::vector<IRP_CAPTURE_RECORD>& out) {
    if (size < sizeof(vantrel_event)) return;
    vantrel_event e;
    std::memcpy(&e, event, sizeof e);
    IRP_CAPTURE_RECORD c;
    c.DeviceObject = e.device_object;
    c.StartTime = e.start;
    c.EndTime = e.end;
    if (e.kind == VANTREL_KIND_BLOCK)
        BlockRecords(e, c, mask, out);
    else if (e.kind == VANTREL_KIND_SYSCALL)
        CallRecords(e, c, mask, out);
}

}  // namespace vantrel
