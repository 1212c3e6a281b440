#include "preview/window_setup.h"

#include "shell/appearance.h"

#include <QWidget>

namespace preview {

void SetUpWindow(QWidget* window, shell::GuardedOperation& op, const char* windowName,
                 const std::string& programFolder)
{
    op.step(100, [&] { shell::NormalizeColors(window); });
    op.step(104, [&] { window->setWindowIcon(shell::ApplicationIcon()); });
    op.step(106, [&] { window->setWindowTitle(shell::Caption(windowName)); });
    const std::string cursorFile = programFolder + "/" + shell::kHandCursorFile;
    if (op.test(108, [&] { return shell::FileExists(cursorFile); }))
        op.step(110, [&] { shell::ApplyHandPointer(window, shell::LoadCursorFile(cursorFile)); });
}

void SetFixedClientSize(QWidget* window, int widthTwips, int heightTwips)
{
    window->setFont(shell::WindowFont());
    window->setFixedSize(shell::Twips(widthTwips), shell::Twips(heightTwips));
}

}  // namespace preview
