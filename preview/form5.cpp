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

#include <algorithm>
#include <vector>

namespace preview {

Form5::Form5(PreviewWindows& windows, QWidget* owner) : WorkbenchDialog(windows, owner, "Form5", 8040, 8430)
{
    PushButton5 = ui::MakeButton(this, "PushButton5", "< Back", 120, 120, 7800);
    ListView1 = MakeRowList(this, "ListView1", 120, 630, 7800, 7605);
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
}

void Form5::Form_Load()
{
    core::GuardedOperation op = load("Datatypes Conversion");
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
    // Each column as wide as its header and values need, and at least the
    // designed 1700 twips where the four still fit the view that way; where they
    // would not, the designed room gives way, so that no header is cut while
    // the view could show it whole.
    if (!model_)
        return;
    std::vector<int> designed, needed;
    int wanted = 0;
    for (int column = 0; column < model_->columnCount(); ++column) {
        designed.push_back(ListView1->columnWidth(column));
        ListView1->resizeColumnToContents(column);  // the header's and the values' width
        needed.push_back(ListView1->columnWidth(column));
        wanted += std::max(designed.back(), needed.back());
    }
    const bool roomy = wanted <= ListView1->viewport()->width();
    for (int column = 0; column < model_->columnCount(); ++column) {
        const auto at = static_cast<std::size_t>(column);
        ListView1->setColumnWidth(column, roomy ? std::max(designed[at], needed[at]) : needed[at]);
    }
}

void Form5::PushButton5_Click()
{
    closeFrom("PushButton5_Click");
}

}  // namespace preview
