// The "..." button and the folder chooser behind it.
#include "sources/folder_picker.h"

#include "core/error_report.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "sources/paradox_module.h"

namespace AddFolder {

std::string PickFolder(platform::Desktop& desktop, const std::string& prompt,
                       const std::string& initialFolder)
{
    const std::string chosen = desktop.pickFolder(prompt, initialFolder);
    // A pick without a path on disk counts as a cancel.
    return core::IsFolder(chosen) ? chosen : std::string();
}

void BrowseForParadoxFolder(core::Services& services, core::MainForm& form)
{
    core::GuardedOperation op(services.dialogs, core::Location("Form1", "PushButton1_Click"));
    std::string folder;
    op.step(100, [&] {
        std::string start = form.folder();
        if (!core::IsFolder(start))
            start = services.settings.GetSetting(core::kSettingsApplication, core::kSettingsSection,
                                                 core::key::LastFolderDot, "");
        folder = PickFolder(services.desktop, kPickPrompt, start);
    });
    bool cancelled = true;
    if (op.step(102, [&] { cancelled = folder.empty(); }) && cancelled)
        return;
    op.step(104, [&] { form.setFolder(folder); });
    op.step(106, [&] { Paradox::CopyDB(services, form, false); });
}

}  // namespace AddFolder
