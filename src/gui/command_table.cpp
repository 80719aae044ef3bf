#include "gui/command_table.h"

#include <algorithm>
#include <array>

namespace vantrel {
namespace {

// The framework's own commands (Exit, the Edit commands, the bars, About)
// carry the framework's usual prompts and short tooltips; the program's
// commands repeat their prompt as tooltip.
constexpr CommandInfo kCommands[] = {
    {cmd::kNew, "&New", "New Vantrel test", "New Vantrel test", {"Ctrl+N"}, false, "tb_new.svg"},
    {cmd::kOpen,
     "&Open...",
     "Opens an existing Vantrel test",
     "Opens an existing Vantrel test",
     {"Ctrl+O"},
     false,
     "tb_open.svg"},
    {cmd::kSaveAs,
     "Save &As...",
     "Save Vantrel test",
     "Save Vantrel test",
     {"Ctrl+S"},
     false,
     "tb_save.svg"},
    {cmd::kExport, "&Export...", "Export the records as CSV or JSON Lines", "Export"},
    {cmd::kExit, "E&xit", "Quit the application; prompts to save documents", "Exit", {}, false},
    {cmd::kUndo, "&Undo\tCtrl+Z", "Undo the last action", "Undo", {"Ctrl+Z", "Alt+Backspace"}},
    {cmd::kCut,
     "Cu&t\tCtrl+X",
     "Cut the selection and put it on the Clipboard",
     "Cut",
     {"Ctrl+X", "Shift+Del"}},
    {cmd::kCopy,
     "&Copy\tCtrl+C",
     "Copy the selection and put it on the Clipboard",
     "Copy",
     {"Ctrl+C", "Ctrl+Ins"}},
    {cmd::kPaste, "&Paste\tCtrl+V", "Insert Clipboard contents", "Paste", {"Ctrl+V", "Shift+Ins"}},
    {cmd::kToolbar, "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar", {}, true},
    {cmd::kStatusBar, "&Status Bar", "Show or hide the status bar", "Toggle StatusBar", {}, true},
    {cmd::kIoctlSelector,
     "&IOCTL selector",
     "IOCTL selector",
     "IOCTL selector",
     {},
     true,
     "tb_selector.svg"},
    {cmd::kIoctlTemplates,
     "IOCTL te&mplates",
     "IOCTL template editor",
     "IOCTL template editor",
     {},
     false,
     "tb_templates.svg"},
    {cmd::kSelectedDevice,
     "&Selected device",
     "Display data for selected device",
     "Display data for selected device",
     {},
     true},
    {cmd::kAllDevices,
     "&All devices",
     "Display data for all devices",
     "Display data for all devices",
     {},
     true},
    {cmd::kOutputProperties, "&Properties...", "Display output properties",
     "Display output properties"},
    {cmd::kViewDataRange, "&View data range...", "View data range", "View data range"},
    {cmd::kAutoUpdate,
     "&Auto-Update",
     "Automatically update Results Pane",
     "Automatically update Results Pane",
     {},
     true},
    {cmd::kLogToFile, "&Log to file", "Log IRP data to file", "Log IRP data to file", {}, true},
    {cmd::kClear, "&Clear", "Clear contents", "Clear contents"},
    {cmd::kGraphProperties, "&Properties...", "Display graph properties",
     "Display graph properties"},
    {cmd::kRefresh,
     "&Refresh",
     "Refresh the current view",
     "Refresh the current view",
     {},
     false,
     "tb_refresh.svg"},
    {cmd::kPrintGraph, "Pr&int...", "Print the graph", "Print the graph"},
    {cmd::kHelpContents,
     "&Contents...",
     "Display help contents",
     "Display help contents",
     {},
     false,
     "tb_help.svg"},
    {cmd::kAbout, "&About Vantrel...", "Display program information, version number and copyright",
     "About"},
};

constexpr int kFile[] = {cmd::kNew,    cmd::kOpen,      cmd::kSeparator, cmd::kSaveAs,
                         cmd::kExport, cmd::kSeparator, cmd::kExit};
constexpr int kEdit[] = {cmd::kUndo, cmd::kSeparator, cmd::kCut, cmd::kCopy, cmd::kPaste};
constexpr int kResultsPane[] = {
    cmd::kOutputProperties, cmd::kViewDataRange, cmd::kSeparator, cmd::kAutoUpdate,
    cmd::kLogToFile,        cmd::kSeparator,     cmd::kClear};
constexpr int kToolbar[] = {
    cmd::kNew,     cmd::kSeparator,     cmd::kOpen,           cmd::kSaveAs,    cmd::kSeparator,
    cmd::kRefresh, cmd::kIoctlSelector, cmd::kIoctlTemplates, cmd::kSeparator, cmd::kHelpContents};

}  // namespace

std::span<const CommandInfo> CommandTable() {
    return kCommands;
}

const CommandInfo* FindCommand(int id) {
    const auto* it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [id](const CommandInfo& c) { return c.id == id; });
    return it == std::end(kCommands) ? nullptr : it;
}

std::span<const int> FileMenuLayout() {
    return kFile;
}
std::span<const int> EditMenuLayout() {
    return kEdit;
}
std::span<const int> ResultsPaneMenuLayout() {
    return kResultsPane;
}
std::span<const int> ToolbarLayout() {
    return kToolbar;
}

}  // namespace vantrel
