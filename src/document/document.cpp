#include "document/document.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "capture/log_file.h"
#include "document/string_table.h"
#include "platform/tick.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

constexpr char kTestFileFilter[] = "Vantrel Files (*.vtl)|*.vtl||";
constexpr char kTestFileExtension[] = ".vtl";

// The dialog's text-to-integer rule: leading blanks and a sign, digits up
// to the first non-digit, no digits give 0; values beyond long saturate.
long long DialogInteger(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::string FileTitle(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

CVantrelDoc::CVantrelDoc(DocumentServices services)
    : m_services(std::move(services)),
      m_clock(m_services.clock ? *m_services.clock : SystemClock()),
      m_view(m_services.view),
      m_link(m_services.debugOutput) {
    IResultsSink& results = *m_services.results;
    IResultsSink& notices = m_services.notices ? *m_services.notices : results;
    PipelineHooks hooks;
    hooks.devices = &m_directory;
    hooks.handToDriver = [this](uint32_t eventHandle, uint32_t ringHandle) {
        m_link.SendSetMode(eventHandle);
        m_link.SendInitBuff(ringHandle);
    };
    hooks.onDeviceControl = [this](uint32_t code, std::string_view name, uint64_t generation) {
        // Only the first of each (code, object) per generation goes out: the
        // selector keeps one entry per pair, and the GUI thread is spared a
        // message per record.
        if (generation != m_seenGeneration) {
            m_seenGeneration = generation;
            m_seenIoctls.clear();
        }
        for (const auto& [c, n] : m_seenIoctls)
            if (c == code && n == name) return;
        m_seenIoctls.emplace_back(code, std::string(name));
        View().OnIoctlSeen(code, name, generation);
    };
    hooks.onMaxYGrown = [this](int32_t maxY) { View().OnMaxYGrown(maxY); };
    hooks.formatNew = m_services.formatNew;
    hooks.clock = &m_clock;
    hooks.debug = m_services.debugOutput;
    m_pipeline =
        std::make_unique<CCapturePipeline>(PipelineParts{m_records, m_state, m_axes, m_selection,
                                                         m_templates, results, notices, m_ring},
                                           std::move(hooks));
    m_filters = std::make_unique<CFilterControl>(
        m_link, m_state, [this](std::string_view text) { m_pipeline->AppendNotice(text); });
    m_catalogue.SetTemplatePublisher(
        [this](std::shared_ptr<const CTemplateSnapshot> t) { m_templates.Set(std::move(t)); });
    m_title = UntitledTitle();
}

std::string CVantrelDoc::UntitledTitle() const {
    std::string title(LoadString(IDS_APP_NAME));
    if (!m_services.driverHost.empty()) title += " - " + m_services.driverHost;
    return title;
}

CVantrelDoc::~CVantrelDoc() {
    m_pipeline.reset();  // the threads end before anything they use goes
    if (m_settingsRead && m_services.settings) {
        DocumentSettings values;
        values.ShowAllDevices = m_state.ShowAllDevices() ? 1 : 0;
        values.OutputFlags = m_state.OutputFlags();
        WriteDocumentSettings(values, *m_services.settings);
    }
    m_link.Close();
    m_catalogue.Close();
}

void CVantrelDoc::Message(uint32_t id) {
    m_services.prompts->MessageById(id, BoxIcon::None);
}

bool CVantrelDoc::OnNewDocument() {
    if (!m_link.OpenDriver(m_services.openDriver)) {
        m_services.prompts->MessageById(IDS_DRIVER_NOT_LOADED, BoxIcon::Error);
        return false;
    }
    m_link.SendSetupFilters();
    m_link.SendProcSpeed();
    m_pipeline->SetProcessorSpeed(m_link.ProcessorSpeed());
    if (!OpenCatalogue()) {
        m_link.Close();
        return false;
    }
    if (m_services.settings) {
        const DocumentSettings values = ReadDocumentSettings(*m_services.settings);
        m_state.SetShowAllDevices(values.ShowAllDevices != 0);
        m_state.SetOutputFlags(values.OutputFlags & CDocumentState::kAllOutputFlags);
        m_settingsRead = true;
    }
    return true;
}

bool CVantrelDoc::OpenCatalogue() {
    IPrompts& prompts = *m_services.prompts;
    if (m_services.catalogue == CataloguePolicy::PathIfGiven) {
        if (m_services.cataloguePath.empty()) return true;
        std::string error;
        if (m_catalogue.Open(m_services.cataloguePath, &error)) return true;
        prompts.MessageText(error, BoxIcon::Error);
        return false;
    }
    // An engine error on the default file is not reported: the user is
    // asked for a catalogue instead.
    if (m_catalogue.Open(kCatalogueFileName)) return true;
    FileDialogRequest request;
    request.filter = kCatalogueFileFilter;
    request.defaultExtension = kCatalogueDefaultExtension;
    const std::optional<std::string> chosen = prompts.AskFile(request);
    if (!chosen) return false;
    std::string error;
    if (!m_catalogue.Open(*chosen, &error)) {
        prompts.MessageText(error, BoxIcon::Error);
        return false;
    }
    return true;
}

bool CVantrelDoc::FillDeviceList() {
    return m_devices.FillDeviceList(m_link, [this](int32_t state) {
        const uint32_t id =
            state == protocol::kEnumNoSuchDevnode ? IDS_NO_SUCH_DEVNODE : IDS_GENERAL_ERROR;
        m_services.prompts->MessageById(id, BoxIcon::None);
    });
}

std::vector<const CDeviceObjectInfo*> CVantrelDoc::RowsAt(const std::vector<size_t>& rows) const {
    std::vector<const CDeviceObjectInfo*> out;
    for (size_t i : rows)
        if (const CDeviceObjectInfo* row = m_devices.Row(i)) out.push_back(row);
    return out;
}

CVantrelDoc::AddOutcome CVantrelDoc::AddFilter(uint32_t mask, const std::vector<size_t>& rows,
                                               bool logToFile) {
    const LocalTime now = m_clock.LocalNow();
    if (mask == 0) {
        Message(IDS_NO_IRP_SELECTED);
        return AddOutcome::NoIrpSelected;
    }
    const std::vector<const CDeviceObjectInfo*> selected = RowsAt(rows);
    if (selected.empty()) {
        Message(IDS_NO_DEVICE_SELECTED);
        return AddOutcome::NoDeviceSelected;
    }
    // The log comes first: a user who wants no capture without it keeps the
    // previous results, records and filters exactly as they were.
    CLogFile::FilePtr log;
    std::string name;
    if (logToFile) {
        log = CLogFile::CreateNew(LogFileName(now), name);
        if (!log && !m_services.prompts->AskYesNo(LogFileQuestion(name), BoxIcon::Question))
            return AddOutcome::LogFileFailed;
    }
    ResetCapture();
    m_captureUnsaved = true;
    if (log) m_pipeline->Log().Start(std::move(log), name);
    m_axes.SetFilterStartTick(m_clock.TickCount());
    m_axes.SetFilterStopTick(0);
    if (!m_pipeline->IsRunning()) m_pipeline->StartCapture();
    for (const CDeviceObjectInfo* row : selected) m_filters->ApplyMask(*row, mask);
    View().OnDeviceRowsChanged();
    return AddOutcome::Added;
}

std::string CVantrelDoc::LogFileQuestion(const std::string& name) {
    return "The log file \"" + name + "\" cannot be created.\nCapture without the log file?";
}

bool CVantrelDoc::UpdateSelection(uint32_t mask, const std::vector<size_t>& rows) {
    if (mask == 0) {
        Message(IDS_NO_IRP_SELECTED);
        return false;
    }
    for (const CDeviceObjectInfo* row : RowsAt(rows)) m_filters->ApplyMask(*row, mask);
    View().OnDeviceRowsChanged();
    return true;
}

void CVantrelDoc::RemoveFilter() {
    m_axes.SetFilterStopTick(m_clock.TickCount());
    const std::string notices = m_filters->RemoveAll(m_devices);
    // The notices follow the last records of the run, and the log gets
    // every record taken before the removal, then closes.
    m_pipeline->EndFilterRun(notices, m_pipeline->Log().IsLogging());
    ShowSelectedDeviceMask();
    View().OnDeviceRowsChanged();
}

std::optional<bool> CVantrelDoc::AddRemoveFilter(uint32_t mask, const std::vector<size_t>& rows,
                                                 bool logToFile) {
    if (m_state.FilterActive()) {
        RemoveFilter();
        return false;
    }
    if (AddFilter(mask, rows, logToFile) == AddOutcome::LogFileFailed) return std::nullopt;
    return true;
}

void CVantrelDoc::ShowSelectedDeviceMask() {
    const auto row = m_state.SelectedRow();
    if (!row) return;
    if (const CDeviceObjectInfo* info = m_devices.Row(*row)) View().ShowIrpMask(info->GetIrpMask());
}

void CVantrelDoc::ShowDeviceMask(size_t row) {
    if (const CDeviceObjectInfo* info = m_devices.Row(row)) View().ShowIrpMask(info->GetIrpMask());
}

void CVantrelDoc::OnDeviceSelected(size_t row) {
    const CDeviceObjectInfo* info = m_devices.Row(row);
    if (!info) return;
    m_state.SetSelectedDevice(CDocumentState::Selection{row, info->GetDeviceObject()});
    if (!m_state.ShowAllDevices() && !m_state.FileLoaded()) View().RefreshCurrentView();
    if (m_state.FilterActive()) ShowDeviceMask(row);
}

void CVantrelDoc::New() {
    ResetCapture();
}

void CVantrelDoc::ResetCapture() {
    View().OnRecordsCleared();
    m_pipeline->ResetRecords();
    m_state.SetFileLoaded(false);
    View().OnGraphReset(m_axes.MaxX(), m_axes.MaxY());
    View().RefreshCurrentView();
    SetTitle(UntitledTitle());
    m_pathName.clear();
    m_captureUnsaved = false;
}

void CVantrelDoc::SetTitle(std::string title) {
    m_title = std::move(title);
    View().OnTitleChanged(m_title);
}

void CVantrelDoc::RefreshCurrentView() {
    View().RefreshCurrentView();
}

bool CVantrelDoc::Open() {
    if (m_state.FilterActive()) {
        Message(IDS_REMOVE_FILTER_FIRST);
        return false;
    }
    FileDialogRequest request;
    request.filter = kTestFileFilter;
    request.defaultExtension = kTestFileExtension;
    if (m_services.settings) request.initialPath = ReadTestFilePath(*m_services.settings);
    const std::optional<std::string> path = m_services.prompts->AskFile(request);
    if (!path || path->empty()) return false;
    return OpenFile(*path);
}

bool CVantrelDoc::OpenFile(const std::string& path) {
    TestFileHeader header;
    CRecordList loaded;
    std::string error;
    if (!LoadTestFile(path, header, loaded, &error)) {
        if (!std::filesystem::is_regular_file(path))
            Message(IDS_CANNOT_OPEN_FILE);
        else
            m_services.prompts->MessageText(error, BoxIcon::None);
        return false;
    }
    View().OnRecordsCleared();
    m_axes.SetMaxY(static_cast<int32_t>(header.DefaultMaxY));
    m_axes.SetFilterStartTick(header.FilterStartTick);
    m_axes.SetFilterStopTick(header.FilterStopTick);
    m_pipeline->ReplaceRecords(loaded);
    m_state.SetFileLoaded(true);
    OfferDeviceControls();
    // The graph is reset before the refresh fills it with the loaded points.
    View().OnGraphReset(CAxisDefaults::kInitialMaxX, m_axes.MaxY());
    View().RefreshCurrentView();
    SetTitle(std::string(LoadString(IDS_APP_NAME)) + " - " + FileTitle(path));
    m_pathName = std::filesystem::absolute(path).string();
    m_captureUnsaved = false;
    if (m_services.settings) WriteTestFilePath(m_pathName, *m_services.settings);
    return true;
}

void CVantrelDoc::OfferDeviceControls() {
    const uint64_t generation = m_records.Generation();
    std::set<std::pair<uint32_t, std::string>> seen;
    std::vector<std::pair<uint32_t, std::string>> offers;
    {
        CRecordList::ReadLock lock(m_records);
        for (size_t i = 0, n = lock.Size(); i < n; ++i) {
            const CIrpRecord& r = *lock.At(i);
            if (r.GetMajorFunction() != IRP_MJ_DEVICE_CONTROL) continue;
            auto key = std::make_pair(r.GetIoControlCode(), std::string(r.ObjectNameView()));
            if (seen.insert(key).second) offers.push_back(std::move(key));
        }
    }
    // Views are told with no lock held.
    for (const auto& [code, name] : offers) View().OnIoctlSeen(code, name, generation);
}

bool CVantrelDoc::SaveAs() {
    FileDialogRequest request;
    request.save = true;
    request.filter = kTestFileFilter;
    request.defaultExtension = kTestFileExtension;
    if (m_services.settings) request.initialPath = ReadTestFilePath(*m_services.settings);
    const std::optional<std::string> path = m_services.prompts->AskFile(request);
    if (!path || path->empty()) return false;
    return SaveFile(*path);
}

TestFileHeader CVantrelDoc::CurrentHeader() const {
    TestFileHeader header;
    header.DefaultMaxY = static_cast<uint32_t>(m_axes.MaxY());
    header.FilterStartTick = m_axes.FilterStartTick();
    header.FilterStopTick = m_axes.FilterStopTick();
    return header;
}

bool CVantrelDoc::SaveFile(const std::string& path) {
    std::string error;
    if (!StoreTestFile(path, CurrentHeader(), m_records, &error)) {
        Message(IDS_CANNOT_OPEN_FILE);
        return false;
    }
    SetTitle(std::string(LoadString(IDS_APP_NAME)) + " - " + FileTitle(path));
    m_pathName = std::filesystem::absolute(path).string();
    m_captureUnsaved = false;
    if (m_services.settings) WriteTestFilePath(m_pathName, *m_services.settings);
    return true;
}

std::string CVantrelDoc::KeepUnsavedCapture(std::string& error) {
    if (!m_captureUnsaved || m_records.Size() == 0) return {};
    return StoreUnsavedTest(CurrentHeader(), m_records, error);
}

CVantrelDoc::RangeTexts CVantrelDoc::ViewRangeProposal() const {
    const long long n = static_cast<long long>(m_records.Size());
    return {std::to_string(n > 1000 ? n - 1000 : 1), std::to_string(n)};
}

bool CVantrelDoc::RequestViewRange(const std::string& startText, const std::string& endText) {
    const long long start = DialogInteger(startText);
    const long long end = DialogInteger(endText);
    if (start < 1 || end < start) {
        Message(IDS_BAD_RANGE);
        return false;
    }
    const long long n = static_cast<long long>(m_records.Size());
    m_pipeline->RequestRange(static_cast<size_t>(start - 1), static_cast<size_t>(std::min(end, n)));
    return true;
}

ExportOutcome CVantrelDoc::ExportRecords(const std::string& path, ExportFormat format,
                                         ExportProgress progress, std::string* error) const {
    const RecordSelection selection = CurrentRecordSelection();
    ExportRequest request;
    request.format = format;
    request.options.inputBytesKnown = !m_state.FileLoaded();
    request.progress = std::move(progress);
    std::vector<size_t> positions;
    if (CanTakeAny(selection)) {
        CRecordList::ReadLock lock(m_records);
        positions.reserve(lock.Size());
        for (size_t i = 0, n = lock.Size(); i < n; ++i)
            if (Takes(selection, *lock.At(i))) positions.push_back(i);
    }
    request.positions = std::move(positions);
    return ExportRecordsToFile(path, m_records, request, error);
}

ExportFormat CVantrelDoc::ExportFormatForPath(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".jsonl" || extension == ".json" ? ExportFormat::JsonLines
                                                         : ExportFormat::Csv;
}

RecordSelection CVantrelDoc::CurrentRecordSelection() const {
    RecordSelection s;
    s.allDevices = m_state.ShowAllDevices() || m_state.FileLoaded();
    if (const auto selected = m_state.SelectedDevice()) s.device = selected->deviceObject;
    s.ioctlFilter = m_state.IoctlFilter();
    if (const auto ioctl = m_selection.Get()) s.ioctl = *ioctl;
    return s;
}

void CVantrelDoc::SetShowAllDevices(bool all) {
    m_state.SetShowAllDevices(all);
    View().RefreshCurrentView();
}

}  // namespace vantrel
