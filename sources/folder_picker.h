// The "..." button: choose the Paradox folder in the desktop's folder chooser,
// starting at the folder in the field, or where that is no folder at the one
// stored under "LastFolderDot".
#pragma once

#include "core/main_form.h"
#include "core/services.h"

namespace AddFolder {

inline constexpr const char* kPickPrompt = "Please select folder:";

// The chosen folder, or "" when the user cancels or picks nothing on disk.
std::string PickFolder(platform::Desktop& desktop, const std::string& prompt,
                       const std::string& initialFolder);

// PushButton1_Click.
void BrowseForParadoxFolder(core::Services& services, core::MainForm& form);

}  // namespace AddFolder
