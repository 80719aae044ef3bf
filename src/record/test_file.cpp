#include "record/test_file.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unordered_map>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "platform/output_file.h"
#include "record/param_layout.h"

namespace vantrel {
namespace {

// --- Parameter blocks -------------------------------------------------------
//
// The kind and size of a record's block come from the parameter layout table.

// Codes without a layout store no block.
constexpr ParamLayout kNoBlock{"", ParamBlockKind::Prefix, 0, {}};

const ParamLayout& LayoutOf(const IRP_CAPTURE_RECORD& c) {
    const ParamLayout* layout = FindParamLayout(c.MajorFunction, c.MinorFunction);
    return layout ? *layout : kNoBlock;
}

// The bit fields of the capability flag word, low bits first: each is stored
// as a DWORD of its own.
bool IsFlagBits(const ParamField& f) {
    return f.offset == par::CapFlags && f.mask != 0xFFFFFFFFu;
}

constexpr size_t kCapsTail = rec::ParametersSize - par::CapAddress;  // Address .. D3Latency

// Longest string the DWORD length form can describe.
constexpr size_t kMaxStringLength = 0xFFFFFFFEu;

// A record's fixed part: latency, tick, two one-byte empty strings, eight
// DWORDs (device object, major, minor, two times of two halves, status).
constexpr size_t kFixedAfterStrings = 32;
constexpr size_t kMinRecordSize = 8 + 1 + 1 + kFixedAfterStrings;

// --- Writing ------------------------------------------------------------------

struct Writer : le::Writer {
    void String(std::string_view s) {
        const size_t n = s.size() > kMaxStringLength ? kMaxStringLength : s.size();
        if (n < 255) {
            *p++ = static_cast<uint8_t>(n);
        } else if (n <= 65533) {
            *p++ = 0xFF;
            U16(static_cast<uint16_t>(n));
        } else {
            *p++ = 0xFF;
            U16(0xFFFF);
            U32(static_cast<uint32_t>(n));
        }
        Bytes(s.data(), n);
    }
};

size_t BlockSize(const IRP_CAPTURE_RECORD& c) {
    const ParamLayout& layout = LayoutOf(c);
    if (layout.kind == ParamBlockKind::DeviceControl)
        return layout.storedSize + rec::DataBytes(c.Param32(par::OutputBufferLength));
    return layout.storedSize;
}

size_t StringSize(std::string_view s) {
    const size_t n = s.size() > kMaxStringLength ? kMaxStringLength : s.size();
    return StringPrefixSize(n) + n;
}

size_t RecordSize(const CIrpRecord& r) {
    return 8 + StringSize(r.DescriptionView()) + StringSize(r.ObjectNameView()) +
           kFixedAfterStrings + BlockSize(r.GetCapture());
}

void WriteRecord(const CIrpRecord& r, Writer& w) {
    const IRP_CAPTURE_RECORD& c = r.GetCapture();
    w.U32(std::bit_cast<uint32_t>(r.GetLatency()));
    w.U32(r.GetTickCount());
    w.String(r.DescriptionView());
    w.String(r.ObjectNameView());
    w.U32(c.DeviceObject);
    w.U32(c.MajorFunction);
    w.U32(c.MinorFunction);
    w.U32(static_cast<uint32_t>(c.StartTime));
    w.U32(static_cast<uint32_t>(c.StartTime >> 32));
    w.U32(static_cast<uint32_t>(c.EndTime));
    w.U32(static_cast<uint32_t>(c.EndTime >> 32));
    w.U32(c.Status);

    const ParamLayout& layout = LayoutOf(c);
    switch (layout.kind) {
        case ParamBlockKind::Prefix:
            w.Bytes(c.Parameters, layout.storedSize);
            break;
        case ParamBlockKind::DeviceControl:
            w.Bytes(c.Parameters, layout.storedSize);
            w.Bytes(c.OutputData, rec::DataBytes(c.Param32(par::OutputBufferLength)));
            break;
        case ParamBlockKind::SetPower:
            w.Bytes(c.Parameters, 12);
            w.Bytes(c.Parameters + par::State, 4);
            w.Bytes(c.Parameters + par::ShutdownType, 4);
            break;
        case ParamBlockKind::Capabilities: {
            w.Bytes(c.Parameters, par::CapFlags);  // Size, Version
            const uint32_t flags = c.Param32(par::CapFlags);
            for (const ParamField& f : layout.fields)
                if (IsFlagBits(f)) w.U32((flags >> f.shift) & f.mask);
            w.Bytes(c.Parameters + par::CapAddress, kCapsTail);
            break;
        }
    }
}

void WriteHeader(const TestFileHeader& h, uint32_t count, Writer& w) {
    w.U32(h.DefaultMaxY);
    w.U32(h.FilterStartTick);
    w.U32(h.FilterStopTick);
    w.U32(count);
}

// --- Reading ------------------------------------------------------------------

// Hands out shared texts so that the records of one device object share
// their description and name, as captured records do. New texts come from
// an arena: a file with many different texts costs few allocations.
class TextPool {
public:
    CText Get(std::string_view s, CText& last) {
        if (s.empty()) return CText();
        if (last.view() == s) return last;
        // A test holds few device objects: their texts are found in a short
        // list without hashing or allocating; the map serves the rest.
        for (size_t i = 0; i < m_fewCount; ++i) {
            if (m_few[i].view() == s) return last = m_few[i];
        }
        auto it = m_texts.find(s);
        if (it != m_texts.end()) return last = it->second;
        CText text = m_arena.Add(s);
        if (s.size() <= kMaxPooledLength) {
            if (m_fewCount < kFew)
                m_few[m_fewCount++] = text;
            else if (m_texts.size() < kMaxPooled)
                m_texts.emplace(text.view(), text);
        }
        return last = text;
    }

private:
    static constexpr size_t kFew = 16;
    static constexpr size_t kMaxPooled = 1 << 16;
    static constexpr size_t kMaxPooledLength = 4096;
    CText m_few[kFew];
    size_t m_fewCount = 0;
    std::unordered_map<std::string_view, CText> m_texts;
    CTextArena m_arena;
};

class Reader {
public:
    Reader(std::string_view bytes, std::string_view name)
        : m_begin(reinterpret_cast<const uint8_t*>(bytes.data())),
          m_in{m_begin},
          m_end(m_begin + bytes.size()),
          m_name(name) {}

