// The SQL Preview window with big lists, offscreen.
//
// show:    a million INSERT lines of about 100 bytes in the preview list; the
//          time from PreviewWindows::showPreview to the end of the list's first
//          paint, and the process's peak memory against the bytes of the text.
// execute: 100,000 INSERT lines (after their CREATE TABLE) executed by Execute
//          SQL on an SQLite file standing in for SQL Server, against a bare
//          loop of OdbcServerConnection::execute over the same lines in one
//          transaction, and against Execute SQL the old way, each line
//          committed on its own (a connection that keeps autocommit on), over
//          the first M lines (its lines per second do not change with M).
//
//   bench_preview [show] [execute] [--lines N] [--execute-lines N] [--repeat R]
//                 [--target DIR] [--old-way-lines M]
#include "bench/support/bench_windows.h"

#include "preview/form2.h"
#include "preview/preview_windows.h"

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <iostream>
#include <optional>

namespace {

using namespace benchsupport;

constexpr const char* kPreviewTable = "BENCHPREVIEW";

std::string CreateLine()
{
    return std::string("CREATE TABLE [") + kPreviewTable
        + "] ([Id] INT NULL, [Name] VARCHAR(24) NULL, [City] VARCHAR(16) NULL, [Price] MONEY NULL)";
}

// Line r (from 0) of the list: about 100 bytes.
void InsertLine(std::string& line, int r)
{
    static const char* const cities[] = {"Paris", "Oslo", "Lisboa", "Zurich", "Koln"};
    const std::string id = std::to_string(r + 1);
    line.assign("INSERT INTO [").append(kPreviewTable).append("] ([Id], [Name], [City], [Price]) VALUES(");
    line.append(id).append(", 'Customer ").append(id).append("', '").append(cities[r % 5]).append("', ");
    line.append(std::to_string(r % 100000)).append(".").append(std::to_string(10 + r % 90)).append(")");
}

// Stamps the end of the first paint of a widget: the zero timer posted from
// the paint event runs once that event has been handled.
class FirstPaint : public QObject {
public:
    std::optional<Clock::time_point> done;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !posted_) {
            posted_ = true;
            QTimer::singleShot(0, this, [this] { done = Clock::now(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool posted_ = false;
};

struct Bench {
    ScratchFolder scratch{"dovenmark-bench-preview"};
    std::unique_ptr<platform::TimeSlicedEventLoop> events = platform::MakeQtEventLoop();
    WindowServices program{scratch.path(), *events};
    conversion::PreviewHandOff handOff;
    QWidget owner;  // the main window's place
    preview::PreviewWindows windows{program.services, handOff, &owner};

    Bench()
    {
        owner.resize(600, 500);
        owner.show();
        QCoreApplication::processEvents();
    }
};

bool Show(Bench& b, int lines)
{
    const long long baseline = StatusBytes("VmRSS");
    auto& list = b.handOff.preview.list();  // the first access loads the window
    std::string line;
    for (int r = 0; r < lines; ++r) {
        InsertLine(line, r);
        list.append(line);
    }
    const double textBytes = static_cast<double>(list.textBytes());
    const long long filled = StatusBytes("VmRSS");
    std::cout << "preview list: " << list.count() << " lines, " << Fixed(MiB(static_cast<long long>(textBytes)), 1)
              << " MiB of text (" << Fixed(textBytes / lines, 1) << " bytes a line); resident "
              << Fixed(MiB(baseline), 1) << " MiB before filling, " << Fixed(MiB(filled), 1) << " MiB after\n";

    preview::Form2* form = b.windows.form2();
    if (!form) {
        std::cerr << "the SQL Preview window did not load\n";
        return false;
    }
    FirstPaint paint;
    form->ListView1->viewport()->installEventFilter(&paint);
    bool timedOut = false;
    bool rowsShown = false;  // the painted list has its first line at the top
    QTimer guard;  // never wait for ever on a paint that does not come
    guard.setSingleShot(true);
    b.windows.onModalShown = [&](QWidget* window) {
        auto* poll = new QTimer(window);
        QObject::connect(poll, &QTimer::timeout, window, [&, form, window] {
            if (paint.done) {
                rowsShown = form->ListView1->indexAt(QPoint(2, 2)).row() == 0;
                window->close();
            }
        });
        poll->start(1);
        QObject::connect(&guard, &QTimer::timeout, window, [&, window] {
            timedOut = true;
            window->close();
        });
        guard.start(60'000);
    };

    const auto start = Clock::now();
    b.windows.showPreview();
    const long long peak = StatusBytes("VmHWM");
    b.windows.onModalShown = nullptr;
    if (timedOut || !paint.done || !rowsShown) {
        std::cerr << (rowsShown ? "the list was never painted\n" : "the list showed no lines\n");
        return false;
    }
    const double seconds = std::chrono::duration<double>(*paint.done - start).count();
    const double limit = 2 * textBytes + 50.0 * 1024 * 1024;
    Figure("SQL Preview, " + std::to_string(lines / 1000) + "k lines: showPreview to first paint done",
           Fixed(seconds, 3) + " s", "<= 3 s", seconds <= 3 ? "ok" : "MISSED");
    Figure("SQL Preview peak memory (process, " + Fixed(MiB(baseline), 0) + " MiB before filling)",
           Fixed(MiB(peak), 1) + " MiB", "<= " + Fixed(MiB(static_cast<long long>(limit)), 1) + " MiB (2 x text + 50 MiB)",
           static_cast<double>(peak) <= limit ? "ok" : "MISSED");
    return true;
}

// Execute SQL of the window over the lines; the seconds from the click until the window has closed.
std::optional<double> ExecuteInWindow(Bench& b, const std::vector<std::string>& lines, std::size_t count,
                                      const fs::path& database, bool transactions)
{
    auto& list = b.handOff.preview.list();
    for (std::size_t i = 0; i < count; ++i)
        list.append(lines[i]);
    auto connection = OpenTarget(database, transactions);
    b.handOff.mssql_conn = connection;
    b.handOff.SQLFormOK = false;
    b.program.dialogs.messages.clear();
    double seconds = -1;
    b.windows.onModalShown = [&](QWidget* window) {
        auto* form = dynamic_cast<preview::Form2*>(window);
        if (!form) {
            window->close();
            return;
        }
        const auto start = Clock::now();
        form->PushButton1->click();  // runs every line, then closes the window
        seconds = SecondsSince(start);
    };
    b.windows.showPreview();
    b.windows.onModalShown = nullptr;
    connection->close();
    b.handOff.mssql_conn.reset();
    if (!b.handOff.SQLFormOK || b.program.dialogs.others() != 0 || seconds < 0) {
        std::cerr << "Execute SQL did not finish cleanly: " << b.program.dialogs.firstOther() << "\n";
        return std::nullopt;
    }
    return seconds;
}

bool Execute(Bench& b, int inserts, int repeat, const fs::path& target, int oldWayInserts)
{
    std::vector<std::string> lines{CreateLine()};
    lines.reserve(static_cast<std::size_t>(inserts) + 1);
    for (int r = 0; r < inserts; ++r)
        InsertLine(lines.emplace_back(), r);
    if (oldWayInserts <= 0 || oldWayInserts > inserts)
        oldWayInserts = inserts;
    const Target where(b.scratch.path(), target, "dovenmark-bench-execute");
    const ComparisonWords words{"Execute SQL in the SQL Preview", "Execute SQL", "Execute SQL committing each line",
                                "lines", "lines"};
    return CompareThreeWays(words, where, kPreviewTable, inserts, oldWayInserts, repeat,
                            [&](int way) -> std::optional<double> {
        if (way == 1)
            return BareLoop(lines, where.database);
        const std::size_t count = static_cast<std::size_t>(way == 0 ? inserts : oldWayInserts) + 1;
        return ExecuteInWindow(b, lines, count, where.database, way == 0);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bool show = false, execute = false;
    int lines = 1'000'000, inserts = 100'000, repeat = 3, oldWayInserts = 0;
    fs::path target;
    for (Arguments a(argc, argv); a.next();) {
        if (a.is("show") || a.is("execute")) {
            (a.is("show") ? show : execute) = true;
        } else if (!a.option("--lines", lines) && !a.option("--execute-lines", inserts) && !a.option("--repeat", repeat)
                   && !a.option("--target", target) && !a.option("--old-way-lines", oldWayInserts)) {
            std::cerr << "usage: bench_preview [show] [execute] [--lines N] [--execute-lines N] [--repeat R]\n"
                         "                     [--target DIR] [--old-way-lines M]\n";
            return 2;
        }
    }
    if (!show && !execute)
        show = execute = true;

    PrivateOdbc odbc;
    QApplication app(argc, argv);
    Bench bench;
    // The window is measured first, while the process's peak is still its own.
    if (show && !Show(bench, lines))
        return 1;
    if (execute && !Execute(bench, inserts, repeat, target, oldWayInserts))
        return 1;
    return 0;
}
