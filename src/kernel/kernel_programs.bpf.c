// The kernel side of the kernel source: programs on the system call and
// block tracepoints that filter in the kernel and hand one event per
// finished call or request to the reader through a ring buffer.
//
// Every program exists twice: as tp_btf (cheapest, typed arguments) and as
// a raw tracepoint for kernels that do not load the first; the reader
// chooses one set before loading. Filters and settings are maps, so the
// reader changes them while the programs run.

// clang-format off
// The kernel's types first: the helpers' headers are written against them.
#include "vmlinux.h"
#include <bpf/bpf_core_read.h>
#include <bpf/bpf_helpers.h>
#include <bpf/bpf_tracing.h>
// clang-format on

#include "kernel_event.h"

char LICENSE[] SEC("license") = "GPL";

#define S_IFMT 0170000
#define S_IFCHR 0020000
#define S_IFBLK 0060000
#define KERNEL_MINOR_BITS 20
#define BLOCK_OBJECT 0x80000000u
#define OTHER_NODES_OBJECT 0xFFFFFFF2u
#define CREAT_FLAGS 01101  // O_CREAT | O_WRONLY | O_TRUNC
#define REQ_OP_BITS 0xff

#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_READ 0x03
#define IRP_MJ_WRITE 0x04
#define IRP_MJ_FLUSH_BUFFERS 0x09
#define IRP_MJ_DEVICE_CONTROL 0x0E
#define IRP_MJ_CLEANUP 0x12

enum { COUNT_DROPPED = 0, COUNT_TABLE_FULL = 1, COUNT_SLOTS = 2 };

struct {
    __uint(type, BPF_MAP_TYPE_RINGBUF);
    __uint(max_entries, 8 << 20);  // the reader sets the size before loading
} events SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_ARRAY);
    __uint(max_entries, VANTREL_MAX_SYSCALL);
    __type(key, __u32);
    __type(value, struct vantrel_rule);
} rules SEC(".maps");

// Indexed by a device object's top 12 bits (block bit and major): non-zero
// when some device of that type and major is filtered.
struct {
    __uint(type, BPF_MAP_TYPE_ARRAY);
    __uint(max_entries, 4096);
    __type(key, __u32);
    __type(value, __u32);
} majors SEC(".maps");

// Device object -> the majors wanted on it.
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, 4096);
    __type(key, __u32);
    __type(value, __u32);
} devices SEC(".maps");

// The device objects the device list offered; the rest are "other" nodes.
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, 16384);
    __type(key, __u32);
    __type(value, __u8);
} known SEC(".maps");

struct ioctl_size {
    __u32 in;
    __u32 out;
};

// Requests whose code carries no size bits: their buffer sizes.
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, 256);
    __type(key, __u32);
    __type(value, struct ioctl_size);
} ioctl_sizes SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, 1024);
    __type(key, __u32);
    __type(value, __u8);
} pids SEC(".maps");

// Calls between entry and exit, by thread.
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, 16384);
    __type(key, __u32);
    __type(value, struct vantrel_event);
} calls SEC(".maps");

// Block requests between issue and completion, by request pointer.
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, 16384);  // the reader may change it before loading
    __type(key, __u64);
    __type(value, struct vantrel_pending_rq);
} requests SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, COUNT_SLOTS);
    __type(key, __u32);
    __type(value, __u64);
} counters SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, 1);
    __type(key, __u32);
    __type(value, struct vantrel_event);
} scratch SEC(".maps");

struct vantrel_config settings = {};

static __always_inline void count(__u32 slot) {
    __u64* n = bpf_map_lookup_elem(&counters, &slot);
    if (n) *n += 1;
}

// Records go without a wake-up; the reader polls on a timer and is woken
// only when the ring fills past its threshold.
static __always_inline __u64 wake_flags(void) {
    return bpf_ringbuf_query(&events, BPF_RB_AVAIL_DATA) >= settings.wake_threshold
               ? BPF_RB_FORCE_WAKEUP
               : BPF_RB_NO_WAKEUP;
}

static __always_inline int process_wanted(void) {
    if (settings.pid_filter) {
        __u32 tgid = bpf_get_current_pid_tgid() >> 32;
        if (!bpf_map_lookup_elem(&pids, &tgid)) return 0;
    }
    if (settings.comm_filter) {
        char comm[16];
        bpf_get_current_comm(comm, sizeof comm);
        for (int i = 0; i < 16; i++) {
            if (comm[i] != settings.comm[i]) return 0;
            if (!comm[i]) break;
        }
    }
    return 1;
}

