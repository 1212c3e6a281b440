// The SQL Preview window: its layout, its load and its nine buttons.
#include "preview/form2.h"

#include "preview/exact_text_edit.h"
#include "preview/list_models.h"
#include "preview/preview_windows.h"
#include "preview/window_setup.h"
#include "ui/layout.h"
#include "conversion/execute_lines.h"
#include "core/app_title.h"
#include "core/clipboard_retries.h"
#include "core/error_report.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace preview {

namespace {
const char* const kPasteHint = "Click a text area where you normally type and press Ctrl+V to paste the clipboard.";

}  // namespace

Form2::Form2(PreviewWindows& windows, QWidget* owner) : WorkbenchDialog(windows, owner, "Form2", 8040, 8430)
{
    setModal(true);
    buildControls();
}

Form2::~Form2() = default;

void Form2::buildControls()
{
    PushButton5 = ui::MakeButton(this, "PushButton5", "< Back", 120, 120, 3720);
    PushButton9 = ui::MakeButton(this, "PushButton9", "Skip Table / Do Not Execute SQL", 3960, 120, 3960);
    ListView1 = MakeRowList(this, "ListView1", 120, 630, 7800, 3315);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->setToolTip(QString::fromUtf8(kToolTip));
    ListView1->setTextElideMode(Qt::ElideNone);  // the user drags the column wider to read on
    PushButton1 = ui::MakeButton(this, "PushButton1", "Execute SQL", 120, 4040, 7800);
    PushButton3 = ui::MakeButton(this, "PushButton3", "Find and Replace", 120, 4550, 3840);
    PushButton2 = ui::MakeButton(this, "PushButton2", "Copy SQL To Clipboard", 4080, 4550, 3840);
    Frame2 = ui::MakeFrame(this, "Frame2", "Error:", 120, 5010, 7800, 1785);
    Text1 = ui::MakeControl<ExactTextEdit>(Frame2, "Text1", 240, 300, 7320, 1290);
    Text1->reportFailuresTo(windows_.services().dialogs, core::Location("Form2", "Text1_Change"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PushButton6 = ui::MakeButton(this, "PushButton6", "Jump To Error Line", 120, 6900, 3840);
    PushButton4 = ui::MakeButton(this, "PushButton4", "Copy Error Message To Clipboard", 4080, 6900, 3840);
    PushButton8 = ui::MakeButton(this, "PushButton8", " Email Error Message To Marrowby", 120, 7410, 3840);
    PushButton7 = ui::MakeButton(this, "PushButton7", "View Datatype Conversion", 4080, 7410, 3840);
    // Empty until Execute SQL runs: a text in an idle bar reads as news.
    ProgressBar1 = ui::MakeControl<ui::TextProgressBar>(this, "ProgressBar1", 120, 7920, 7800, 405);

    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { PushButton9_Click(); });
    connect(ListView1, &QTreeView::clicked, this, [this](const QModelIndex& i) { ListView1_Click(i); });
}

void Form2::Form_Load()
{
    core::GuardedOperation op = load("SQL Preview");
    op.step(112, [&] {
        model_ = new PreviewListModel(windows_.handOff().preview.list(), this);
        model_->onRowSelected = [this](int row) { selectRow(row); };
        ListView1->setModel(model_);
        // A line's new text may be wider; a new state (greyed, italics) is not.
        connect(model_, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& first, const QModelIndex& last, const QList<int>& roles) {
                    if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                        widenColumnFor(first.row(), last.row());
                });
    });
    op.step(114, [&] { ListView1->setColumnWidth(0, ui::Twips(7000)); });
}

void Form2::aboutToShow()
{
    if (!model_)
        return;
    model_->refresh();
    model_->setLive(true);
    fitColumnToLines();
}

void Form2::fitColumnToLines()
{
    // The widest line is among those with the most bytes: only a few are
    // measured, so a million lines cost one pass over their lengths.
    constexpr std::size_t kMeasured = 8;
    const conversion::PreviewList& list = windows_.handOff().preview.list();
    std::vector<std::pair<std::size_t, int>> longest;  // (bytes, row), the shortest first
    const auto shorter = [](const auto& a, const auto& b) { return a.first > b.first; };
    for (int row = 1; row <= list.count(); ++row) {
        const std::size_t bytes = list.text(row).size();
        if (longest.size() == kMeasured && bytes <= longest.front().first)
            continue;
        if (longest.size() == kMeasured) {
            std::pop_heap(longest.begin(), longest.end(), shorter);
            longest.pop_back();
        }
        longest.emplace_back(bytes, row);
        std::push_heap(longest.begin(), longest.end(), shorter);
    }
    ListView1->setColumnWidth(0, std::max(ListView1->columnWidth(0), ui::Twips(7000)));
    for (const auto& [bytes, row] : longest)
        widenColumnFor(row - 1, row - 1);
}

