#include "document/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QSettings>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace vantrel {
namespace {

const char kKey[] = "Software\\Corvane\\Vantrel";

// Each test gets its own empty settings folder.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { m_store = std::make_unique<CQtSettingsStore>(m_dir.string()); }
    void TearDown() override { m_store.reset(); }
    int32_t ReadRegistryNumber(std::string_view key, std::string_view name) {
        return m_store->ReadNumber(key, name);
    }
    bool WriteRegistryNumber(std::string_view key, std::string_view name, uint32_t v) {
        return m_store->WriteNumber(key, name, v);
    }
    std::string ReadRegistryText(std::string_view key, std::string_view name) {
        return m_store->ReadText(key, name);
    }
    bool WriteRegistryText(std::string_view key, std::string_view name, std::string_view v) {
        return m_store->WriteText(key, name, v);
    }
    const testing::ScratchDir m_scratch{"settings"};
    const std::filesystem::path m_dir = m_scratch.Path();
    std::unique_ptr<CQtSettingsStore> m_store;
};

TEST_F(SettingsTest, EmptyKeyGivesEveryDefault) {
    EXPECT_EQ(ApplicationKey(), kKey);
    const FrameSettings frame = ReadFrameSettings(*m_store);
    EXPECT_EQ(frame.AutoUpdate, 1);
    EXPECT_EQ(frame.LogToFile, 0);
    const DocumentSettings doc = ReadDocumentSettings(*m_store);
    EXPECT_EQ(doc.ShowAllDevices, 1);
    EXPECT_EQ(doc.OutputFlags, 63u);
    EXPECT_EQ(ReadTestFilePath(*m_store), "");
    const StoredPlacement placement = ReadWindowPlacement(*m_store);
    EXPECT_FALSE(placement.stored);
    EXPECT_EQ(placement.xOffset, 260);
    EXPECT_EQ(placement.yOffset, 300);
    EXPECT_EQ(placement.placement.length, 44u);
    EXPECT_EQ(placement.placement.left, -1);
    EXPECT_EQ(placement.placement.minX, -1);
    EXPECT_EQ(ReadRegistryNumber(kKey, "nothing"), -1);
    EXPECT_EQ(ReadRegistryText(kKey, "nothing"), "");
}

TEST_F(SettingsTest, NumbersAndTextsRoundTrip) {
    EXPECT_TRUE(WriteRegistryNumber(kKey, "n", 0));
    EXPECT_EQ(ReadRegistryNumber(kKey, "n"), 0);
    EXPECT_TRUE(WriteRegistryNumber(kKey, "n", 0xFFFFFFFE));
    EXPECT_EQ(ReadRegistryNumber(kKey, "n"), -2);
    EXPECT_TRUE(WriteRegistryNumber(kKey, "n", 0x7FFFFFFF));
    EXPECT_EQ(ReadRegistryNumber(kKey, "n"), 0x7FFFFFFF);
    // A stored 0xFFFFFFFF cannot be told from a missing value.
    EXPECT_TRUE(WriteRegistryNumber(kKey, "n", 0xFFFFFFFF));
    EXPECT_EQ(ReadRegistryNumber(kKey, "n"), -1);

    // A value that is not a number cannot be read as one.
    EXPECT_TRUE(WriteRegistryText(kKey, "t", "abc"));
    EXPECT_EQ(ReadRegistryNumber(kKey, "t"), -1);
    EXPECT_EQ(ReadRegistryText(kKey, "t"), "abc");

    // Text up to its first NUL.
    EXPECT_TRUE(WriteRegistryText(kKey, "t", std::string_view("ab\0cd", 5)));
    EXPECT_EQ(ReadRegistryText(kKey, "t"), "ab");

    // Values live where QSettings("Corvane", "Vantrel") keeps them.
    QSettings direct(QString::fromStdString((m_dir / "Corvane" / "Vantrel.ini").string()),
                     QSettings::IniFormat);
    EXPECT_EQ(direct.value("n").toInt(), -1);
}

TEST_F(SettingsTest, TextLongerThan255ReadsAsEmpty) {
    const std::string path255(255, 'p');
    WriteTestFilePath(path255, *m_store);
    EXPECT_EQ(ReadTestFilePath(*m_store), path255);
    WriteTestFilePath(std::string(256, 'p'), *m_store);
    EXPECT_EQ(ReadTestFilePath(*m_store), "");
    for (const char* path : {"/home/u/tests/run 1.vtl", "@a, b;c=\"d\".vtl", "C:\\Tests\\x.vtl"}) {
        EXPECT_TRUE(WriteRegistryText(kKey, "path", path));
        EXPECT_EQ(ReadTestFilePath(*m_store), path);
    }
}

TEST_F(SettingsTest, MinusOneMeansDefaultForOwnersAndStaysForPlacement) {
    WriteRegistryNumber(kKey, "AutoUpdate", 0);
    WriteRegistryNumber(kKey, "LogToFile", 5);
    WriteRegistryNumber(kKey, "filter", 0);
    WriteRegistryNumber(kKey, "params", 0x11);
    WriteRegistryNumber(kKey, "xoffset", 0);
    WriteRegistryNumber(kKey, "yoffset", 0xFFFFFFFF);  // reads as -1: the default
    const FrameSettings frame = ReadFrameSettings(*m_store);
    EXPECT_EQ(frame.AutoUpdate, 0);
    EXPECT_EQ(frame.LogToFile, 5);
    const DocumentSettings doc = ReadDocumentSettings(*m_store);
    EXPECT_EQ(doc.ShowAllDevices, 0);
    EXPECT_EQ(doc.OutputFlags, 0x11u);

    // Only "left" stored: the placement counts as stored, the rest stay -1;
    // flags and showCmd keep their low 16 bits.
    WriteRegistryNumber(kKey, "left", 40);
    WriteRegistryNumber(kKey, "flags", 0xABCD0002);
    const StoredPlacement p = ReadWindowPlacement(*m_store);
    EXPECT_TRUE(p.stored);
    EXPECT_EQ(p.placement.left, 40);
    EXPECT_EQ(p.placement.top, -1);
    EXPECT_EQ(p.placement.right, -1);
    EXPECT_EQ(p.placement.maxY, -1);
    EXPECT_EQ(p.placement.flags, 2u);
    EXPECT_EQ(p.placement.showCmd, 0xFFFFu);
    EXPECT_EQ(p.xOffset, 0);
    EXPECT_EQ(p.yOffset, 300);
}

