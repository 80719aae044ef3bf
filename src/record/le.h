#pragma once
// Little-endian loads and stores on byte buffers, independent of the host
// order, and cursors that move on by what they read or write. Every wire
// format of the program (driver buffers, ring slots, test files, template
// buffers) is read and written through these, never by casting structs.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrel::le {

inline uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t U64(const uint8_t* p) {
    return static_cast<uint64_t>(U32(p)) | (static_cast<uint64_t>(U32(p + 4)) << 32);
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Writes at a cursor into a buffer the caller has sized.
struct Writer {
    uint8_t* p;

    void U16(uint16_t v) {
        Put16(p, v);
        p += 2;
    }
    void U32(uint32_t v) {
        Put32(p, v);
        p += 4;
    }
    void U64(uint64_t v) {
        Put64(p, v);
        p += 8;
    }
    void Bytes(const void* src, size_t n) {
        if (n) std::memcpy(p, src, n);  // an empty source may have no data pointer
        p += n;
    }
};

// Reads at a cursor; the caller checks that the bytes are there.
struct Reader {
    const uint8_t* p;

    uint8_t U8() { return *p++; }
    uint16_t U16() {
        const uint16_t v = le::U16(p);
        p += 2;
        return v;
    }
    uint32_t U32() {
        const uint32_t v = le::U32(p);
        p += 4;
        return v;
    }
    uint64_t U64() {
        const uint64_t v = le::U64(p);
        p += 8;
        return v;
    }
    void Bytes(void* dst, size_t n) {
        if (n) std::memcpy(dst, p, n);
        p += n;
    }
};

}  // namespace vantrel::le
