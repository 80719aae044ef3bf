// CProcessTracer: what happens at a system call's entry and exit stops.

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/uio.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "devnodes/trace_devices.h"
#include "record/protocol.h"
#include "tracer/process_tracer.h"
#include "tracer/trace_memory.h"

namespace vantrel {
namespace {

constexpr uint32_t kCreatFlags = O_CREAT | O_WRONLY | O_TRUNC;
constexpr size_t kMaxIovecs = 1024;

uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

constexpr uint32_t Bit(uint32_t major) {
    return 1u << major;
}

constexpr bool IsDupCommand(int cmd) {
    return cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC;
}
constexpr bool IsLockCommand(int cmd) {
    return cmd == F_GETLK || cmd == F_SETLK || cmd == F_SETLKW || cmd == F_OFD_GETLK ||
           cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW;
}

// The bytes an iovec array asks for.
uint64_t VectorLength(pid_t tid, uint64_t address, uint64_t count) {
    struct iovec vectors[64];
    uint64_t total = 0;
    count = std::min<uint64_t>(count, kMaxIovecs);
    for (uint64_t done = 0; done < count;) {
        const size_t n = std::min<uint64_t>(count - done, std::size(vectors));
        const size_t got =
            ReadTraceeMemory(tid, address + done * sizeof(iovec), vectors, n * sizeof(iovec));
        for (size_t i = 0; i < got / sizeof(iovec); ++i) total += vectors[i].iov_len;
        if (got < n * sizeof(iovec)) break;
        done += n;
    }
    return total;
}

// A read or write family call: its length, and where it starts (its own
// offset argument, else `position`: the file position for files and block
// devices, 0 for the others).
void SetTransferParameters(pid_t tid, const SyscallRule& rule, const uint64_t* args,
                           uint64_t position, IRP_CAPTURE_RECORD& c) {
    const uint64_t length =
        rule.vector ? VectorLength(tid, args[1], args[rule.lengthArg]) : args[rule.lengthArg];
    const uint64_t offset = rule.offsetArg != kNoArg ? args[rule.offsetArg] : position;
    c.SetParam32(par::Length, static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX)));
    c.SetParam32(par::ByteOffsetLow, static_cast<uint32_t>(offset));
    c.SetParam32(par::ByteOffsetHigh, static_cast<uint32_t>(offset >> 32));
}

// An ioctl: its code, its buffer lengths and the input bytes at entry.
void SetIoctlParameters(pid_t tid, const uint64_t* args, IRP_CAPTURE_RECORD& c) {
    const auto request = static_cast<uint32_t>(args[1]);
    const IoctlLengths lengths = IoctlBufferLengths(request);
    c.SetParam32(par::OutputBufferLength, lengths.output);
    c.SetParam32(par::InputBufferLength, lengths.input);
    c.SetParam32(par::IoControlCode, request);
    c.SetParam32(par::Type3InputBuffer, static_cast<uint32_t>(args[2]));
    if (lengths.input)
        ReadTraceeMemory(tid, args[2], c.InputData, std::min<size_t>(lengths.input, rec::DataSize));
}

// A query or set-information call: the information class and length its
// rule gives, on the file object of the descriptor.
void SetInformationParameters(const SyscallRule& rule, int fd, IRP_CAPTURE_RECORD& c) {
    c.SetParam32(par::Length, rule.infoLength);
    c.SetParam32(par::InformationClass, rule.infoClass);
    c.SetParam32(par::FileObject, static_cast<uint32_t>(fd));
}

// close_range(first, last): the descriptors it closes are forgotten.
template <typename FdCache>
void ForgetRange(FdCache& fds, uint64_t first, uint64_t last) {
    std::erase_if(fds, [&](const auto& entry) {
        return static_cast<uint64_t>(entry.first) >= first &&
               static_cast<uint64_t>(entry.first) <= last;
    });
}

}  // namespace