    size_t Left() const { return static_cast<size_t>(m_end - m_in.p); }
    size_t Offset() const { return static_cast<size_t>(m_in.p - m_begin); }
    const std::string& Error() const { return m_error; }

    bool Header(TestFileHeader& h) {
        if (Left() < kTestFileHeaderSize) {
            m_error = Named("the file ends inside the header (" + std::to_string(Left()) +
                            " of 16 bytes)");
            return false;
        }
        h.DefaultMaxY = m_in.U32();
        h.FilterStartTick = m_in.U32();
        h.FilterStopTick = m_in.U32();
        h.RecordCount = m_in.U32();
        if (h.RecordCount > Left() / kMinRecordSize) {
            m_error = Named("the record count " + std::to_string(h.RecordCount) +
                            " is larger than the data (" + std::to_string(Left()) +
                            " bytes after the header hold at most " +
                            std::to_string(Left() / kMinRecordSize) + " records)");
            return false;
        }
        return true;
    }

    bool Record(CIrpRecord& r) {
        IRP_CAPTURE_RECORD& c = r.GetCapture();
        if (!Need(8, "the latency and tick count")) return false;
        r.SetLatency(std::bit_cast<float>(m_in.U32()));
        r.SetTickCount(m_in.U32());
        std::string_view text;
        if (!String(text, "description")) return false;
        r.SetDescription(m_pool.Get(text, m_lastDescription));
        if (!String(text, "object name")) return false;
        r.SetObjectName(m_pool.Get(text, m_lastName));
        if (!Need(kFixedAfterStrings, "the fixed fields")) return false;
        c.DeviceObject = m_in.U32();
        c.MajorFunction = m_in.U32();
        c.MinorFunction = m_in.U32();
        c.StartTime = m_in.U64();
        c.EndTime = m_in.U64();
        c.Status = m_in.U32();

        const ParamLayout& layout = LayoutOf(c);
        if (!Need(layout.storedSize, "the parameter block")) return false;
        switch (layout.kind) {
            case ParamBlockKind::Prefix:
                m_in.Bytes(c.Parameters, layout.storedSize);
                break;
            case ParamBlockKind::DeviceControl: {
                m_in.Bytes(c.Parameters, layout.storedSize);
                const size_t n = rec::DataBytes(c.Param32(par::OutputBufferLength));
                if (!Need(n, "the output data")) return false;
                m_in.Bytes(c.OutputData, n);
                break;
            }
            case ParamBlockKind::SetPower:
                m_in.Bytes(c.Parameters, 12);
                // The second State value (as device state) is the one kept.
                m_in.Bytes(c.Parameters + par::State, 4);
                m_in.Bytes(c.Parameters + par::ShutdownType, 4);
                break;
            case ParamBlockKind::Capabilities: {
                m_in.Bytes(c.Parameters, par::CapFlags);
                uint32_t flags = 0;
                for (const ParamField& f : layout.fields) {
                    if (!IsFlagBits(f)) continue;
                    const uint32_t v = m_in.U32();
                    if (v > f.mask) {
                        return Fail("capability flag value " + std::to_string(v) +
                                    " does not fit its " + std::to_string(std::popcount(f.mask)) +
                                    "-bit field");
                    }
                    flags |= v << f.shift;
                }
                c.SetParam32(par::CapFlags, flags);
                m_in.Bytes(c.Parameters + par::CapAddress, kCapsTail);
                break;
            }
        }
        return true;
    }