void Form2::widenColumnFor(int firstRow, int lastRow)
{
    if (!model_)
        return;
    int width = ListView1->columnWidth(0);
    for (int row = firstRow; row <= lastRow && row < model_->rowCount(); ++row)
        width = std::max(width, ListView1->sizeHintForIndex(model_->index(row, 0)).width());
    if (width > ListView1->columnWidth(0))
        ListView1->setColumnWidth(0, width);
}

std::string Form2::errorText() const
{
    return Text1->exactText();
}

void Form2::message(const std::string& text, platform::Icon icon)
{
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    m.icon = icon;
    windows_.services().dialogs.show(m);
}

void Form2::selectRow(int row)
{
    if (!model_)
        return;
    const QModelIndex index = model_->index(row - 1, 0);
    ListView1->setCurrentIndex(index);
    ListView1->scrollTo(index, QAbstractItemView::PositionAtCenter);
    ListView1->horizontalScrollBar()->setValue(0);  // a line is read from its start
}

void Form2::PushButton1_Click()
{
    if (executing_)
        return;  // a second click while the lines run does nothing
    auto& services = windows_.services();
    auto& handOff = windows_.handOff();
    auto& list = handOff.preview.list();
    core::GuardedOperation op = operation("PushButton1_Click");

    bool empty = false;
    if (op.step(104, [&] { empty = list.count() == 0; }) && empty) {
        op.step(150, [&] { message("No SQL to run."); });
        return;
    }
    executing_ = true;
    closeRequested_ = false;
    op.step(106, [&] { ui::SetBusyPointer(this, true); });
    conversion::LineWatch watch;
    watch.stopRequested = [this] { return closeRequested_; };
    watch.showProgress = [&](int row, int count) {
        op.step(114, [&] { ProgressBar1->setPercent(static_cast<double>(row) / count * 100); });
        op.step(116, [&] {
            ProgressBar1->setDisplayText(QStringLiteral("Please wait.. Processing row: %1 of %2"), row, count);
        });
    };
    // The lines run in transactions; an SQL error stops at the row where a
    // line-by-line run stops, with the rows before it on the server.
    const conversion::ExecuteOutcome outcome =
        conversion::ExecuteLines(list, handOff.mssql_conn.get(), handOff.openBatches, services.events, op, watch);
    executing_ = false;
    if (outcome.errorRow != 0) {
        op.step(154, [&] { windows_.ErrorLine = outcome.errorRow; });
        op.step(156, [&] { selectRow(outcome.errorRow); });
        op.step(160, [&] { Text1->setExactText(outcome.error); });
        op.step(162, [&] { ProgressBar1->setPercent(0); });
        op.step(164, [&] { ProgressBar1->setDisplayText(QString()); });
        ui::SetBusyPointer(this, false);
        if (closeRequested_) {
            op.step(148, [&] { close(); });
            return;
        }
        op.step(168, [&] { message("Error found.", platform::Icon::Warning); });
        return;
    }
    if (closeRequested_) {
        op.step(142, [&] { ProgressBar1->setPercent(0); });
        op.step(144, [&] { ProgressBar1->setDisplayText(QString()); });
        ui::SetBusyPointer(this, false);
        op.step(148, [&] { close(); });
        return;
    }
    op.step(138, [&] { handOff.SQLFormOK = true; });
    op.step(140, [&] { handOff.SQLFormCancel = false; });
    op.step(142, [&] { ProgressBar1->setPercent(0); });
    op.step(144, [&] { ProgressBar1->setDisplayText(QString()); });
    op.step(146, [&] { ui::SetBusyPointer(this, false); });
    op.step(148, [&] { close(); });
}

void Form2::PushButton2_Click()
{
    auto& services = windows_.services();
    core::GuardedOperation op = operation("PushButton2_Click");
    op.step(100, [&] {
        PreviewListRows rows(windows_.handOff().preview.list());
        core::CopyCheckedRows(rows, services.clipboard, services.events);
    });
    op.step(102, [&] {
        message(std::string("Results have been copied to the clipboard.") + "\r\r" + kPasteHint);
    });
}

