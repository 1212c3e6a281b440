// The Datatypes Conversion window.
#include "preview/form5.h"

#include "preview/list_models.h"
#include "preview/preview_windows.h"
#include "preview/window_setup.h"
#include "ui/layout.h"
#include "ui/appearance.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>

namespace preview {

Form5::Form5(PreviewWindows& windows, QWidget* owner) : QDialog(owner), windows_(windows)
{
    setObjectName("Form5");
    ui::SetFixedClientSize(this, 8040, 8430);
    PushButton5 = ui::MakeButton(this, "PushButton5", "< Back", 120, 120, 7800);
    ListView1 = ui::MakeControl<QTreeView>(this, "ListView1", 120, 630, 7800, 7605);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setItemsExpandable(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setStretchLastSection(false);
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
}

void Form5::Form_Load()
{
    core::GuardedOperation op(windows_.services().dialogs, core::Location("Form5", "Form_Load"));
    SetUpWindow(this, op, "Datatypes Conversion", windows_.services().paths.folder);
    // The model brings the four headers (steps 112 to 118) and the column widths follow.
    op.step(112, [&] {
        model_ = new DatatypeListModel(windows_.handOff().datatypes.list(), this);
        ListView1->setModel(model_);
    });
    for (int column = 0; column < 4; ++column)
        op.step(120 + 2 * column, [&] { ListView1->setColumnWidth(column, ui::Twips(1700)); });
}

void Form5::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitColumns();
}

void Form5::fitColumns()
{
    // At least the designed 1700 twips; wider where a header or a value needs it.
    for (int column = 0; model_ && column < model_->columnCount(); ++column) {
        const int designed = ListView1->columnWidth(column);
        ListView1->resizeColumnToContents(column);  // the header's and the values' width
        if (ListView1->columnWidth(column) < designed)
            ListView1->setColumnWidth(column, designed);
    }
}

void Form5::PushButton5_Click()
{
    core::GuardedOperation op(windows_.services().dialogs, core::Location("Form5", "PushButton5_Click"));
    op.step(100, [&] { close(); });
}

}  // namespace preview