    void StartRecord(size_t index) {
        m_index = index;
        m_recordStart = Offset();
    }

    std::string Named(const std::string& what) const {
        std::string s(m_name);
        s += ": ";
        s += what;
        return s;
    }

    bool Fail(const std::string& what) {
        m_error = Named("record " + std::to_string(m_index) + " (at byte " +
                        std::to_string(m_recordStart) + "): " + what);
        return false;
    }

private:
    bool Need(size_t n, const char* what) {
        if (Left() >= n) return true;
        return Fail(std::string("the file ends inside ") + what);
    }

    // A length-prefixed string; the view points into the input.
    bool String(std::string_view& out, const char* field) {
        if (Left() < 1) return FailField("the file ends inside the ", field, "'s length");
        size_t n = m_in.U8();
        if (n == 0xFF) {
            if (Left() < 2) return FailField("the file ends inside the ", field, "'s length");
            n = m_in.U16();
            if (n == 0xFFFE) {
                return FailField(
                    "the ", field,
                    " is marked as a wide-character string, which test files never hold");
            }
            if (n == 0xFFFF) {
                if (Left() < 4) return FailField("the file ends inside the ", field, "'s length");
                n = m_in.U32();
            }
        }
        if (n > Left()) {
            return FailField(
                "the ", field,
                ("'s length " + std::to_string(n) + " runs past the end of the file (" +
                 std::to_string(Left()) + " bytes left)")
                    .c_str());
        }
        out = std::string_view(reinterpret_cast<const char*>(m_in.p), n);
        m_in.p += n;
        return true;
    }

    bool FailField(const char* before, const char* field, const char* after) {
        return Fail(std::string(before) + field + after);
    }

