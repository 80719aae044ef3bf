#include "record/test_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace vantrel {
namespace {

// Little-endian byte builder for expected file contents.
struct Bytes {
    std::string s;
    Bytes& U8(uint8_t v) {
        s.push_back(static_cast<char>(v));
        return *this;
    }
    Bytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& Str(std::string_view t) {
        s.push_back(static_cast<char>(t.size()));  // short form only
        s.append(t);
        return *this;
    }
    Bytes& Raw(std::string_view t) {
        s.append(t);
        return *this;
    }
};

// A record whose every capture byte is non-zero, so that a load that skips
// or misplaces a byte shows.
CIrpRecord Patterned(uint32_t major, uint32_t minor, uint32_t seed = 1) {
    CIrpRecord r;
    IRP_CAPTURE_RECORD& c = r.GetCapture();
    c.DeviceObject = 0x81000000u + seed;
    c.MajorFunction = major;
    c.MinorFunction = minor;
    c.StartTime = 0x1122334455667788ull + seed;
    c.EndTime = 0x1122334455AA7788ull + seed;
    c.Status = 0xC0000010u ^ seed;
    for (size_t i = 0; i < rec::ParametersSize; ++i)
        c.Parameters[i] = static_cast<uint8_t>(0x40 + i + seed);
    for (size_t i = 0; i < rec::DataSize; ++i) {
        c.OutputData[i] = static_cast<uint8_t>(0x80 + i * 3 + seed);
        c.InputData[i] = static_cast<uint8_t>(0x11 + i * 5 + seed);
    }
    r.SetLatency(1.25f * static_cast<float>(seed));
    r.SetTickCount(1000 + seed);
    r.SetDescription("Disk drive");
    r.SetObjectName("\\Device\\Harddisk0\\DR0");
    return r;
}

std::string Store(const std::vector<CIrpRecord>& records, TestFileHeader h = {10, 100, 200, 0}) {
    CRecordList list;
    for (const CIrpRecord& r : records) list.Append(r);
    std::string out;
    StoreTestFile(h, list, out);
    return out;
}

bool Load(std::string_view bytes, TestFileHeader& h, CRecordList& list, std::string* error) {
    return LoadTestBytes(bytes, "t.vtl", h, list, error);
}

// The bytes of a record from its block on: record size minus the block.
size_t BlockStart(const CIrpRecord& r) {
    return StoredRecordSize(r) - StoredBlockSize(r.GetCapture());
}

TEST(TestFileFormat, EmptyTestIsTheSixteenHeaderBytes) {
    const std::string bytes = Store({}, {47, 0x01020304, 0xA0B0C0D0, 99});
    EXPECT_EQ(bytes, Bytes().U32(47).U32(0x01020304).U32(0xA0B0C0D0).U32(0).s);

    TestFileHeader h;
    CRecordList list;
    ASSERT_TRUE(Load(bytes, h, list, nullptr));
    EXPECT_EQ(h.DefaultMaxY, 47u);
    EXPECT_EQ(h.FilterStartTick, 0x01020304u);
    EXPECT_EQ(h.FilterStopTick, 0xA0B0C0D0u);
    EXPECT_EQ(h.RecordCount, 0u);
    EXPECT_TRUE(list.Empty());
}

TEST(TestFileFormat, RecordFieldsInOrder) {
    CIrpRecord r = Patterned(IRP_MJ_PNP, IRP_MN_QUERY_RESOURCES);  // no block
    r.SetLatency(-0.5f);
    r.SetDescription("ab");
    r.SetObjectName("");
    IRP_CAPTURE_RECORD& c = r.GetCapture();
    const std::string expected = Bytes()
                                     .U32(10)
                                     .U32(100)
                                     .U32(200)
                                     .U32(1)
                                     .U32(0xBF000000)  // -0.5f
                                     .U32(r.GetTickCount())
                                     .Str("ab")
                                     .Str("")
                                     .U32(c.DeviceObject)
                                     .U32(IRP_MJ_PNP)
                                     .U32(IRP_MN_QUERY_RESOURCES)
                                     .U32(static_cast<uint32_t>(c.StartTime))
                                     .U32(static_cast<uint32_t>(c.StartTime >> 32))
                                     .U32(static_cast<uint32_t>(c.EndTime))
                                     .U32(static_cast<uint32_t>(c.EndTime >> 32))
                                     .U32(c.Status)
                                     .s;
    EXPECT_EQ(Store({r}), expected);
}

TEST(TestFileFormat, StringLengthPrefixForms) {
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, std::string(1, '\0')},
        {254, "\xFE"},
        {255, std::string("\xFF\xFF\x00", 3)},
        {300, "\xFF\x2C\x01"},
        {65533, "\xFF\xFD\xFF"},
        {65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
        {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.length);
        CIrpRecord r = Patterned(IRP_MJ_CLOSE, 0);
        r.SetDescription(std::string(k.length, 'd'));
        const std::string bytes = Store({r});
        const std::string& prefix = k.prefix;
        ASSERT_EQ(bytes.substr(24, prefix.size()), prefix);
        EXPECT_EQ(bytes.size(), 16 + StoredRecordSize(r));
        EXPECT_EQ(StringPrefixSize(k.length), prefix.size());

        TestFileHeader h;
        CRecordList list;
        ASSERT_TRUE(Load(bytes, h, list, nullptr));
        EXPECT_EQ(list.AtUnlocked(0)->DescriptionView(), std::string(k.length, 'd'));
        EXPECT_EQ(list.AtUnlocked(0)->ObjectNameView(), r.ObjectNameView());
    }
}

