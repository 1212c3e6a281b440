// The set-up and the controls shared by the workbench's windows.
#include "preview/window_setup.h"

#include "core/paths.h"
#include "ui/appearance.h"

#include <QLabel>
#include <QPushButton>
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

void SetFixedClientSize(QWidget* window, int widthTwips, int heightTwips)
{
    window->setFont(ui::WindowFont());
    window->setFixedSize(ui::Twips(widthTwips), ui::Twips(heightTwips));
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height)
{
    auto* button = MakeControl<QPushButton>(parent, name, left, top, width, height);
    button->setText(QString::fromUtf8(caption));
    button->setFont(ui::ButtonFont());
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
