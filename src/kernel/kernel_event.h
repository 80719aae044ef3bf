#pragma once
// What the kernel programs and the reader share: the rule table's entries,
// the filter maps' layout and the event each program hands over through the
// ring buffer. Plain C with fixed-width kernel types, included by both sides.

#define VANTREL_DATA_SIZE 200
#define VANTREL_MAX_SYSCALL 512
#define VANTREL_MAX_IOVECS 16

// What a system call is, for the programs (the reader's table decides).
enum vantrel_call {
    VANTREL_CALL_NONE = 0,
    VANTREL_CALL_OPEN = 1,      // the returned descriptor is the file
    VANTREL_CALL_CLOSE = 2,     // the descriptor is resolved at entry
    VANTREL_CALL_TRANSFER = 3,  // read or write family
    VANTREL_CALL_IOCTL = 4,
    VANTREL_CALL_PLAIN = 5,  // one request with fixed parameters (flush, query, set, lock)
};

// One system call number's rule; arguments are numbered 0-5, -1 for none.
struct vantrel_rule {
    __u8 call;
    __u8 major;
    __s8 fd_arg;
    __s8 length_arg;
    __s8 offset_arg;
    __u8 vector;
    __s8 flags_arg;
    __s8 mode_arg;
};

// Settings the reader changes while the programs run.
struct vantrel_config {
    __u32 other_mask;      // the majors wanted on device nodes not enumerated
    __u32 pid_filter;      // only the processes in the pids map
    __u32 comm_filter;     // only threads whose name is `comm`
    __u32 wake_threshold;  // bytes unread above which the reader is woken
    char comm[16];
};

enum vantrel_kind {
    VANTREL_KIND_SYSCALL = 1,
    VANTREL_KIND_BLOCK = 2,
};

// The block layer's operations the source records.
enum vantrel_block_op {
    VANTREL_OP_READ = 0,
    VANTREL_OP_WRITE = 1,
    VANTREL_OP_FLUSH = 2,
    VANTREL_OP_DISCARD = 3,
    VANTREL_OP_SECURE_ERASE = 5,
    VANTREL_OP_WRITE_ZEROES = 9,
};

// A block request between issue and completion.
struct vantrel_pending_rq {
    __u64 start;
    __u64 sector;
    __u32 bytes;
    __u32 device_object;
    __u32 op;
    __u32 pad;
};

// One finished call or request.
struct vantrel_event {
    __u64 start;
    __u64 end;
    __u64 length;  // bytes asked for (block: the request's bytes)
    __u64 offset;  // explicit offset (block: sector * 512)
    __u64 arg;     // ioctl: its argument; open: the flags
    __s64 ret;     // the call's return value, or -errno; block: the status
    __u32 kind;
    __u32 nr;             // system call number; block: the operation
    __u32 device_object;  // as the device list numbers it
    __u32 code;           // ioctl request
    __u32 in_size;        // ioctl: input bytes the request carries
    __u32 out_size;       // ioctl: output bytes the request carries
    __u32 mode;           // open: the mode argument
    __u32 fd;             // the descriptor
    __u8 in[VANTREL_DATA_SIZE];
    __u8 out[VANTREL_DATA_SIZE];
};