TEST(TestFileFormat, StringsAreRawBytes) {
    CIrpRecord r = Patterned(IRP_MJ_CLOSE, 0);
    const std::string odd("\xE4\xF6\x00\xFF\x80 caf\xE9", 10);
    r.SetDescription(odd);
    r.SetObjectName(std::string("\\Device\\\xC4", 9));
    const std::string bytes = Store({r});
    EXPECT_NE(bytes.find(odd), std::string::npos);
    TestFileHeader h;
    CRecordList list;
    ASSERT_TRUE(Load(bytes, h, list, nullptr));
    EXPECT_EQ(list.AtUnlocked(0)->DescriptionView(), odd);
    EXPECT_EQ(list.AtUnlocked(0)->ObjectNameView(), std::string("\\Device\\\xC4", 9));
}

TEST(TestFileFormat, DeviceControlStoresOutputBytesFromTheSignedLength) {
    struct Case {
        uint32_t outputLength;
        size_t stored;
    };
    const Case cases[] = {{4, 4},     {4096, 200},     {0, 0},          {199, 199},
                          {200, 200}, {0xFFFFFFFF, 0}, {0x80000000, 0}, {0x7FFFFFFF, 200}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.outputLength);
        CIrpRecord r = Patterned(IRP_MJ_DEVICE_CONTROL, 0);
        r.GetCapture().SetParam32(par::OutputBufferLength, k.outputLength);
        r.GetCapture().SetParam32(par::InputBufferLength, 300);
        EXPECT_EQ(StoredBlockSize(r.GetCapture()), 16 + k.stored);

        // A second record must follow the output bytes directly.
        CIrpRecord next = Patterned(IRP_MJ_CLOSE, 0, 7);
        const std::string bytes = Store({r, next});
        const size_t block = 16 + BlockStart(r) + 16;  // after the four DWORDs
        EXPECT_EQ(bytes.substr(block - 16, 16),
                  std::string(reinterpret_cast<const char*>(r.GetCapture().Parameters), 16));
        EXPECT_EQ(bytes.substr(block, k.stored),
                  std::string(reinterpret_cast<const char*>(r.GetCapture().OutputData), k.stored));
        EXPECT_EQ(bytes.substr(block + k.stored, 4),
                  Bytes().U32(std::bit_cast<uint32_t>(next.GetLatency())).s);

        TestFileHeader h;
        CRecordList list;
        ASSERT_TRUE(Load(bytes, h, list, nullptr));
        const IRP_CAPTURE_RECORD& c = list.AtUnlocked(0)->GetCapture();
        EXPECT_EQ(c.Param32(par::OutputBufferLength), k.outputLength);
        for (size_t i = 0; i < rec::DataSize; ++i) {
            ASSERT_EQ(c.OutputData[i], i < k.stored ? r.GetCapture().OutputData[i] : 0) << i;
            ASSERT_EQ(c.InputData[i], 0) << "input bytes are never stored";
        }
        EXPECT_EQ(list.AtUnlocked(1)->GetDeviceObject(), next.GetDeviceObject());
    }
}

