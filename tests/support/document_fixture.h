#pragma once
// A document for tests: a scripted or simulated driver, recording prompts,
// a recording results pane, a recording view, settings in a scratch folder
// (or none) and, unless asked, no catalogue.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "document/document.h"
#include "support/prompts_double.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"
#include "support/scripted_driver.h"
#include "support/test_services.h"

namespace vantrel::testing {

// Records what the document tells its windows (any thread).
class RecordingView final : public IDocumentView {
public:
    void RefreshCurrentView() override { Add("refresh"); }
    void OnTitleChanged(const std::string& title) override { Add("title " + title); }
    void OnDeviceRowsChanged() override { Add("rows"); }
    void ShowIrpMask(uint32_t mask) override { Add("mask " + std::to_string(mask)); }
    void OnRecordsCleared() override { Add("cleared"); }
    void OnGraphReset(int32_t maxX, int32_t maxY) override {
        Add("graph " + std::to_string(maxX) + " " + std::to_string(maxY));
    }
    void OnIoctlSeen(uint32_t code, std::string_view name, uint64_t) override {
        std::lock_guard lock(m_mutex);
        m_ioctls.emplace_back(code, std::string(name));
    }
    void OnMaxYGrown(int32_t maxY) override { Add("maxY " + std::to_string(maxY)); }

    std::vector<std::string> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<std::pair<uint32_t, std::string>> Ioctls() const {
        std::lock_guard lock(m_mutex);
        return m_ioctls;
    }
    void Forget() {
        std::lock_guard lock(m_mutex);
        m_events.clear();
        m_ioctls.clear();
    }

private:
    void Add(std::string e) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(e));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::vector<std::pair<uint32_t, std::string>> m_ioctls;
};

struct DocumentParts {
    RecordingPrompts prompts;
    test::CRecordingSink pane;
    RecordingView view;
    std::unique_ptr<ISettingsStore> settings;
    TestClock clock;  // the machine's until the test fixes it
    RecordedDebugOutput debug;
    std::unique_ptr<CVantrelDoc> doc;

    // A document on `opener`; `settingsFolder` empty: no settings.
    void Make(DriverOpener opener, const std::string& settingsFolder = {},
              CataloguePolicy policy = CataloguePolicy::PathIfGiven, std::string catalogue = {}) {
        if (!settingsFolder.empty()) settings = std::make_unique<CQtSettingsStore>(settingsFolder);
        DocumentServices s;
        s.openDriver = std::move(opener);
        s.prompts = &prompts;
        s.settings = settings.get();
        s.results = &pane;
        s.view = &view;
        s.catalogue = policy;
        s.cataloguePath = std::move(catalogue);
        s.clock = &clock;
        s.debugOutput = debug.Output();
        doc = std::make_unique<CVantrelDoc>(std::move(s));
    }
};

}  // namespace vantrel::testing
