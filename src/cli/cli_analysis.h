#pragma once
// vantrel-cli: the pieces that stats, points and graph share: loading a test
// as the document shows a loaded one, and the record-selection options.

#include <string>

#include "analysis/graph_model.h"
#include "analysis/record_selection.h"
#include "cli/cli.h"
#include "record/record_list.h"
#include "record/test_file.h"

namespace vantrel::cli {

// "--device-controls | --ioctl CODE --object NAME": the IOCTL filter on with
// no IOCTL selected, or with that IOCTL (code and exact object name).
struct SelectionOptions {
    bool deviceControls = false;
    std::optional<uint32_t> code;
    std::optional<std::string> object;
};

// Consumes the selection option at args[i] (and its value); false when
// args[i] is not one. On a bad value `exitCode` and `error` are set.
bool TakeSelectionOption(const Args& args, size_t& i, SelectionOptions& options, int& exitCode,
                         std::string& error);
// The selection of a loaded test: every record taken, then the IOCTL filter
// as the options say. Empty `error` when the combination is valid.
RecordSelection LoadedTestSelection(const SelectionOptions& options, std::string& error);

// Loads a test and gives `model` the Graph View's points of it: axes 0 to 100
// and 0 to the test's default maximum Y (or `limits`), the filter ticks from
// the file, and `now` (default: the current tick) as the end while the
// stop tick is 0. False, with `error`, when the file cannot be loaded.
bool LoadTestGraph(const std::string& file, const RecordSelection& selection,
                   std::optional<uint32_t> now, std::optional<GraphLimits> limits,
                   CGraphModel& model, std::string& error);

}  // namespace vantrel::cli
