// The set-up shared by the workbench's windows.
#include "preview/window_setup.h"

#include "preview/preview_windows.h"
#include "core/paths.h"
#include "ui/appearance.h"
#include "ui/layout.h"

#include <QHeaderView>
#include <QTreeView>

#include <string>

namespace preview {

namespace {

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

}  // namespace

QTreeView* MakeRowList(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* list = ui::MakeControl<QTreeView>(parent, name, left, top, width, height);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setItemsExpandable(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setStretchLastSection(false);
    return list;
}

WorkbenchDialog::WorkbenchDialog(PreviewWindows& windows, QWidget* owner, const char* name, int widthTwips,
                                 int heightTwips)
    : QDialog(owner), windows_(windows), name_(name)
{
    setObjectName(name);
    ui::SetFixedClientSize(this, widthTwips, heightTwips);
}

core::GuardedOperation WorkbenchDialog::operation(const char* handler) const
{
    return core::GuardedOperation(windows_.services().dialogs, core::Location(name_, handler));
}

core::GuardedOperation WorkbenchDialog::load(const char* caption)
{
    core::GuardedOperation op = operation("Form_Load");
    SetUpWindow(this, op, caption, windows_.services().paths.folder);
    return op;
}

void WorkbenchDialog::closeFrom(const char* handler)
{
    operation(handler).step(100, [&] { close(); });
}

}  // namespace preview