// A 32-bit program's system calls have numbers of their own, which the
// rule table does not describe: they are not watched.
#define TS_COMPAT 0x0002
static __always_inline int compat_call(void) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    if (!bpf_core_field_exists(task->thread_info.status)) return 0;
    return BPF_CORE_READ(task, thread_info.status) & TS_COMPAT;
}

static __always_inline __u32 device_object(int block, __u32 major, __u32 minor) {
    return (block ? BLOCK_OBJECT : 0) | ((major & 0x7FF) << 20) | (minor & 0xFFFFF);
}

// The majors wanted on a device object (0: none), which may become the
// "other device nodes" object.
static __always_inline __u32 wanted_on(__u32* object) {
    __u32 index = *object >> 20;
    __u32* any = bpf_map_lookup_elem(&majors, &index);
    __u32 other = settings.other_mask;
    if ((!any || !*any) && !other) return 0;
    __u32* mask = bpf_map_lookup_elem(&devices, object);
    if (mask) return *mask;
    if (!other || bpf_map_lookup_elem(&known, object)) return 0;
    *object = OTHER_NODES_OBJECT;
    return other;
}

// The device object of a descriptor of the current thread, 0 when it is
// not a character or block device node. `block` says which.
static __always_inline __u32 descriptor_object(__u64 fd, int* block) {
    struct task_struct* task = (struct task_struct*)bpf_get_current_task();
    struct fdtable* fdt = BPF_CORE_READ(task, files, fdt);
    if (!fdt || fd >= BPF_CORE_READ(fdt, max_fds)) return 0;
    struct file** table = BPF_CORE_READ(fdt, fd);
    struct file* file = NULL;
    bpf_probe_read_kernel(&file, sizeof file, &table[fd]);
    if (!file) return 0;
    struct inode* inode = BPF_CORE_READ(file, f_inode);
    if (!inode) return 0;
    __u32 mode = BPF_CORE_READ(inode, i_mode) & S_IFMT;
    if (mode != S_IFCHR && mode != S_IFBLK) return 0;
    __u32 rdev = BPF_CORE_READ(inode, i_rdev);
    *block = mode == S_IFBLK;
    return device_object(*block, rdev >> KERNEL_MINOR_BITS, rdev & ((1u << KERNEL_MINOR_BITS) - 1));
}

static __always_inline __u64 arg_of(struct pt_regs* regs, int n) {
    switch (n) {
        case 0:
            return BPF_CORE_READ(regs, di);
        case 1:
            return BPF_CORE_READ(regs, si);
        case 2:
            return BPF_CORE_READ(regs, dx);
        case 3:
            return BPF_CORE_READ(regs, r10);
        case 4:
            return BPF_CORE_READ(regs, r8);
        case 5:
            return BPF_CORE_READ(regs, r9);
    }
    return 0;
}

static __always_inline __u32 major_bits(const struct vantrel_rule* rule) {
    if (rule->call == VANTREL_CALL_CLOSE) return (1u << IRP_MJ_CLEANUP) | (1u << IRP_MJ_CLOSE);
    return 1u << rule->major;
}

// The bytes to copy into a data field, clamped in the register the copy
// uses, so that the verifier sees the bound.
static __always_inline __u64 clamp_data(__u64 n) {
    asm volatile("if %[n] <= %[max] goto +1\n\t%[n] = %[max]\n"
                 : [n] "+r"(n)
                 : [max] "i"(VANTREL_DATA_SIZE));
    return n;
}

