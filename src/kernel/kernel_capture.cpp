#include "kernel/kernel_capture.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>
#include <linux/capability.h>
#include <linux/types.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <system_error>

#include "devnodes/trace_devices.h"
#include "devnodes/trace_tables.h"
#include "kernel/kernel_event.h"
#include "kernel/kernel_records.h"
#include "kernel_programs.skel.h"  // generated from kernel_programs.bpf.c

namespace vantrel {
namespace {

constexpr const char* kPermissionMessage =
    "the kernel source needs root or CAP_BPF and CAP_PERFMON";
constexpr int kCapPerfmon = 38, kCapBpf = 39, kCapSysAdmin = 21;
constexpr uint64_t kExpireEveryNs = 1'000'000'000;

uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

bool HasCapability(const __user_cap_data_struct (&data)[2], int cap) {
    return (data[cap / 32].effective >> (cap % 32)) & 1u;
}

bool MayLoadPrograms() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) return geteuid() == 0;
    return HasCapability(data, kCapSysAdmin) ||
           (HasCapability(data, kCapBpf) && HasCapability(data, kCapPerfmon));
}

// libbpf's own messages stay out of the user's way; failures are reported
// through return values.
int Quiet(libbpf_print_level level, const char* format, va_list args) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    if (!getenv("VANTREL_DEBUG")) return 0;
    return vfprintf(stderr, format, args);
}

uint32_t MajorIndex(uint32_t deviceObject) {
    return deviceObject >> 20;
}

}  // namespace

std::string KernelSourceProblem() {
    if (access("/sys/kernel/btf/vmlinux", R_OK) != 0)
        return "the kernel source needs a kernel with BTF (/sys/kernel/btf/vmlinux)";
    if (!MayLoadPrograms()) return kPermissionMessage;
    return {};
}

struct CKernelCapture::Impl {
    vantrel_kernel* skel = nullptr;
    ring_buffer* ring = nullptr;
    KernelCaptureOptions options;
    std::set<uint32_t> filtered;               // device objects with a filter
    std::map<uint32_t, uint32_t> majorCounts;  // major index -> filtered devices
    std::vector<IRP_CAPTURE_RECORD> batch;
    const Sink* sink = nullptr;
    size_t handed = 0;
    uint64_t expired = 0;
    uint64_t lastExpire = 0;

    ~Impl() {
        if (ring) ring_buffer__free(ring);
        if (skel) vantrel_kernel__destroy(skel);
    }

    int Map(bpf_map* map) const { return bpf_map__fd(map); }

    static int OnEvent(void* context, void* data, size_t size) {
        auto* self = static_cast<Impl*>(context);
        self->batch.clear();
        AppendKernelRecords(data, size, ~0u, self->batch);
        for (const IRP_CAPTURE_RECORD& r : self->batch) (*self->sink)(r);
        self->handed += self->batch.size();
        return 0;
    }
};

