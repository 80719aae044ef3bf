#include "document/settings.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <limits>
#include <optional>

#include "document/string_table.h"

namespace vantrel {
namespace {

QString FromBytes(std::string_view s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

// QSettings for organisation/application, in the chosen folder.
std::unique_ptr<QSettings> Open(const std::string& folder, const QString& organization,
                                const QString& application) {
    if (folder.empty()) {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           organization, application);
    }
    const QString file = FromBytes(folder) + '/' + organization + '/' + application + ".ini";
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

// "Software\<org>\<app>[\<group>...]" opened at its group; null when the
// subkey has another form.
std::unique_ptr<QSettings> OpenSubkey(const std::string& folder, std::string_view subkey) {
    const QStringList parts = FromBytes(subkey).split('\\', Qt::SkipEmptyParts);
    if (parts.size() < 3 || parts[0].compare("Software", Qt::CaseInsensitive) != 0) return nullptr;
    std::unique_ptr<QSettings> settings = Open(folder, parts[1], parts[2]);
    if (parts.size() > 3) settings->beginGroup(parts.mid(3).join('/'));
    return settings;
}

// A value name may not contain a key separator.
bool ValidName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos;
}

std::optional<QVariant> ReadValue(const std::string& folder, std::string_view subkey,
                                  std::string_view name) {
    if (!ValidName(name)) return std::nullopt;
    std::unique_ptr<QSettings> settings = OpenSubkey(folder, subkey);
    if (!settings || settings->status() != QSettings::NoError) return std::nullopt;
    QVariant value = settings->value(FromBytes(name));
    if (!value.isValid()) return std::nullopt;
    return value;
}

bool WriteValue(const std::string& folder, std::string_view subkey, std::string_view name,
                const QVariant& value) {
    if (!ValidName(name)) return false;
    std::unique_ptr<QSettings> settings = OpenSubkey(folder, subkey);
    if (!settings || !settings->isWritable()) return false;
    settings->setValue(FromBytes(name), value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

}  // namespace

CQtSettingsStore::CQtSettingsStore(std::string folder) : m_folder(std::move(folder)) {}

int32_t CQtSettingsStore::ReadNumber(std::string_view subkey, std::string_view name) {
    const std::optional<QVariant> value = ReadValue(m_folder, subkey, name);
    if (!value) return -1;
    bool ok = false;
    const qlonglong n = value->toLongLong(&ok);
    // Anything that is not a 32-bit number cannot be read as one.
    if (!ok || n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<uint32_t>::max())
        return -1;
    return static_cast<int32_t>(static_cast<uint32_t>(n));
}

bool CQtSettingsStore::WriteNumber(std::string_view subkey, std::string_view name, uint32_t value) {
    // As a signed 32-bit int: on Windows that is a REG_DWORD.
    return WriteValue(m_folder, subkey, name,
                      QVariant(static_cast<int>(static_cast<int32_t>(value))));
}

std::string CQtSettingsStore::ReadText(std::string_view subkey, std::string_view name) {
    const std::optional<QVariant> value = ReadValue(m_folder, subkey, name);
    if (!value || !value->canConvert<QString>()) return {};
    const QByteArray bytes = value->toString().toLocal8Bit();
    // The text and its terminating NUL must fit in 256 bytes.
    if (bytes.size() > 255) return {};
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool CQtSettingsStore::WriteText(std::string_view subkey, std::string_view name,
                                 std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    return WriteValue(m_folder, subkey, name, QVariant(FromBytes(text)));
}

std::unique_ptr<QSettings> CQtSettingsStore::OpenFrameworkProfile() const {
    return Open(m_folder, QString::fromLatin1(kProfileOrganization),
                QString::fromLatin1(kProfileApplication));
}

std::string ApplicationKey() {
    return std::string(LoadString(IDS_REGISTRY_KEY));
}

FrameSettings ReadFrameSettings(ISettingsStore& store) {
    FrameSettings v;
    v.AutoUpdate = OrDefault(store.ReadNumber(ApplicationKey(), setting::kAutoUpdate),
                             setting::kDefaultAutoUpdate);
    v.LogToFile = OrDefault(store.ReadNumber(ApplicationKey(), setting::kLogToFile),
                            setting::kDefaultLogToFile);
    return v;
}

void WriteFrameSettings(const FrameSettings& v, ISettingsStore& store) {
    store.WriteNumber(ApplicationKey(), setting::kLogToFile, static_cast<uint32_t>(v.LogToFile));
    store.WriteNumber(ApplicationKey(), setting::kAutoUpdate, static_cast<uint32_t>(v.AutoUpdate));
}

DocumentSettings ReadDocumentSettings(ISettingsStore& store) {
    DocumentSettings v;
    v.ShowAllDevices =
        OrDefault(store.ReadNumber(ApplicationKey(), setting::kFilter), setting::kDefaultFilter);
    v.OutputFlags = static_cast<uint32_t>(
        OrDefault(store.ReadNumber(ApplicationKey(), setting::kParams), setting::kDefaultParams));
    return v;
}

void WriteDocumentSettings(const DocumentSettings& v, ISettingsStore& store) {
    store.WriteNumber(ApplicationKey(), setting::kFilter, static_cast<uint32_t>(v.ShowAllDevices));
    store.WriteNumber(ApplicationKey(), setting::kParams, v.OutputFlags);
}

std::string ReadTestFilePath(ISettingsStore& store) {
    return store.ReadText(ApplicationKey(), setting::kPath);
}

void WriteTestFilePath(std::string_view path, ISettingsStore& store) {
    store.WriteText(ApplicationKey(), setting::kPath, path);
}

uint32_t PlacementFlags(bool minimized, bool maximized) {
    return (maximized ? WPF_RESTORETOMAXIMIZED : 0) | (minimized ? WPF_SETMINPOSITION : 0);
}

StoredPlacement ReadWindowPlacement(ISettingsStore& store) {
    StoredPlacement s;
    WindowPlacement& p = s.placement;
    auto read = [&](const char* name) { return store.ReadNumber(ApplicationKey(), name); };
    p.length = 44;
    p.minX = read(setting::kMinX);
    p.minY = read(setting::kMinY);
    p.maxX = read(setting::kMaxX);
    p.maxY = read(setting::kMaxY);
    p.flags = static_cast<uint32_t>(read(setting::kFlags)) & 0xFFFF;
    p.left = read(setting::kLeft);
    p.right = read(setting::kRight);
    p.top = read(setting::kTop);
    p.bottom = read(setting::kBottom);
    p.showCmd = static_cast<uint32_t>(read(setting::kShowCmd)) & 0xFFFF;
    s.xOffset = OrDefault(read(setting::kXOffset), setting::kDefaultXOffset);
    const int32_t yOffset = read(setting::kYOffset);
    s.yOffset = OrDefault(yOffset, setting::kDefaultYOffset);
    s.yOffsetStored = yOffset != -1;
    s.stored = !(p.left == -1 && p.top == -1 && p.right == -1 && p.bottom == -1);
    return s;
}

void WriteWindowPlacement(const WindowPlacement& p, int32_t xOffset, int32_t yOffset,
                          ISettingsStore& store) {
    auto write = [&](const char* name, int64_t v) {
        store.WriteNumber(ApplicationKey(), name, static_cast<uint32_t>(v));
    };
    write(setting::kLeft, p.left);
    write(setting::kRight, p.right);
    write(setting::kTop, p.top);
    write(setting::kBottom, p.bottom);
    write(setting::kShowCmd, p.showCmd);
    write(setting::kMinX, p.minX);
    write(setting::kMinY, p.minY);
    write(setting::kMaxX, p.maxX);
    write(setting::kMaxY, p.maxY);
    write(setting::kFlags, p.flags);
    write(setting::kXOffset, xOffset);
    write(setting::kYOffset, yOffset);
}

}  // namespace vantrel
