#pragma once
// Settings: named values under the application's key, read with defaults and
// written back by their owners, through four small functions. The key
// "Software\Corvane\Vantrel" (string 61446) maps to QSettings("Corvane",
// "Vantrel"), which on Windows is that very registry key.
//
// A value counts as missing when the key cannot be opened, the value does not
// exist or cannot be read: a number then reads as -1 and a text as empty.
// Failures never produce a message.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QSettings;

namespace vantrel {

// The framework's profile area (recent-file list, print preview), kept apart
// from the program's own settings.
inline constexpr char kProfileOrganization[] = "Local AppWizard-Generated Applications";
inline constexpr char kProfileApplication[] = "Vantrel";
inline constexpr int kRecentFileCount = 4;

// --- The store seam ------------------------------------------------------------
// The four registry functions. `subkey` is a path under the current user's
// key, "Software\<org>\<app>[\...]". Owners read and write through a store
// that their creator gives them: the desktop program's, a test's in a
// temporary folder, or none at all (the CLI).

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // The stored 32-bit value, or -1 when missing.
    virtual int32_t ReadNumber(std::string_view subkey, std::string_view name) = 0;
    // Stores a 32-bit value; false on failure (callers ignore it).
    virtual bool WriteNumber(std::string_view subkey, std::string_view name, uint32_t value) = 0;
    // The stored text, or empty when missing or longer than 255 bytes.
    virtual std::string ReadText(std::string_view subkey, std::string_view name) = 0;
    // Stores a text (up to its first NUL); false on failure (callers ignore it).
    virtual bool WriteText(std::string_view subkey, std::string_view name,
                           std::string_view text) = 0;
};

// Settings through QSettings. An empty folder: the platform's own place (the
// registry on Windows, the user's configuration folder elsewhere);
// otherwise an INI file per application under that folder.
class CQtSettingsStore final : public ISettingsStore {
public:
    explicit CQtSettingsStore(std::string folder = {});
    int32_t ReadNumber(std::string_view subkey, std::string_view name) override;
    bool WriteNumber(std::string_view subkey, std::string_view name, uint32_t value) override;
    std::string ReadText(std::string_view subkey, std::string_view name) override;
    bool WriteText(std::string_view subkey, std::string_view name, std::string_view text) override;
    // The framework's profile area beside the program's settings.
    std::unique_ptr<QSettings> OpenFrameworkProfile() const;
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

// Reads nothing (every value missing) and writes nothing.
class CNoSettingsStore final : public ISettingsStore {
public:
    int32_t ReadNumber(std::string_view, std::string_view) override { return -1; }
    bool WriteNumber(std::string_view, std::string_view, uint32_t) override { return false; }
    std::string ReadText(std::string_view, std::string_view) override { return {}; }
    bool WriteText(std::string_view, std::string_view, std::string_view) override { return false; }
};

// --- Values and defaults -------------------------------------------------------

namespace setting {
inline constexpr char kAutoUpdate[] = "AutoUpdate";
inline constexpr char kLogToFile[] = "LogToFile";
inline constexpr char kFilter[] = "filter";
inline constexpr char kParams[] = "params";
inline constexpr char kPath[] = "path";
inline constexpr char kLeft[] = "left";
inline constexpr char kTop[] = "top";
inline constexpr char kRight[] = "right";
inline constexpr char kBottom[] = "bottom";
inline constexpr char kShowCmd[] = "showCmd";
inline constexpr char kMinX[] = "minx";
inline constexpr char kMinY[] = "miny";
inline constexpr char kMaxX[] = "maxx";
inline constexpr char kMaxY[] = "maxy";
inline constexpr char kFlags[] = "flags";
inline constexpr char kXOffset[] = "xoffset";
inline constexpr char kYOffset[] = "yoffset";

inline constexpr int32_t kDefaultAutoUpdate = 1;
inline constexpr int32_t kDefaultLogToFile = 0;
inline constexpr int32_t kDefaultFilter = 1;   // all devices
inline constexpr int32_t kDefaultParams = 63;  // all six output fields
inline constexpr int32_t kDefaultXOffset = 260;
inline constexpr int32_t kDefaultYOffset = 300;
}  // namespace setting

// The application's key (string 61446), loaded for each use.
std::string ApplicationKey();

// -1 (missing) becomes the default; any other value is kept.
inline int32_t OrDefault(int32_t value, int32_t fallback) {
    return value == -1 ? fallback : value;
}

// Main frame: "AutoUpdate" and "LogToFile".
struct FrameSettings {
    int32_t AutoUpdate = setting::kDefaultAutoUpdate;  // non-zero: on
    int32_t LogToFile = setting::kDefaultLogToFile;
};
// Reads "AutoUpdate", then "LogToFile".
FrameSettings ReadFrameSettings(ISettingsStore& store);
// Writes "LogToFile", then "AutoUpdate".
void WriteFrameSettings(const FrameSettings& values, ISettingsStore& store);

// Document: "filter" (ShowAllDevices) and "params" (OutputFlags).
struct DocumentSettings {
    int32_t ShowAllDevices = setting::kDefaultFilter;
    uint32_t OutputFlags = setting::kDefaultParams;
};
// Reads "filter", then "params".
DocumentSettings ReadDocumentSettings(ISettingsStore& store);
// Writes "filter", then "params".
void WriteDocumentSettings(const DocumentSettings& values, ISettingsStore& store);

// "path": the test file last opened or saved; empty when none.
std::string ReadTestFilePath(ISettingsStore& store);
void WriteTestFilePath(std::string_view path, ISettingsStore& store);

// The main window's placement, laid out like the 44-byte placement record.
struct WindowPlacement {
    uint32_t length = 44;
    uint32_t flags = 0;  // WPF_SETMINPOSITION (1), WPF_RESTORETOMAXIMIZED (2)
    uint32_t showCmd = 0;
    int32_t minX = -1, minY = -1;                          // minimised position
    int32_t maxX = -1, maxY = -1;                          // maximised position
    int32_t left = -1, top = -1, right = -1, bottom = -1;  // normal rectangle
};
inline constexpr uint32_t WPF_SETMINPOSITION = 1;
inline constexpr uint32_t WPF_RESTORETOMAXIMIZED = 2;

// The flags stored on close: 2 if maximised, plus 1 if minimised.
uint32_t PlacementFlags(bool minimized, bool maximized);

struct StoredPlacement {
    WindowPlacement placement;
    int32_t xOffset = setting::kDefaultXOffset;  // device list width
    int32_t yOffset = setting::kDefaultYOffset;  // upper row height
    // False when "left", "top", "right" and "bottom" are all missing: the
    // window then takes the system's default position. The offsets apply
    // either way.
    bool stored = false;
    // "yoffset" was there (a missing one lets the window choose the height).
    bool yOffsetStored = false;
};

// Reads, in order, "minx", "miny", "maxx", "maxy", "flags", "left",
// "right", "top", "bottom", "showCmd" (flags and showCmd keep their low 16
// bits; other missing values stay -1), then "xoffset" and "yoffset" (-1
// gives 260 and 300).
StoredPlacement ReadWindowPlacement(ISettingsStore& store);
// Writes, in order, "left", "right", "top", "bottom", "showCmd", "minx",
// "miny", "maxx", "maxy", "flags", "xoffset", "yoffset".
void WriteWindowPlacement(const WindowPlacement& placement, int32_t xOffset, int32_t yOffset,
                          ISettingsStore& store);

}  // namespace vantrel