    const uint8_t* m_begin;
    le::Reader m_in;
    const uint8_t* m_end;
    std::string_view m_name;
    std::string m_error;
    size_t m_index = 0;
    size_t m_recordStart = 0;
    TextPool m_pool;
    CText m_lastDescription;
    CText m_lastName;
};

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

std::string SystemError(const std::string& path, const char* action) {
    return path + ": cannot " + action + ": " + std::generic_category().message(errno);
}

}  // namespace

size_t StringPrefixSize(size_t length) {
    if (length < 255) return 1;
    if (length <= 65533) return 3;
    return 7;
}

size_t StoredBlockSize(const IRP_CAPTURE_RECORD& capture) {
    return BlockSize(capture);
}

size_t StoredRecordSize(const CIrpRecord& record) {
    return RecordSize(record);
}

void StoreRecord(const CIrpRecord& record, std::string& out) {
    const size_t at = out.size();
    out.resize(at + RecordSize(record));
    Writer w{reinterpret_cast<uint8_t*>(out.data()) + at};
    WriteRecord(record, w);
}

void StoreTestFile(const TestFileHeader& header, const CRecordList& list, std::string& out) {
    CRecordList::ReadLock lock(list);
    const size_t count = lock.Size();
    size_t total = kTestFileHeaderSize;
    for (size_t i = 0; i < count; ++i) total += RecordSize(*lock.At(i));
    out.clear();
    out.resize(total);
    Writer w{reinterpret_cast<uint8_t*>(out.data())};
    WriteHeader(header, static_cast<uint32_t>(count), w);
    for (size_t i = 0; i < count; ++i) WriteRecord(*lock.At(i), w);
}

namespace {

// Writes the stored test to an open stream; false, errno set, on a write error.
bool WriteTestTo(std::FILE* file, const TestFileHeader& header, const CRecordList& list) {
    constexpr size_t kBufferSize = size_t{1} << 20;
    std::string buffer(kBufferSize, '\0');
    size_t used = 0;
    bool ok = true;
    auto flush = [&](const char* p, size_t n) {
        if (ok && n && std::fwrite(p, 1, n, file) != n) ok = false;
    };

    CRecordList::ReadLock lock(list);
    const size_t count = lock.Size();
    Writer w{reinterpret_cast<uint8_t*>(buffer.data())};
    WriteHeader(header, static_cast<uint32_t>(count), w);
    used = kTestFileHeaderSize;
    std::string large;
    for (size_t i = 0; i < count && ok; ++i) {
        const CIrpRecord& r = *lock.At(i);
        const size_t n = RecordSize(r);
        if (used + n > kBufferSize) {
            flush(buffer.data(), used);
            used = 0;
        }
        if (n > kBufferSize) {  // a record with a huge string
            large.resize(n);
            Writer lw{reinterpret_cast<uint8_t*>(large.data())};
            WriteRecord(r, lw);
            flush(large.data(), n);
            continue;
        }
        Writer bw{reinterpret_cast<uint8_t*>(buffer.data()) + used};
        WriteRecord(r, bw);
        used += n;
    }
    flush(buffer.data(), used);
    return ok && std::fflush(file) == 0;
}

}  // namespace

bool StoreTestFile(const std::string& path, const TestFileHeader& header, const CRecordList& list,
                   std::string* error) {
    COutputFile output;
    std::string message;
    if (!output.Claim(path, message)) {
        SetError(error, message);
        return false;
    }
    if (!WriteTestTo(output.Stream(), header, list)) {
        SetError(error, SystemError(path, "write the file"));
        return false;
    }
    if (!output.Commit(message)) {
        SetError(error, message);
        return false;
    }
    return true;
}

std::string StoreUnsavedTest(const TestFileHeader& header, const CRecordList& list,
                             std::string& error) {
#ifdef _WIN32
    const std::string name = "vantrel-unsaved-" + std::to_string(_getpid()) + ".vtl";
#else
    const std::string name = "vantrel-unsaved-" + std::to_string(::getpid()) + ".vtl";
#endif
    std::error_code ec;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(ec);
    for (const std::string& place : {name, ec ? std::string() : (temporary / name).string()}) {
        if (!place.empty() && StoreTestFile(place, header, list, &error)) return place;
    }
    if (ec) error += "; no temporary folder: " + ec.message();
    return {};
}

bool LoadTestBytes(std::string_view bytes, std::string_view nameForErrors, TestFileHeader& header,
                   CRecordList& list, std::string* error) {
    Reader reader(bytes, nameForErrors);
    TestFileHeader h;
    if (!reader.Header(h)) {
        SetError(error, reader.Error());
        return false;
    }
    CRecordList loaded;
    size_t index = 0;
    bool parsed = true;
    const size_t kept = loaded
                            .AppendMany(h.RecordCount,
                                        [&](size_t, CIrpRecord& r) {
                                            reader.StartRecord(index);
                                            parsed = reader.Record(r);
                                            ++index;
                                            return parsed;
                                        })
                            .count;
    if (!parsed) {
        SetError(error, reader.Error());
        return false;
    }
    if (kept != h.RecordCount) {
        SetError(error, reader.Named("record " + std::to_string(kept) +
                                     ": out of memory for the records"));
        return false;
    }
    if (reader.Left() != 0) {
        SetError(error,
                 reader.Named(std::to_string(reader.Left()) + " bytes follow the last record (" +
                              "record count " + std::to_string(h.RecordCount) + ")"));
        return false;
    }
    list.Swap(loaded);
    header = h;
    return true;
}

bool LoadTestFile(const std::string& path, TestFileHeader& header, CRecordList& list,
                  std::string* error) {
    std::string bytes, message;
    if (!ReadInputFile(path, kStreamInputLimit, bytes, message)) {
        SetError(error, message);
        return false;
    }
    return LoadTestBytes(bytes, path, header, list, error);
}

}  // namespace vantrel