CKernelCapture::CKernelCapture(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
CKernelCapture::~CKernelCapture() = default;

std::unique_ptr<CKernelCapture> CKernelCapture::Open(const KernelCaptureOptions& options,
                                                     std::string& error) {
    if (std::string problem = KernelSourceProblem(); !problem.empty()) {
        error = problem;
        return nullptr;
    }
    const uint32_t ringBytes = options.ringBytes;
    if (ringBytes < 4096 || (ringBytes & (ringBytes - 1)) != 0) {
        error = "the kernel source's ring size must be a power of two of 4096 bytes or more";
        return nullptr;
    }
    libbpf_set_print(Quiet);
    auto impl = std::make_unique<Impl>();
    impl->options = options;
    // The typed tracepoints first; raw tracepoints where they do not load.
    int err = 0;
    for (bool typed : {true, false}) {
        impl->skel = vantrel_kernel__open();
        if (!impl->skel) {
            err = errno;
            break;
        }
        auto* p = &impl->skel->progs;
        for (bpf_program* prog :
             {p->vantrel_enter, p->vantrel_exit, p->vantrel_issue, p->vantrel_done})
            bpf_program__set_autoload(prog, typed);
        for (bpf_program* prog :
             {p->vantrel_raw_in, p->vantrel_raw_out, p->vantrel_raw_iss, p->vantrel_raw_end})
            bpf_program__set_autoload(prog, !typed);
        bpf_map__set_max_entries(impl->skel->maps.events, ringBytes);
        bpf_map__set_max_entries(impl->skel->maps.requests,
                                 std::max<uint32_t>(options.pendingRequests, 1));
        err = vantrel_kernel__load(impl->skel);
        if (!err) err = vantrel_kernel__attach(impl->skel);
        if (!err) break;
        vantrel_kernel__destroy(impl->skel);
        impl->skel = nullptr;
    }
    if (!impl->skel) {
        const int code = err < 0 ? -err : err;
        error = code == EPERM ? std::string(kPermissionMessage)
                              : std::string("the kernel source could not load its programs: ") +
                                    std::generic_category().message(code);
        return nullptr;
    }
    // The rules, the classic ioctl sizes and the settings.
    const std::vector<KernelRuleEntry> rules = KernelRuleTable();
    for (uint32_t nr = 0; nr < rules.size(); ++nr)
        bpf_map_update_elem(impl->Map(impl->skel->maps.rules), &nr, &rules[nr], BPF_ANY);
    for (uint32_t request : ClassicIoctlRequests()) {
        const IoctlLengths lengths = IoctlBufferLengths(request);
        const uint32_t value[2] = {lengths.input, lengths.output};
        bpf_map_update_elem(impl->Map(impl->skel->maps.ioctl_sizes), &request, value, BPF_ANY);
    }
    const uint8_t one = 1;
    for (pid_t pid : options.pids) {
        const auto key = static_cast<uint32_t>(pid);
        bpf_map_update_elem(impl->Map(impl->skel->maps.pids), &key, &one, BPF_ANY);
    }
    vantrel_config& settings = impl->skel->bss->settings;
    settings.wake_threshold = ringBytes / 4;
    std::strncpy(settings.comm, options.comm.c_str(), sizeof settings.comm - 1);
    settings.comm_filter = options.comm.empty() ? 0 : 1;
    __atomic_store_n(&settings.pid_filter, options.pids.empty() ? 0u : 1u, __ATOMIC_RELEASE);
    impl->ring =
        ring_buffer__new(impl->Map(impl->skel->maps.events), Impl::OnEvent, impl.get(), nullptr);
    if (!impl->ring) {
        error = std::string("the kernel source could not read its ring: ") +
                std::generic_category().message(errno);
        return nullptr;
    }
    impl->lastExpire = NowNs();
    return std::unique_ptr<CKernelCapture>(new CKernelCapture(std::move(impl)));
}

void CKernelCapture::SetKnown(const std::vector<uint32_t>& deviceObjects) {
    const uint8_t one = 1;
    for (uint32_t object : deviceObjects)
        bpf_map_update_elem(m_impl->Map(m_impl->skel->maps.known), &object, &one, BPF_ANY);
}

void CKernelCapture::SetFilter(uint32_t deviceObject, uint32_t majorMask) {
    Impl& m = *m_impl;
    const bool had = m.filtered.count(deviceObject) != 0;
    if (deviceObject == kTraceOtherNodesObject) {
        __atomic_store_n(&m.skel->bss->settings.other_mask, majorMask, __ATOMIC_RELEASE);
    } else {
        // The majors array only ever says "maybe": it is set before the
        // device's mask appears and cleared after it goes.
        const uint32_t index = MajorIndex(deviceObject);
        const int majors = m.Map(m.skel->maps.majors);
        if (majorMask && !had) {
            const uint32_t n = ++m.majorCounts[index];
            bpf_map_update_elem(majors, &index, &n, BPF_ANY);
        }
        const int devices = m.Map(m.skel->maps.devices);
        if (majorMask)
            bpf_map_update_elem(devices, &deviceObject, &majorMask, BPF_ANY);
        else
            bpf_map_delete_elem(devices, &deviceObject);
        if (!majorMask && had) {
            uint32_t n = --m.majorCounts[index];
            if (n == 0) m.majorCounts.erase(index);
            bpf_map_update_elem(majors, &index, &n, BPF_ANY);
        }
    }
    if (majorMask)
        m.filtered.insert(deviceObject);
    else
        m.filtered.erase(deviceObject);
}

size_t CKernelCapture::Poll(int timeoutMs, const Sink& sink) {
    Impl& m = *m_impl;
    m.sink = &sink;
    m.handed = 0;
    // Records come without a wake-up below the threshold: the poll's
    // timeout is the timer, and the ring is read whatever woke it.
    ring_buffer__poll(m.ring, timeoutMs);
    ring_buffer__consume(m.ring);
    m.sink = nullptr;
    const uint64_t now = NowNs();
    if (now - m.lastExpire >= kExpireEveryNs) {
        m.lastExpire = now;
        Expire(now);
    }
    return m.handed;
}

void CKernelCapture::Expire(uint64_t nowNs) {
    Impl& m = *m_impl;
    const auto limit = static_cast<uint64_t>(std::llround(m.options.expirySeconds * 1e9));
    const int requests = m.Map(m.skel->maps.requests);
    std::vector<uint64_t> old;
    uint64_t key = 0, next = 0;
    bool first = true;
    while (bpf_map_get_next_key(requests, first ? nullptr : &key, &next) == 0) {
        first = false;
        key = next;
        vantrel_pending_rq p{};
        if (bpf_map_lookup_elem(requests, &key, &p) == 0 && nowNs > p.start &&
            nowNs - p.start >= limit)
            old.push_back(key);
    }
    for (uint64_t k : old)
        if (bpf_map_delete_elem(requests, &k) == 0) ++m.expired;
    // A thread that ended inside a watched call leaves its entry behind.
    const int calls = m.Map(m.skel->maps.calls);
    std::vector<uint32_t> gone;
    uint32_t tid = 0, nextTid = 0;
    first = true;
    while (bpf_map_get_next_key(calls, first ? nullptr : &tid, &nextTid) == 0) {
        first = false;
        tid = nextTid;
        const std::string task = "/proc/" + std::to_string(tid);
        if (access(task.c_str(), F_OK) != 0) gone.push_back(tid);
    }
    for (uint32_t t : gone) bpf_map_delete_elem(calls, &t);
}

KernelCounts CKernelCapture::Counts() const {
    const Impl& m = *m_impl;
    KernelCounts counts;
    const int cpus = libbpf_num_possible_cpus();
    if (cpus > 0) {
        std::vector<uint64_t> values(static_cast<size_t>(cpus));
        const int fd = m.Map(m.skel->maps.counters);
        for (uint32_t slot : {0u, 1u}) {
            if (bpf_map_lookup_elem(fd, &slot, values.data()) != 0) continue;
            uint64_t sum = 0;
            for (uint64_t v : values) sum += v;
            (slot == 0 ? counts.dropped : counts.unfinished) += sum;
        }
    }
    counts.unfinished += m.expired;
    return counts;
}

size_t CKernelCapture::PendingRequests() const {
    const int fd = m_impl->Map(m_impl->skel->maps.requests);
    size_t n = 0;
    uint64_t key = 0, next = 0;
    bool first = true;
    while (bpf_map_get_next_key(fd, first ? nullptr : &key, &next) == 0) {
        first = false;
        key = next;
        ++n;
    }
    return n;
}

bool CKernelCapture::AddPendingRequestForTest(uint64_t key, uint64_t startNs,
                                              uint32_t deviceObject) {
    vantrel_pending_rq p{};
    p.start = startNs;
    p.device_object = deviceObject;
    return bpf_map_update_elem(m_impl->Map(m_impl->skel->maps.requests), &key, &p, BPF_ANY) == 0;
}

}  // namespace vantrel