static __always_inline int on_enter(struct pt_regs* regs, long id) {
    if (id < 0 || id >= VANTREL_MAX_SYSCALL) return 0;
    __u32 nr = id;
    struct vantrel_rule* rule = bpf_map_lookup_elem(&rules, &nr);
    if (!rule || rule->call == VANTREL_CALL_NONE) return 0;
    __u32 object = 0;
    __u64 fd = 0;
    if (rule->call != VANTREL_CALL_OPEN) {
        int block = 0;
        fd = arg_of(regs, rule->fd_arg);
        object = descriptor_object(fd, &block);
        if (!object) return 0;
        // A block node's data and flushes come from the block layer.
        if (block && (rule->call == VANTREL_CALL_TRANSFER || rule->major == IRP_MJ_FLUSH_BUFFERS))
            return 0;
        if (!(wanted_on(&object) & major_bits(rule))) return 0;
    }
    // An open is judged at exit, by the descriptor it returns.
    if (compat_call() || !process_wanted()) return 0;
    // A thread's entry stays from call to call (the reader removes those of
    // threads that are gone): the call is written in place, without a copy
    // of the whole event or a new hash entry each time.
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct vantrel_event* e = bpf_map_lookup_elem(&calls, &tid);
    if (!e) {
        __u32 zero = 0;
        struct vantrel_event* blank = bpf_map_lookup_elem(&scratch, &zero);
        if (!blank) return 0;
        blank->kind = 0;
        if (bpf_map_update_elem(&calls, &tid, blank, BPF_NOEXIST)) {
            count(COUNT_DROPPED);  // no room to follow one more thread
            return 0;
        }
        e = bpf_map_lookup_elem(&calls, &tid);
        if (!e) return 0;
    }
    e->nr = nr;
    e->device_object = object;
    e->length = 0;
    e->offset = 0;
    e->arg = 0;
    e->code = 0;
    e->in_size = 0;
    e->out_size = 0;
    e->mode = 0;
    e->fd = fd;
    e->ret = 0;
    switch (rule->call) {
        case VANTREL_CALL_OPEN:
            e->arg = rule->flags_arg < 0 ? CREAT_FLAGS : arg_of(regs, rule->flags_arg);
            e->mode = arg_of(regs, rule->mode_arg);
            break;
        case VANTREL_CALL_TRANSFER:
            if (rule->vector) {
                __u64 vectors = arg_of(regs, 1);
                __u64 n = arg_of(regs, rule->length_arg);
                __u64 total = 0;
                for (int i = 0; i < VANTREL_MAX_IOVECS; i++) {
                    if (i >= n) break;
                    struct iovec v = {};
                    if (bpf_probe_read_user(&v, sizeof v, (void*)(vectors + i * sizeof v))) break;
                    total += v.iov_len;
                }
                e->length = total;
            } else {
                e->length = arg_of(regs, rule->length_arg);
            }
            if (rule->offset_arg >= 0) e->offset = arg_of(regs, rule->offset_arg);
            break;
        case VANTREL_CALL_IOCTL: {
            __u32 code = arg_of(regs, 1);
            __u64 arg = arg_of(regs, 2);
            struct ioctl_size* known_size = bpf_map_lookup_elem(&ioctl_sizes, &code);
            if (known_size) {
                e->in_size = known_size->in;
                e->out_size = known_size->out;
            } else {
                __u32 size = (code >> 16) & 0x3FFF;
                __u32 dir = code >> 30;
                e->in_size = dir & 1 ? size : 0;
                e->out_size = dir & 2 ? size : 0;
            }
            e->code = code;
            e->arg = arg;
            __u64 n = clamp_data(e->in_size);
            if (n) bpf_probe_read_user(e->in, n, (void*)arg);
            break;
        }
        default:
            break;
    }
    e->start = bpf_ktime_get_ns();
    e->kind = VANTREL_KIND_SYSCALL;
    return 0;
}

static __always_inline int on_exit(struct pt_regs* regs, long ret) {
    __u32 tid = (__u32)bpf_get_current_pid_tgid();
    struct vantrel_event* e = bpf_map_lookup_elem(&calls, &tid);
    if (!e || e->kind != VANTREL_KIND_SYSCALL) return 0;
    __u64 end = bpf_ktime_get_ns();
    __u32 nr = e->nr;
    // A thread that ended inside a call and whose number came back to a new
    // one: the entry is not this call's.
    if (BPF_CORE_READ(regs, orig_ax) != nr) goto done;
    struct vantrel_rule* rule = bpf_map_lookup_elem(&rules, &nr);
    if (!rule) goto done;
    if (rule->call == VANTREL_CALL_OPEN) {
        // A failed open has no file to charge it to.
        if (ret < 0) goto done;
        int block = 0;
        __u32 object = descriptor_object(ret, &block);
        if (!object || !(wanted_on(&object) & (1u << IRP_MJ_CREATE))) goto done;
        e->device_object = object;
        e->fd = ret;
    }
    e->end = end;
    e->ret = ret;
    if (rule->call == VANTREL_CALL_IOCTL && ret >= 0) {
        __u64 n = clamp_data(e->out_size);
        if (n) bpf_probe_read_user(e->out, n, (void*)e->arg);
    }
    if (bpf_ringbuf_output(&events, e, sizeof *e, wake_flags())) count(COUNT_DROPPED);
done:
    e->kind = 0;
    return 0;
}