TEST(TestFileFormat, BlockSizesOfEveryLayout) {
    struct Case {
        uint32_t major, minor;
        size_t size;
    };
    const Case cases[] = {
        {IRP_MJ_CREATE, 5, 16},
        {IRP_MJ_READ, 0, 16},
        {IRP_MJ_WRITE, 0, 16},
        {IRP_MJ_QUERY_INFORMATION, 0, 8},
        {IRP_MJ_SET_INFORMATION, 0, 12},
        {IRP_MJ_QUERY_VOLUME_INFORMATION, 0, 8},
        {IRP_MJ_POWER, 0, 4},
        {IRP_MJ_POWER, 1, 12},
        {IRP_MJ_POWER, 2, 20},
        {IRP_MJ_POWER, 3, 20},
        {IRP_MJ_POWER, 4, 0},
        {IRP_MJ_PNP, 0x00, 8},
        {IRP_MJ_PNP, 0x07, 4},
        {IRP_MJ_PNP, 0x08, 16},
        {IRP_MJ_PNP, 0x09, 100},
        {IRP_MJ_PNP, 0x0A, 0},
        {IRP_MJ_PNP, 0x0C, 8},
        {IRP_MJ_PNP, 0x0D, 4},
        {IRP_MJ_PNP, 0x0F, 16},
        {IRP_MJ_PNP, 0x10, 16},
        {IRP_MJ_PNP, 0x12, 1},
        {IRP_MJ_PNP, 0x13, 4},
        {IRP_MJ_PNP, 0x16, 8},
        {IRP_MJ_PNP, 0x17, 0},
        {IRP_MJ_CLOSE, 0, 0},
        {IRP_MJ_INTERNAL_DEVICE_CONTROL, 0, 0},
        {0x1C, 0, 0},
        {0xFFFFFFFF, 0, 0},
        {IRP_MJ_PNP, 0x109, 0},
    };
    for (const Case& k : cases) {
        CIrpRecord r = Patterned(k.major, static_cast<uint32_t>(k.minor));
        EXPECT_EQ(StoredBlockSize(r.GetCapture()), k.size) << std::hex << k.major << "/" << k.minor;
    }
}

TEST(TestFileFormat, PnpWithoutBlockIsFollowedDirectlyByTheNextRecord) {
    CIrpRecord a = Patterned(IRP_MJ_PNP, IRP_MN_QUERY_RESOURCES, 1);
    CIrpRecord b = Patterned(IRP_MJ_READ, 0, 2);
    const std::string bytes = Store({a, b});
    const size_t aSize = 8 + 1 + 10 + 1 + 21 + 32;
    EXPECT_EQ(StoredRecordSize(a), aSize);
    EXPECT_EQ(bytes.substr(16 + aSize, 8),
              Bytes().U32(std::bit_cast<uint32_t>(b.GetLatency())).U32(1002).s);
    EXPECT_EQ(bytes.size(), 16 + aSize + StoredRecordSize(b));
}

TEST(TestFileFormat, SetPowerStoresStateTwiceAndTheSecondWins) {
    CIrpRecord r = Patterned(IRP_MJ_POWER, IRP_MN_SET_POWER);
    IRP_CAPTURE_RECORD& c = r.GetCapture();
    c.SetParam32(par::SystemContext, 0x1111);
    c.SetParam32(par::PowerType, 1);
    c.SetParam32(par::State, 4);
    c.SetParam32(par::ShutdownType, 6);
    const std::string bytes = Store({r});
    const size_t block = 16 + BlockStart(r);
    EXPECT_EQ(bytes.substr(block), Bytes().U32(0x1111).U32(1).U32(4).U32(4).U32(6).s);

    std::string edited = bytes;
    edited.replace(block + 12, 4, Bytes().U32(3).s);  // the device-state copy
    TestFileHeader h;
    CRecordList list;
    ASSERT_TRUE(Load(edited, h, list, nullptr));
    const IRP_CAPTURE_RECORD& back = list.AtUnlocked(0)->GetCapture();
    EXPECT_EQ(back.Param32(par::State), 3u);
    EXPECT_EQ(back.Param32(par::ShutdownType), 6u);
    EXPECT_EQ(back.Param32(par::PowerType), 1u);
    for (size_t i = 16; i < rec::ParametersSize; ++i) ASSERT_EQ(back.Parameters[i], 0) << i;
}

