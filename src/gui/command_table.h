#pragma once
// The main frame's commands: id, menu text, status-bar prompt, tooltip,
// keys and picture, as one table. The frame makes one QAction per entry
// (objectName "cmd<id>", property "commandId") and puts the same action in
// the menus, the toolbar and the results pane's context menu, so a state
// set once shows everywhere.

#include <span>

namespace vantrel {

namespace cmd {
inline constexpr int kNew = 32788;
inline constexpr int kOpen = 32787;
inline constexpr int kSaveAs = 32799;
inline constexpr int kExport = 32802;
inline constexpr int kExit = 57665;
inline constexpr int kUndo = 57643;
inline constexpr int kCut = 57635;
inline constexpr int kCopy = 57634;
inline constexpr int kPaste = 57637;
inline constexpr int kToolbar = 59392;
inline constexpr int kStatusBar = 59393;
inline constexpr int kIoctlSelector = 32792;
inline constexpr int kIoctlTemplates = 32795;
inline constexpr int kSelectedDevice = 32781;
inline constexpr int kAllDevices = 32782;
inline constexpr int kOutputProperties = 32784;
inline constexpr int kViewDataRange = 32786;
inline constexpr int kAutoUpdate = 32800;
inline constexpr int kLogToFile = 32797;
inline constexpr int kClear = 32771;
inline constexpr int kGraphProperties = 32779;
inline constexpr int kRefresh = 32783;
inline constexpr int kPrintGraph = 32801;
inline constexpr int kHelpContents = 32796;
inline constexpr int kAbout = 57664;
// A separator in a menu or toolbar layout.
inline constexpr int kSeparator = 0;
}  // namespace cmd

struct CommandInfo {
    int id = 0;
    const char* text = "";    // menu text with its mnemonic ("\t" + keys where the menu shows them)
    const char* prompt = "";  // status bar
    const char* tip = "";     // tooltip
    const char* keys[2] = {nullptr, nullptr};  // portable key sequences
    bool checkable = false;
    const char* picture = nullptr;  // toolbar picture under ":/icons/"
};

std::span<const CommandInfo> CommandTable();
// The entry of `id`, or null.
const CommandInfo* FindCommand(int id);

// Menu 128 and the context menu 147, as ids with separators.
std::span<const int> FileMenuLayout();
std::span<const int> EditMenuLayout();
std::span<const int> ResultsPaneMenuLayout();  // also the context menu
std::span<const int> ToolbarLayout();

}  // namespace vantrel
