// The set-up shared by the workbench's windows.
#include "preview/window_setup.h"

#include "core/paths.h"
#include "ui/appearance.h"

#include <QWidget>

namespace preview {

void SetUpWindow(QWidget* window, core::GuardedOperation& op, const char* windowName,
                 const std::string& programFolder)
{
    op.step(100, [&] { ui::NormalizeColors(window); });
    op.step(104, [&] { window->setWindowIcon(ui::ApplicationIcon()); });
    op.step(106, [&] { window->setWindowTitle(ui::Caption(windowName)); });
    const std::string cursorFile = programFolder + "/" + ui::kHandCursorFile;
    if (op.test(108, [&] { return core::FileExists(cursorFile); }))
        op.step(110, [&] { ui::ApplyHandPointer(window, ui::LoadCursorFile(cursorFile)); });
}

}  // namespace preview