static __always_inline int on_issue(struct request* rq) {
    struct gendisk* disk = BPF_CORE_READ(rq, q, disk);
    if (!disk) return 0;
    __u32 object = device_object(1, BPF_CORE_READ(disk, major), BPF_CORE_READ(disk, first_minor));
    __u32 mask = wanted_on(&object);
    if (!mask) return 0;
    __u32 op = BPF_CORE_READ(rq, cmd_flags) & REQ_OP_BITS;
    __u32 major;
    switch (op) {
        case VANTREL_OP_READ:
            major = IRP_MJ_READ;
            break;
        case VANTREL_OP_WRITE:
            major = IRP_MJ_WRITE;
            break;
        case VANTREL_OP_FLUSH:
            major = IRP_MJ_FLUSH_BUFFERS;
            break;
        case VANTREL_OP_DISCARD:
        case VANTREL_OP_SECURE_ERASE:
        case VANTREL_OP_WRITE_ZEROES:
            major = IRP_MJ_DEVICE_CONTROL;
            break;
        default:
            return 0;
    }
    if (!(mask & (1u << major)) || !process_wanted()) return 0;
    struct vantrel_pending_rq p = {};
    p.start = bpf_ktime_get_ns();
    p.sector = BPF_CORE_READ(rq, __sector);
    p.bytes = BPF_CORE_READ(rq, __data_len);
    p.device_object = object;
    p.op = op;
    __u64 key = (__u64)rq;
    if (bpf_map_update_elem(&requests, &key, &p, BPF_ANY)) count(COUNT_TABLE_FULL);
    return 0;
}

static __always_inline int on_complete(struct request* rq, __u32 error) {
    __u64 key = (__u64)rq;
    struct vantrel_pending_rq* p = bpf_map_lookup_elem(&requests, &key);
    if (!p) return 0;
    struct vantrel_event* e = bpf_ringbuf_reserve(&events, sizeof *e, 0);
    if (!e) {
        count(COUNT_DROPPED);
    } else {
        e->start = p->start;
        e->end = bpf_ktime_get_ns();
        e->length = p->bytes;
        e->offset = p->sector * 512;
        e->arg = 0;
        e->ret = error;
        e->kind = VANTREL_KIND_BLOCK;
        e->nr = p->op;
        e->device_object = p->device_object;
        e->code = 0;
        e->in_size = 0;
        e->out_size = 0;
        e->mode = 0;
        e->fd = 0;
        bpf_ringbuf_submit(e, wake_flags());
    }
    bpf_map_delete_elem(&requests, &key);
    return 0;
}

SEC("tp_btf/sys_enter")
int BPF_PROG(vantrel_enter, struct pt_regs* regs, long id) {
    return on_enter(regs, id);
}

SEC("tp_btf/sys_exit")
int BPF_PROG(vantrel_exit, struct pt_regs* regs, long ret) {
    return on_exit(regs, ret);
}

SEC("tp_btf/block_rq_issue")
int BPF_PROG(vantrel_issue, struct request* rq) {
    return on_issue(rq);
}

SEC("tp_btf/block_rq_complete")
int BPF_PROG(vantrel_done, struct request* rq, blk_status_t error, unsigned int nr_bytes) {
    return on_complete(rq, error);
}

SEC("raw_tp/sys_enter")
int BPF_PROG(vantrel_raw_in, struct pt_regs* regs, long id) {
    return on_enter(regs, id);
}

SEC("raw_tp/sys_exit")
int BPF_PROG(vantrel_raw_out, struct pt_regs* regs, long ret) {
    return on_exit(regs, ret);
}

SEC("raw_tp/block_rq_issue")
int BPF_PROG(vantrel_raw_iss, struct request* rq) {
    return on_issue(rq);
}

SEC("raw_tp/block_rq_complete")
int BPF_PROG(vantrel_raw_end, struct request* rq, blk_status_t error, unsigned int nr_bytes) {
    return on_complete(rq, error);
}