TEST_F(SettingsTest, OwnersRoundTripThroughTheRegistryStore) {
    WriteFrameSettings({0, 1}, *m_store);
    WriteDocumentSettings({0, 0x2A}, *m_store);
    WindowPlacement w;
    w.flags = PlacementFlags(false, true);
    w.showCmd = 3;
    w.minX = -32000;
    w.minY = -32000;
    w.maxX = -4;
    w.maxY = -4;
    w.left = 10;
    w.top = 20;
    w.right = 810;
    w.bottom = 620;
    WriteWindowPlacement(w, 250, 310, *m_store);
    const FrameSettings frame = ReadFrameSettings(*m_store);
    EXPECT_EQ(frame.AutoUpdate, 0);
    EXPECT_EQ(frame.LogToFile, 1);
    EXPECT_EQ(ReadDocumentSettings(*m_store).OutputFlags, 0x2Au);
    const StoredPlacement p = ReadWindowPlacement(*m_store);
    EXPECT_TRUE(p.stored);
    EXPECT_EQ(p.placement.flags, 2u);
    EXPECT_EQ(p.placement.showCmd, 3u);
    EXPECT_EQ(p.placement.minX, -32000);
    EXPECT_EQ(p.placement.bottom, 620);
    EXPECT_EQ(p.xOffset, 250);
    EXPECT_EQ(p.yOffset, 310);
    EXPECT_EQ(PlacementFlags(true, false), 1u);
    EXPECT_EQ(PlacementFlags(false, false), 0u);
}

TEST_F(SettingsTest, FailuresAreQuiet) {
    // A subkey of another form is a key that cannot be opened.
    EXPECT_FALSE(WriteRegistryNumber("Corvane", "x", 1));
    EXPECT_EQ(ReadRegistryNumber("Corvane", "x"), -1);
    EXPECT_EQ(ReadRegistryText("", "x"), "");
    // A folder that cannot hold the file: writes fail, reads give defaults.
    const auto file = m_dir / "plainfile";
    {
        FILE* f = std::fopen(file.string().c_str(), "w");
        std::fclose(f);
    }
    m_store = std::make_unique<CQtSettingsStore>(file.string());
    EXPECT_FALSE(WriteRegistryNumber(kKey, "x", 1));
    EXPECT_EQ(ReadFrameSettings(*m_store).AutoUpdate, 1);
}

// Records every access, in order.
class RecordingStore : public ISettingsStore {
public:
    int32_t ReadNumber(std::string_view subkey, std::string_view name) override {
        log.push_back("R " + std::string(name));
        EXPECT_EQ(subkey, kKey);
        return -1;
    }
    bool WriteNumber(std::string_view subkey, std::string_view name, uint32_t value) override {
        log.push_back("W " + std::string(name) + "=" + std::to_string(static_cast<int32_t>(value)));
        EXPECT_EQ(subkey, kKey);
        return true;
    }
    std::string ReadText(std::string_view, std::string_view name) override {
        log.push_back("RT " + std::string(name));
        return {};
    }
    bool WriteText(std::string_view, std::string_view name, std::string_view text) override {
        log.push_back("WT " + std::string(name) + "=" + std::string(text));
        return true;
    }
    std::vector<std::string> log;
};

TEST(SettingsOrderTest, ReadAndWriteOrders) {
    RecordingStore s;
    ReadFrameSettings(s);
    WriteFrameSettings({1, 0}, s);
    ReadDocumentSettings(s);
    WriteDocumentSettings({1, 63}, s);
    EXPECT_EQ(s.log, (std::vector<std::string>{"R AutoUpdate", "R LogToFile", "W LogToFile=0",
                                               "W AutoUpdate=1", "R filter", "R params",
                                               "W filter=1", "W params=63"}));
    s.log.clear();
    ReadWindowPlacement(s);
    EXPECT_EQ(s.log, (std::vector<std::string>{"R minx", "R miny", "R maxx", "R maxy", "R flags",
                                               "R left", "R right", "R top", "R bottom",
                                               "R showCmd", "R xoffset", "R yoffset"}));
    s.log.clear();
    WindowPlacement w;
    w.left = 1, w.right = 2, w.top = 3, w.bottom = 4, w.showCmd = 5, w.minX = 6, w.minY = 7,
    w.maxX = 8, w.maxY = 9, w.flags = 1;
    WriteWindowPlacement(w, 11, 12, s);
    EXPECT_EQ(s.log,
              (std::vector<std::string>{"W left=1", "W right=2", "W top=3", "W bottom=4",
                                        "W showCmd=5", "W minx=6", "W miny=7", "W maxx=8",
                                        "W maxy=9", "W flags=1", "W xoffset=11", "W yoffset=12"}));
}

}  // namespace
}  // namespace vantrel