void CProcessTracer::OnSyscallEntry(pid_t tid, ThreadState& thread, long number,
                                    const uint64_t* args) {
    const SyscallRule* rule = FindSyscallRule(number);
    thread.inCall = false;
    if (!rule) {
        Continue(tid, false);
        return;
    }
    Pending& p = thread.pending;
    p.rule = rule;
    std::copy(args, args + 6, p.args);
    p.major = rule->major;
    p.record = false;
    p.capture = IRP_CAPTURE_RECORD{};
    IRP_CAPTURE_RECORD& c = p.capture;
    Process& process = m_processes[thread.tgid];
    const int fd = rule->fdArg == kNoArg ? -1 : static_cast<int>(p.args[rule->fdArg]);
    auto wanted = [&](uint32_t majors) {
        return Resolve(tid, process, fd, p.fd) && (m_sink.MaskFor(p.fd.deviceObject) & majors);
    };
    bool toExit = false;
    switch (rule->call) {
        case TraceCall::Open:
            // Whether it is recorded depends on where the new descriptor leads.
            c.SetParam32(par::Options, rule->flagsArg == kNoArg
                                           ? kCreatFlags
                                           : static_cast<uint32_t>(p.args[rule->flagsArg]));
            c.SetParam16(par::FileAttributes, static_cast<uint16_t>(p.args[rule->modeArg]));
            toExit = true;
            break;
        case TraceCall::Close:
            p.record = wanted(Bit(IRP_MJ_CLEANUP) | Bit(IRP_MJ_CLOSE));
            process.fds.erase(fd);  // gone whatever the call returns
            toExit = p.record;
            break;
        case TraceCall::Transfer: {
            p.record = wanted(Bit(rule->major));
            if (!p.record) break;
            const uint64_t position =
                rule->offsetArg == kNoArg && p.fd.positional ? FilePosition(tid, fd) : 0;
            SetTransferParameters(tid, *rule, p.args, position, c);
            toExit = true;
            break;
        }
        case TraceCall::Ioctl: {
            p.record = wanted(Bit(rule->major));
            if (!p.record) break;
            SetIoctlParameters(tid, p.args, c);
            toExit = true;
            break;
        }
        case TraceCall::Fcntl: {
            const int cmd = static_cast<int>(p.args[1]);
            if (IsDupCommand(cmd)) {
                toExit = true;
            } else if (IsLockCommand(cmd)) {
                p.record = wanted(Bit(rule->major));
                toExit = p.record;
            }
            break;
        }
        case TraceCall::Plain:
            p.record = wanted(Bit(rule->major));
            if (rule->infoLength) SetInformationParameters(*rule, fd, c);
            toExit = p.record;
            break;
        case TraceCall::Dup:
            toExit = true;
            break;
        case TraceCall::CloseRange:
            ForgetRange(process.fds, p.args[0], p.args[1]);
            break;
    }
    thread.inCall = toExit;
    c.StartTime = NowNs();
    Continue(tid, toExit);
}

void CProcessTracer::OnSyscallExit(pid_t tid, ThreadState& thread, bool known, int64_t rval,
                                   bool failed) {
    const uint64_t end = NowNs();
    if (!thread.inCall || !known) {
        thread.inCall = false;
        Continue(tid, false);
        return;
    }
    thread.inCall = false;
    Pending& p = thread.pending;
    Process& process = m_processes[thread.tgid];
    const TraceCall call = p.rule->call;
    if (call == TraceCall::Open) {
        FinishOpen(tid, thread, rval, failed);
    } else if (!failed && (call == TraceCall::Dup || (call == TraceCall::Fcntl &&
                                                      IsDupCommand(static_cast<int>(p.args[1]))))) {
        // The new descriptor leads where the old one does.
        const int copy = static_cast<int>(rval);
        TraceFd from;
        if (Resolve(tid, process, static_cast<int>(p.args[0]), from))
            process.fds[copy] = from;
        else
            process.fds.erase(copy);
    }
    if (p.record) {
        IRP_CAPTURE_RECORD& c = p.capture;
        c.DeviceObject = p.fd.deviceObject;
        c.EndTime = end;
        c.Status = failed ? StatusFromErrno(static_cast<int>(-rval)) : 0;
        if (call == TraceCall::Ioctl && !failed) {
            const uint32_t out = c.Param32(par::OutputBufferLength);
            if (out)
                ReadTraceeMemory(tid, p.args[2], c.OutputData,
                                 std::min<size_t>(out, rec::DataSize));
        }
        const uint32_t mask = m_sink.MaskFor(c.DeviceObject);
        if (call == TraceCall::Close) {
            for (uint32_t major : {uint32_t{IRP_MJ_CLEANUP}, uint32_t{IRP_MJ_CLOSE}}) {
                if (!(mask & Bit(major))) continue;
                c.MajorFunction = major;
                m_sink.Emit(c);
            }
        } else if (mask & Bit(p.major)) {
            c.MajorFunction = p.major;
            m_sink.Emit(c);
        }
    }
    Continue(tid, false);
}

void CProcessTracer::FinishOpen(pid_t tid, ThreadState& thread, int64_t rval, bool failed) {
    Pending& p = thread.pending;
    Process& process = m_processes[thread.tgid];
    char path[PATH_MAX + 64];
    if (!failed) {
        const int fd = static_cast<int>(rval);
        std::snprintf(path, sizeof path, "/proc/%d/fd/%d", tid, fd);
        p.fd = Classify(path);
        if (p.fd.deviceObject == 0) p.fd.deviceObject = kTraceFilesObject;
        process.fds[fd] = p.fd;
    } else {
        // A failed open is charged to the node its path names, when there
        // is one; otherwise to the files.
        const std::string name = ReadTraceeString(tid, p.args[p.rule->pathArg], PATH_MAX);
        const int dir =
            p.rule->fdArg == kNoArg ? AT_FDCWD : static_cast<int>(p.args[p.rule->fdArg]);
        if (!name.empty() && name[0] == '/')
            std::snprintf(path, sizeof path, "%s", name.c_str());
        else if (dir == AT_FDCWD)
            std::snprintf(path, sizeof path, "/proc/%d/cwd/%s", tid, name.c_str());
        else
            std::snprintf(path, sizeof path, "/proc/%d/fd/%d/%s", tid, dir, name.c_str());
        p.fd = name.empty() ? TraceFd{} : Classify(path);
        const uint32_t object = p.fd.deviceObject;
        if (object == 0 || object == kTracePipesObject) p.fd = {kTraceFilesObject, false};
    }
    p.record = (m_sink.MaskFor(p.fd.deviceObject) & Bit(IRP_MJ_CREATE)) != 0;
}

}  // namespace vantrel
