#include "record/irp_record.h"

#include <algorithm>

namespace vantrel {
namespace {

constexpr size_t kLengthSize = sizeof(uint32_t);

uint32_t TextLength(std::string_view s) {
    return static_cast<uint32_t>(std::min<size_t>(s.size(), UINT32_MAX));
}

// Uninitialised bytes; released with delete[] at once (make_shared of an
// array destroys its elements one by one, which instrumented builds do not
// optimise away).
std::shared_ptr<char[]> NewBlock(size_t bytes) {
    return std::shared_ptr<char[]>(new char[bytes]);
}

void WriteText(char* at, std::string_view s, uint32_t n) {
    std::memcpy(at, &n, kLengthSize);
    if (n) std::memcpy(at + kLengthSize, s.data(), n);
}

}  // namespace

CText::CText(std::string_view s) {
    if (s.empty()) return;
    const uint32_t n = TextLength(s);
    std::shared_ptr<char[]> block = NewBlock(kLengthSize + n);
    const char* at = block.get();
    WriteText(block.get(), s, n);
    m_p = std::shared_ptr<const char>(std::move(block), at);
}

CText CTextArena::Add(std::string_view s) {
    if (s.empty()) return CText();
    const uint32_t n = TextLength(s);
    const size_t need = kLengthSize + n;
    if (need > kMaxBlock / 4) return CText(s);  // a long text keeps its own block
    if (m_size - m_used < need) {
        m_size = std::max(need, m_size ? std::min(2 * m_size, kMaxBlock) : kFirstBlock);
        m_block = NewBlock(m_size);
        m_used = 0;
    }
    char* at = m_block.get() + m_used;
    WriteText(at, s, n);
    m_used += need;
    return CText(std::shared_ptr<const char>(m_block, at));
}

float ComputeLatency(uint64_t startTime, uint64_t endTime, uint32_t processorSpeed) {
    if (processorSpeed == 0) return 0.0f;
    const int64_t ticks = static_cast<int64_t>(endTime - startTime);
    const float micro =
        static_cast<float>(ticks) / static_cast<float>(static_cast<int32_t>(processorSpeed));
    return micro * 0.001f;
}

}  // namespace vantrel
