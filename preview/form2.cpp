// The SQL Preview window: its layout, its load and its nine buttons.
#include "preview/form2.h"

#include "preview/exact_text_edit.h"
#include "preview/list_models.h"
#include "preview/preview_windows.h"
#include "preview/window_setup.h"
#include "conversion/statement_batch.h"
#include "core/app_title.h"
#include "core/error_report.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>

#include <chrono>
#include <optional>
#include <stdexcept>

namespace preview {

namespace {
const char* const kLocation = "Quillon2021/08/31.Form2.";
const char* const kPasteHint = "Click a text area where you normally type and press Ctrl+V to paste the clipboard.";

std::string Location(const char* procedure)
{
    return std::string(kLocation) + procedure + " ";
}

// Nothing but spaces (or nothing at all).
bool OnlySpaces(const std::string& s)
{
    return s.find_first_not_of(' ') == std::string::npos;
}

bool ContainsIgnoringCase(const std::string& text, const char* word)
{
    return QString::fromStdString(text).contains(QString::fromUtf8(word), Qt::CaseInsensitive);
}

// Execute SQL's turn of the event loop after each line. A line on a server
// costs a round trip (a tenth of a millisecond and more), far more than a turn,
// so every such line gets its own and Back, Skip or the close box stop Execute
// SQL after the current line. Lines that finish within microseconds (a local
// database inside one transaction) share a turn, one per 50 microseconds, so
// that turns do not cost more than the lines they follow.
class TurnAfterEachLine {
public:
    void afterLine()
    {
        const auto now = Clock::now();
        if (now - last_ < kShared)
            return;
        QCoreApplication::processEvents();
        last_ = Clock::now();
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::microseconds kShared{50};
    Clock::time_point last_{};
};
}  // namespace

Form2::Form2(PreviewWindows& windows, QWidget* owner) : QDialog(owner), windows_(windows)
{
    setObjectName("Form2");
    setModal(true);
    buildControls();
}

Form2::~Form2() = default;

void Form2::buildControls()
{
    SetFixedClientSize(this, 8040, 8430);
    PushButton5 = MakeButton(this, "PushButton5", "< Back", 120, 120, 3720);
    PushButton9 = MakeButton(this, "PushButton9", "Skip Table / Do Not Execute SQL", 3960, 120, 3960);
    ListView1 = MakeControl<QTreeView>(this, "ListView1", 120, 630, 7800, 3315);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setItemsExpandable(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setToolTip(QString::fromUtf8(kToolTip));
    ListView1->setTextElideMode(Qt::ElideNone);  // the user drags the column wider to read on
    PushButton1 = MakeButton(this, "PushButton1", "Execute SQL", 120, 4040, 7800);
    PushButton3 = MakeButton(this, "PushButton3", "Find and Replace", 120, 4550, 3840);
    PushButton2 = MakeButton(this, "PushButton2", "Copy SQL To Clipboard", 4080, 4550, 3840);
    Frame2 = new QGroupBox("Error:", this);
    Frame2->setObjectName("Frame2");
    Frame2->setGeometry(ui::TwipsRect(120, 5010, 7800, 1785));
    Text1 = MakeControl<ExactTextEdit>(Frame2, "Text1", 240, 300, 7320, 1290);
    Text1->reportFailuresTo(windows_.services().dialogs, Location("Text1_Change"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PushButton6 = MakeButton(this, "PushButton6", "Jump To Error Line", 120, 6900, 3840);
    PushButton4 = MakeButton(this, "PushButton4", "Copy Error Message To Clipboard", 4080, 6900, 3840);
    PushButton8 = MakeButton(this, "PushButton8", " Email Error Message To Marrowby", 120, 7410, 3840);
    PushButton7 = MakeButton(this, "PushButton7", "View Datatype Conversion", 4080, 7410, 3840);
    ProgressBar1 = MakeControl<ui::TextProgressBar>(this, "ProgressBar1", 120, 7920, 7800, 405);
    ProgressBar1->setDisplayText("Progress Bar");

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
    core::GuardedOperation op(windows_.services().dialogs, Location("Form_Load"));
    SetUpWindow(this, op, "SQL Preview", windows_.services().paths.folder);
    op.step(112, [&] {
        model_ = new PreviewListModel(windows_.handOff().preview.list(), this);
        model_->onRowSelected = [this](int row) { selectRow(row); };
        ListView1->setModel(model_);
    });
    op.step(114, [&] { ListView1->setColumnWidth(0, ui::Twips(7000)); });
}

void Form2::aboutToShow()
{
    if (!model_)
        return;
    model_->refresh();
    model_->setLive(true);
    ListView1->setColumnWidth(0, std::max(ListView1->columnWidth(0), ui::Twips(7000)));
}

std::string Form2::errorText() const
{
    return Text1->exactText();
}

void Form2::message(const std::string& text)
{
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    windows_.services().dialogs.show(m);
}

void Form2::selectRow(int row)
{
    if (!model_)
        return;
    const QModelIndex index = model_->index(row - 1, 0);
    ListView1->setCurrentIndex(index);
    ListView1->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void Form2::PushButton1_Click()
{
    if (executing_)
        return;  // a second click while the lines run does nothing
    auto& services = windows_.services();
    auto& handOff = windows_.handOff();
    auto& list = handOff.preview.list();
    core::GuardedOperation op(services.dialogs, Location("PushButton1_Click"));

    bool empty = false;
    if (op.step(104, [&] { empty = list.count() == 0; }) && empty) {
        op.step(150, [&] { message("No SQL to run."); });
        return;
    }
    executing_ = true;
    closeRequested_ = false;
    op.step(106, [&] { ui::SetBusyPointer(this, true); });
    const int n = list.count();
    // The lines run in transactions; an SQL error stops at the row where a
    // line-by-line run stops, with the rows before it on the server.
    std::optional<std::string> sqlError;
    int errorRow = 0;
    // A line whose fate the server left in doubt (see StatementBatch) stops
    // Execute SQL at its row as an SQL error does, and is not run again.
    auto lineFailed = [&](const std::string& description, int row) {
        if (!ContainsIgnoringCase(description, "SQLException"))
            return false;
        sqlError = description;
        errorRow = row;
        return true;
    };
    conversion::StatementBatch batch(handOff.mssql_conn.get(), [&](const std::string& sql, int row) {
        const int step = ContainsIgnoringCase(sql, "INSERT INTO") ? 132 : 134;
        op.step(step, [&] {
            try {
                if (!handOff.mssql_conn)
                    throw std::runtime_error("SQLException: there is no connection to the server.");
                handOff.mssql_conn->execute(sql);
            } catch (...) {
                if (!lineFailed(core::CurrentExceptionDescription(), row))
                    throw;
            }
        });
        return sqlError ? conversion::StatementBatch::Next::Stop : conversion::StatementBatch::Next::Continue;
    }, [&](const std::string& description, int row) {
        if (!lineFailed(description, row))
            op.step(132, [&] { throw std::runtime_error(description); });
        return sqlError ? conversion::StatementBatch::Next::Stop : conversion::StatementBatch::Next::Continue;
    }, &services.events);
    TurnAfterEachLine turns;
    for (int r = 1; r <= n && !closeRequested_ && !sqlError; ++r) {
        op.step(112, [&] { turns.afterLine(); });
        if (closeRequested_)
            break;
        op.step(114, [&] { ProgressBar1->setPercent(static_cast<double>(r) / list.count() * 100); });
        op.step(116, [&] {
            ProgressBar1->setDisplayText(QStringLiteral("Please wait.. Processing row: %1 of %2"), r,
                                         list.count());
        });
        bool blank = false;
        std::string line;
        if (op.step(118, [&] {
                line = std::string(list.text(r));
                blank = OnlySpaces(line);
            })
            && blank)
            continue;

        batch.execute(line, r);
    }
    batch.finish();
    executing_ = false;
    if (sqlError) {
        op.step(154, [&] { windows_.ErrorLine = errorRow; });
        op.step(156, [&] { selectRow(errorRow); });
        op.step(160, [&] { Text1->setExactText(*sqlError); });
        op.step(162, [&] { ProgressBar1->setPercent(0); });
        op.step(164, [&] { ProgressBar1->setDisplayText(QString()); });
        ui::SetBusyPointer(this, false);
        if (closeRequested_) {
            op.step(148, [&] { close(); });
            return;
        }
        op.step(168, [&] { message("Error found."); });
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
    core::GuardedOperation op(services.dialogs, Location("PushButton2_Click"));
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
    core::GuardedOperation op(windows_.services().dialogs, Location("PushButton3_Click"));
    op.step(100, [&] { windows_.showFindAndReplace(this); });
}

void Form2::PushButton4_Click()
{
    auto& services = windows_.services();
    core::GuardedOperation op(services.dialogs, Location("PushButton4_Click"));
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
        empty = OnlySpaces(text);
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
    core::GuardedOperation op(windows_.services().dialogs, Location("PushButton5_Click"));
    op.step(100, [&] {
        if (!deferCloseWhileExecuting())
            close();
    });
}

void Form2::PushButton6_Click()
{
    core::GuardedOperation op(windows_.services().dialogs, Location("PushButton6_Click"));
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
    core::GuardedOperation op(windows_.services().dialogs, Location("PushButton7_Click"));
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
    core::GuardedOperation op(services.dialogs, Location("PushButton8_Click"));
    std::string text;
    if (!errorTextToSend(op, text))
        return;
    op.step(102, [&] { services.desktop.open(MailLink(text)); });
}

void Form2::PushButton9_Click()
{
    core::GuardedOperation op(windows_.services().dialogs, Location("PushButton9_Click"));
    op.step(100, [&] { windows_.handOff().SQLFormCancel = false; });
    op.step(102, [&] {
        if (!deferCloseWhileExecuting())
            close();
    });
}

void Form2::ListView1_Click(const QModelIndex& index)
{
    core::GuardedOperation op(windows_.services().dialogs, Location("ListView1_Click"));
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
    core::GuardedOperation op(windows_.services().dialogs, Location("Form_QueryUnload"));
    bool deferred = false;
    if (op.step(100, [&] { deferred = deferCloseWhileExecuting(); }) && deferred)
        return;
    op.step(102, [&] { QDialog::reject(); });
}

void Form2::keyPressEvent(QKeyEvent* event)
{
    // The window has no key of its own: Escape must not end a per-table run
    // the way Back does.
    core::GuardedOperation op(windows_.services().dialogs, Location("Form_KeyDown"));
    op.step(100, [&] {
        if (event->matches(QKeySequence::Cancel))
            event->accept();
        else
            QDialog::keyPressEvent(event);
    });
}

}  // namespace preview