TEST(TestFileFormat, PowerSequenceValuesAtTheStartOfTheParameterArea) {
    CIrpRecord r = Patterned(IRP_MJ_POWER, IRP_MN_POWER_SEQUENCE);
    r.GetCapture().SetParam32(par::SequenceD1, 7);
    r.GetCapture().SetParam32(par::SequenceD2, 8);
    r.GetCapture().SetParam32(par::SequenceD3, 9);
    const std::string bytes = Store({r});
    EXPECT_EQ(bytes.substr(16 + BlockStart(r)), Bytes().U32(7).U32(8).U32(9).s);
    TestFileHeader h;
    CRecordList list;
    ASSERT_TRUE(Load(bytes, h, list, nullptr));
    const IRP_CAPTURE_RECORD& back = list.AtUnlocked(0)->GetCapture();
    EXPECT_EQ(back.U32At(0x20), 7u);
    EXPECT_EQ(back.U32At(0x24), 8u);
    EXPECT_EQ(back.U32At(0x28), 9u);
    EXPECT_EQ(back.U32At(0x2C), 0u);
}

TEST(TestFileFormat, CapabilityFlagWordAsTenValues) {
    CIrpRecord r = Patterned(IRP_MJ_PNP, IRP_MN_QUERY_CAPABILITIES);
    IRP_CAPTURE_RECORD& c = r.GetCapture();
    c.SetParam16(par::CapSize, 64);
    c.SetParam16(par::CapVersion, 1);
    // Spare1 = 2, LockSupported 1, Eject 0, Removable 1, Dock 0, UniqueID 1,
    // Silent 0, RawOK 1, SurpriseOK 0, Reserved 0x2ABCD.
    const uint32_t flags = 2u | 1u << 2 | 1u << 4 | 1u << 6 | 1u << 8 | 0x2ABCDu << 10;
    c.SetParam32(par::CapFlags, flags);
    const std::string bytes = Store({r});
    const size_t block = 16 + BlockStart(r);
    Bytes expected;
    expected.U16(64).U16(1).U32(2).U32(1).U32(0).U32(1).U32(0).U32(1).U32(0).U32(1).U32(0).U32(
        0x2ABCD);
    expected.Raw(std::string(reinterpret_cast<const char*>(c.Parameters + 8), 56));
    EXPECT_EQ(bytes.substr(block), expected.s);

    TestFileHeader h;
    CRecordList list;
    ASSERT_TRUE(Load(bytes, h, list, nullptr));
    EXPECT_EQ(0, std::memcmp(list.AtUnlocked(0)->GetCapture().Parameters, c.Parameters, 64));

    // A value wider than its field would lose bits: refused, naming the record.
    for (size_t value = 0; value < 10; ++value) {
        std::string bad = bytes;
        bad.replace(block + 4 + 4 * value, 4,
                    Bytes()
                        .U32(value == 0   ? 4
                             : value == 9 ? 0x400000
                                          : 2)
                        .s);
        CRecordList untouched;
        std::string error;
        EXPECT_FALSE(Load(bad, h, untouched, &error));
        EXPECT_NE(error.find("t.vtl: record 0"), std::string::npos) << error;
        EXPECT_NE(error.find("does not fit"), std::string::npos) << error;
    }
}

// Records of every layout, including unlisted ones and odd output lengths.
std::vector<CIrpRecord> EveryLayout() {
    std::vector<CIrpRecord> v;
    uint32_t seed = 1;
    for (uint32_t major = 0; major <= 0x1D; ++major) v.push_back(Patterned(major, 0, seed++));
    for (uint32_t minor = 0; minor <= 5; ++minor)
        v.push_back(Patterned(IRP_MJ_POWER, minor, seed++));
    for (uint32_t minor = 0; minor <= 0x18; ++minor)
        v.push_back(Patterned(IRP_MJ_PNP, minor, seed++));
    for (uint32_t len : {0u, 1u, 57u, 199u, 200u, 5000u, 0xFFFFFFF0u}) {
        v.push_back(Patterned(IRP_MJ_DEVICE_CONTROL, 0, seed++));
        v.back().GetCapture().SetParam32(par::OutputBufferLength, len);
    }
    v.push_back(Patterned(0xDEADBEEF, 0x1B, seed++));
    v[3].SetLatency(std::bit_cast<float>(0x7FC00123u));  // a NaN with payload
    v[4].SetDescription(std::string(300, 'x'));
    v[5].SetObjectName(std::string(70000, 'y'));
    v[6].SetDescription("");
    return v;
}