void Form2::PushButton3_Click()
{
    core::GuardedOperation op = operation("PushButton3_Click");
    op.step(100, [&] { windows_.showFindAndReplace(this); });
}

void Form2::PushButton4_Click()
{
    auto& services = windows_.services();
    core::GuardedOperation op = operation("PushButton4_Click");
    std::string text;
    if (!errorTextToSend(op, text))
        return;
    op.step(102, [&] { core::ClearClipboard(services.clipboard); });
    op.step(104, [&] { core::PutClipboardText(services.clipboard, text, 0); });
    op.step(106, [&] {
        message(std::string("Error message have been copied to the clipboard.") + "\r\r" + kPasteHint);
    });
}

bool Form2::errorTextToSend(core::GuardedOperation& op, std::string& text)
{
    // An error box that holds only spaces sends nothing.
    bool empty = true;
    return !(op.step(100, [&] {
        text = errorText();
        empty = conversion::OnlySpaces(text);
    }) && empty);
}

bool Form2::deferCloseWhileExecuting()
{
    if (!executing_)
        return false;
    closeRequested_ = true;
    return true;
}

void Form2::PushButton5_Click()
{
    core::GuardedOperation op = operation("PushButton5_Click");
    op.step(100, [&] {
        if (!deferCloseWhileExecuting())
            close();
    });
}

void Form2::PushButton6_Click()
{
    core::GuardedOperation op = operation("PushButton6_Click");
    auto& list = windows_.handOff().preview.list();
    bool any = false;
    if (!op.step(100, [&] { any = list.count() >= 1; }) || !any)
        return;
    // An error line past the end of a shorter list is ignored.
    bool valid = false;
    if (!op.step(102, [&] { valid = windows_.ErrorLine >= 1 && windows_.ErrorLine <= list.count(); })
        || !valid)
        return;
    op.step(104, [&] { list.select(windows_.ErrorLine); });
}

void Form2::PushButton7_Click()
{
    core::GuardedOperation op = operation("PushButton7_Click");
    op.step(100, [&] { windows_.showDatatypes(this); });
}

std::string Form2::MailLink(const std::string& errorText)
{
    // The subject and body are percent-encoded, so that a "&", "#" or "?" in
    // the error cannot cut the body short or break the link; the body's bytes
    // are encoded as they are, so the driver's text arrives exactly.
    const QByteArray subject = QUrl::toPercentEncoding(QString::fromUtf8(core::kProductName.data(),
                                                                         static_cast<qsizetype>(core::kProductName.size())));
    const QByteArray body =
        QByteArray::fromStdString("Here is the error message that I get: \n" + errorText).toPercentEncoding();
    return "mailto:" + std::string(core::kSupportAddress) + "?subject=" + subject.toStdString()
        + "&body=" + body.toStdString();
}

void Form2::PushButton8_Click()
{
    auto& services = windows_.services();
    core::GuardedOperation op = operation("PushButton8_Click");
    std::string text;
    if (!errorTextToSend(op, text))
        return;
    op.step(102, [&] { services.desktop.open(MailLink(text)); });
}

void Form2::PushButton9_Click()
{
    core::GuardedOperation op = operation("PushButton9_Click");
    op.step(100, [&] { windows_.handOff().SQLFormCancel = false; });
    op.step(102, [&] {
        if (!deferCloseWhileExecuting())
            close();
    });
}

void Form2::ListView1_Click(const QModelIndex& index)
{
    core::GuardedOperation op = operation("ListView1_Click");
    // A click that leaves no item selected is ignored.
    const auto selected = [&] {
        return index.isValid() && ListView1->selectionModel()->isRowSelected(index.row(), {});
    };
    if (!op.test(100, selected))
        return;
    op.step(102, [&] { windows_.showEditLine(this, index.row() + 1); });
}

void Form2::reject()
{
    // The close box (QDialog's closeEvent comes here) behaves exactly like "< Back".
    core::GuardedOperation op = operation("Form_QueryUnload");
    bool deferred = false;
    if (op.step(100, [&] { deferred = deferCloseWhileExecuting(); }) && deferred)
        return;
    op.step(102, [&] { QDialog::reject(); });
}

void Form2::keyPressEvent(QKeyEvent* event)
{
    // The window has no key of its own: Escape must not end a per-table run
    // the way Back does.
    core::GuardedOperation op = operation("Form_KeyDown");
    op.step(100, [&] {
        if (event->matches(QKeySequence::Cancel))
            event->accept();
        else
            QDialog::keyPressEvent(event);
    });
}

}  // namespace preview
