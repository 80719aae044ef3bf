#pragma once
// Doubles for the IOCTL selector's and template editor's seams.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_ui.h"
#include "catalogue/ioctl_selector_core.h"
#include "catalogue/template_editor_core.h"
#include "support/scratch_dir.h"

namespace vantrel::testing {

class RecordingUi : public ICatalogueUi {
public:
    std::vector<std::string> errors;
    std::vector<uint32_t> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;  // Yes/No in order; No when none is left

    void ShowEngineError(std::string_view text) override { errors.emplace_back(text); }
    void ShowMessage(uint32_t id) override { messages.push_back(id); }
    bool AskYesNo(std::string_view question) override {
        questions.emplace_back(question);
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
};

class RecordingHost : public ISelectorHost {
public:
    std::vector<IoctlFilterSelection> published;
    bool filter = false;
    int refreshes = 0;

    void PublishSelection(IoctlFilterSelection s) override { published.push_back(std::move(s)); }
    void SetIoctlFilter(bool on) override { filter = on; }
    bool IoctlFilter() const override { return filter; }
    void RequestRefresh() override { ++refreshes; }
};

class RecordingSelectorView : public ISelectorView {
public:
    std::vector<unsigned> timers;
    int entries = 0, lists = 0, fields = 0;
    void EntriesChanged() override { ++entries; }
    void TemplateListsChanged() override { ++lists; }
    void ShowFields() override { ++fields; }
    void StartRefreshTimer(unsigned ms) override { timers.push_back(ms); }
};

// A catalogue file with only one of the two tables.
inline void CreateHalfCatalogue(const std::string& path, bool withIoctls) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "half-catalogue");
        db.setDatabaseName(QString::fromStdString(path));
        db.open();
        QSqlQuery q(db);
        q.exec(withIoctls ? "CREATE TABLE \"Ioctls\" (\"Ioctl\" INTEGER, \"Object\" TEXT, "
                            "\"Input Buffer\" TEXT, \"Output Buffer\" TEXT, \"Ioctl Name\" TEXT)"
                          : "CREATE TABLE \"Templates\" (\"Name\" TEXT, \"Type\" TEXT, "
                            "\"Value Name\" TEXT, \"Offset\" INTEGER)");
    }
    QSqlDatabase::removeDatabase("half-catalogue");
}

}  // namespace vantrel::testing