TEST(TestFileFormat, SaveLoadSaveIsByteIdenticalForEveryLayout) {
    const std::vector<CIrpRecord> records = EveryLayout();
    const std::string first = Store(records, {33, 5, 6, 0});
    TestFileHeader h;
    CRecordList list;
    ASSERT_TRUE(Load(first, h, list, nullptr));
    ASSERT_EQ(list.Size(), records.size());
    std::string second;
    StoreTestFile(h, list, second);
    EXPECT_EQ(second, first);

    for (size_t i = 0; i < records.size(); ++i) {
        const CIrpRecord& a = records[i];
        const CIrpRecord& b = *list.AtUnlocked(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(std::bit_cast<uint32_t>(b.GetLatency()), std::bit_cast<uint32_t>(a.GetLatency()));
        EXPECT_EQ(b.GetTickCount(), a.GetTickCount());
        EXPECT_EQ(b.DescriptionView(), a.DescriptionView());
        EXPECT_EQ(b.ObjectNameView(), a.ObjectNameView());
        EXPECT_EQ(b.GetDeviceObject(), a.GetDeviceObject());
        EXPECT_EQ(b.GetMajorFunction(), a.GetMajorFunction());
        EXPECT_EQ(b.GetMinorFunction(), a.GetMinorFunction());
        EXPECT_EQ(b.GetCapture().StartTime, a.GetCapture().StartTime);
        EXPECT_EQ(b.GetCapture().EndTime, a.GetCapture().EndTime);
        EXPECT_EQ(b.GetStatus(), a.GetStatus());
        // Nothing the file does not carry survives: the input bytes always
        // and the parameter bytes past the block are zero.
        for (uint8_t byte : b.GetCapture().InputData) ASSERT_EQ(byte, 0);
        const size_t block = StoredBlockSize(a.GetCapture());
        if (block <= 16) {
            for (size_t p = block; p < rec::ParametersSize; ++p)
                ASSERT_EQ(b.GetCapture().Parameters[p], 0);
            for (size_t p = 0; p < block; ++p)
                ASSERT_EQ(b.GetCapture().Parameters[p], a.GetCapture().Parameters[p]);
        }
    }
    EXPECT_EQ(list.AtUnlocked(0)->DescriptionText().view().data(),
              list.AtUnlocked(1)->DescriptionText().view().data())
        << "loaded records share the texts of one device object";
}

TEST(TestFileLoad, TruncationAtEveryByteFailsAndLeavesTheListAlone) {
    std::vector<CIrpRecord> records;
    records.push_back(Patterned(IRP_MJ_READ, 0, 1));
    records.push_back(Patterned(IRP_MJ_DEVICE_CONTROL, 0, 2));
    records.back().GetCapture().SetParam32(par::OutputBufferLength, 9);
    records.push_back(Patterned(IRP_MJ_PNP, IRP_MN_QUERY_CAPABILITIES, 3));
    records.push_back(Patterned(IRP_MJ_POWER, IRP_MN_SET_POWER, 4));
    records.back().SetDescription(std::string(260, 'L'));
    const std::string bytes = Store(records);

    CRecordList list;
    list.Append(Patterned(IRP_MJ_CLOSE, 0, 99));
    TestFileHeader h{1, 2, 3, 4};
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::string error;
        ASSERT_FALSE(Load(std::string_view(bytes).substr(0, n), h, list, &error)) << n;
        ASSERT_EQ(error.rfind("t.vtl: ", 0), 0u) << error;
        if (n >= 16) {
            ASSERT_NE(error.find("record "), std::string::npos) << error;
        }
        ASSERT_EQ(list.Size(), 1u);
        ASSERT_EQ(list.AtUnlocked(0)->GetDeviceObject(), 0x81000000u + 99);
        ASSERT_EQ(h.DefaultMaxY, 1u);
    }
    std::string error;
    EXPECT_TRUE(Load(bytes, h, list, &error)) << error;
    EXPECT_EQ(list.Size(), records.size());
}

