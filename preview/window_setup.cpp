// The set-up and the controls shared by the workbench's windows.
#include "preview/window_setup.h"

#include "shell/appearance.h"

#include <QLabel>
#include <QPushButton>
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

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height)
{
    auto* button = MakeControl<QPushButton>(parent, name, left, top, width, height);
    button->setText(QString::fromUtf8(caption));
    button->setFont(shell::ButtonFont());
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                  int height)
{
    auto* label = MakeControl<QLabel>(parent, name, left, top, width, height);
    label->setText(QString::fromUtf8(caption));
    return label;
}

}  // namespace preview