TEST(TestFileLoad, BadCountsAndStringsNameTheProblem) {
    const std::string good = Store({Patterned(IRP_MJ_READ, 0), Patterned(IRP_MJ_CLOSE, 0)});
    TestFileHeader h;
    CRecordList list;
    std::string error;

    // A count far beyond the data is refused before anything is read.
    std::string huge = good;
    huge.replace(12, 4, Bytes().U32(0xFFFFFFFF).s);
    EXPECT_FALSE(Load(huge, h, list, &error));
    EXPECT_NE(error.find("record count 4294967295 is larger than the data"), std::string::npos)
        << error;

    // One more record than present: fails at that record.
    std::string more = good;
    more.replace(12, 4, Bytes().U32(3).s);
    more += std::string(42, '\0');  // enough bytes to pass the first check, not a whole record
    more.resize(more.size() - 1);
    EXPECT_FALSE(Load(more, h, list, &error));
    EXPECT_NE(error.find("record 2"), std::string::npos) << error;

    // Fewer records than present would drop data: refused.
    std::string fewer = good;
    fewer.replace(12, 4, Bytes().U32(1).s);
    EXPECT_FALSE(Load(fewer, h, list, &error));
    EXPECT_NE(error.find("bytes follow the last record"), std::string::npos) << error;

    // A string length running past the end.
    std::string longString = Bytes().U32(0).U32(0).U32(0).U32(1).U32(0).U32(0).s;
    longString += std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 7) + std::string(40, 'a');
    EXPECT_FALSE(Load(longString, h, list, &error));
    EXPECT_NE(error.find("record 0"), std::string::npos) << error;
    EXPECT_NE(error.find("description's length 2147483647 runs past the end"), std::string::npos)
        << error;

    // The wide-string marker.
    std::string wide = Bytes().U32(0).U32(0).U32(0).U32(1).U32(0).U32(0).s;
    wide += std::string("\x00\xFF\xFE\xFF", 4) + std::string(60, 'a');
    EXPECT_FALSE(Load(wide, h, list, &error));
    EXPECT_NE(error.find("object name is marked as a wide-character string"), std::string::npos)
        << error;
    EXPECT_TRUE(list.Empty());
}

TEST(TestFileLoad, LongPrefixForShortStringsIsAccepted) {
    // The long length forms are accepted for any length; storing again uses
    // the shortest.
    std::string bytes = Bytes().U32(0).U32(0).U32(0).U32(1).U32(0).U32(0).s;
    bytes += std::string("\xFF\x02\x00hi\xFF\xFF\xFF\x01\x00\x00\x00n", 13);
    bytes += Bytes().U32(1).U32(IRP_MJ_CLOSE).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).s;
    TestFileHeader h;
    CRecordList list;
    std::string error;
    ASSERT_TRUE(Load(bytes, h, list, &error)) << error;
    EXPECT_EQ(list.AtUnlocked(0)->DescriptionView(), "hi");
    EXPECT_EQ(list.AtUnlocked(0)->ObjectNameView(), "n");
}

TEST(TestFileIo, StoreAndLoadThroughFiles) {
    const testing::ScratchDir scratch("test_file");
    const std::filesystem::path& dir = scratch.Path();
    const std::string path = (dir / "a.vtl").string();
    CRecordList list;
    for (const CIrpRecord& r : EveryLayout()) list.Append(r);
    std::string error;
    ASSERT_TRUE(StoreTestFile(path, {12, 3, 4, 0}, list, &error)) << error;
    std::string inMemory;
    StoreTestFile({12, 3, 4, 0}, list, inMemory);
    EXPECT_EQ(std::filesystem::file_size(path), inMemory.size());

    TestFileHeader h;
    CRecordList back;
    ASSERT_TRUE(LoadTestFile(path, h, back, &error)) << error;
    EXPECT_EQ(back.Size(), list.Size());
    EXPECT_EQ(h.DefaultMaxY, 12u);

    EXPECT_FALSE(LoadTestFile((dir / "missing.vtl").string(), h, back, &error));
    EXPECT_NE(error.find("missing.vtl: cannot open"), std::string::npos) << error;
    EXPECT_EQ(back.Size(), list.Size());
    EXPECT_FALSE(StoreTestFile(dir.string(), h, list, &error));
    EXPECT_NE(error.find(": is a directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace vantrel
