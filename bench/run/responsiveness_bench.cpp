// How often the real main window gets its event loop during a direct-mode run.
//
// The program's main window (offscreen) converts a table of ten mixed fields
// into an SQLite file standing in for SQL Server, with the program's own
// time-sliced yield into QCoreApplication::processEvents. Two clocks watch:
// the yield's callback stamps every event-loop turn, and a 5 ms QTimer, which
// can only fire inside a turn, records the longest interval between firings.
//
//   bench_responsiveness [--records N] [--repeat R]
#include "bench/support/bench_windows.h"

#include "platform/time_sliced_event_loop.h"
#include "shell/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QCheckBox>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <iostream>

namespace {

using namespace benchsupport;

struct Watch {
    bool running = false;
    Clock::time_point start, lastTurn, lastTimer;
    double longestTurnGap = 0;   // between the starts of successive turns (and the run's ends)
    double longestTurn = 0;      // one turn's own duration
    double longestTimerGap = 0;  // between successive firings of the 5 ms timer
    unsigned long turns = 0;
    unsigned long firings = 0;
    unsigned long paints = 0;    // of the progress bar: the window really repainted
    double seconds = 0;

    void begin()
    {
        *this = Watch{};
        running = true;
        start = lastTurn = lastTimer = Clock::now();
    }
    void end()
    {
        const auto now = Clock::now();
        note(longestTurnGap, now - lastTurn);
        note(longestTimerGap, now - lastTimer);
        seconds = std::chrono::duration<double>(now - start).count();
        running = false;
    }
    static void note(double& longest, Clock::duration d)
    {
        longest = std::max(longest, std::chrono::duration<double, std::milli>(d).count());
    }
};

// Counts the paint events of a widget while the run goes.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(Watch& watch) : watch_(watch) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watch_.running)
            ++watch_.paints;
        return QObject::eventFilter(watched, event);
    }

private:
    Watch& watch_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int records = 100'000;
    int repeat = 3;
    for (Arguments a(argc, argv); a.next();) {
        if (!a.option("--records", records) && !a.option("--repeat", repeat)) {
            std::cerr << "usage: bench_responsiveness [--records N] [--repeat R]\n";
            return 2;
        }
    }

    PrivateOdbc odbc;
    ScratchFolder scratch("dovenmark-bench-ui");
    const fs::path folder = scratch.path() / "tables";
    WriteRunTable(folder, records);

    QApplication app(argc, argv);
    Watch watch;

    // The program's yield, with a stamp at every turn.
    platform::TimeSlicedEventLoop events([&watch] {
        const auto t = Clock::now();
        if (watch.running) {
            Watch::note(watch.longestTurnGap, t - watch.lastTurn);
            ++watch.turns;
        }
        watch.lastTurn = t;
        QCoreApplication::processEvents();
        if (watch.running)
            Watch::note(watch.longestTurn, Clock::now() - t);
    });
    WindowServices program(scratch.path(), events);
    RecordingDialogs& dialogs = program.dialogs;
    shell::Form1 form(program.services, conversion::RegionalSettings{});
    form.Form_Load();
    form.show();
    PaintCounter paints(watch);
    form.ProgressBar1->installEventFilter(&paints);

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&watch] {
        const auto t = Clock::now();
        if (watch.running) {
            Watch::note(watch.longestTimerGap, t - watch.lastTimer);
            ++watch.firings;
        }
        watch.lastTimer = t;
    });
    ticker.start();

    double worstTurnGap = 0, worstTimerGap = 0, worstTurn = 0;
    unsigned long turns = 0;
    int failures = 0;
    for (int i = 0; i < repeat; ++i) {
        const fs::path database = scratch.path() / ("target" + std::to_string(i) + ".sqlite");
        form.Check1->setChecked(false);  // direct mode
        form.setText(form.Text1, folder.string());
        form.setText(form.Text5, "localhost");
        form.setText(form.Text8, database.string());
        dialogs.messages.clear();
        // Let the window settle and paint before the run starts. A local loop:
        // quitting the application's loop would close the window.
        QEventLoop loop;
        QTimer::singleShot(50, &loop, [&] {
            watch.begin();
            form.PushButton7->click();
            watch.end();
            loop.quit();
        });
        loop.exec();
        const double s = watch.seconds;
        if (dialogs.others() != 0 || dialogs.messages.empty()) {
            std::cerr << "the run reported: " << dialogs.firstOther() << "\n";
            ++failures;
        }
        std::cout << "repetition " << i + 1 << ": " << watch.turns << " event-loop turns, " << watch.firings
                  << " timer firings, " << watch.paints << " progress bar paints; longest gap between turns "
                  << Fixed(watch.longestTurnGap, 1) << " ms, longest turn " << Fixed(watch.longestTurn, 1)
                  << " ms, longest gap between 5 ms timer firings " << Fixed(watch.longestTimerGap, 1)
                  << " ms (run " << Fixed(s, 2) << " s)\n";
        if (watch.paints == 0) {
            std::cerr << "the window never repainted during the run\n";
            ++failures;
        }
        worstTurnGap = std::max(worstTurnGap, watch.longestTurnGap);
        worstTimerGap = std::max(worstTimerGap, watch.longestTimerGap);
        worstTurn = std::max(worstTurn, watch.longestTurn);
        turns = std::max(turns, watch.turns);
        std::error_code ec;
        fs::remove(database, ec);
    }
    if (failures)
        return 1;

    const std::string label = std::to_string(records / 1000) + "k records, worst of " + std::to_string(repeat);
    const double worst = std::max(worstTurnGap, worstTimerGap);
    std::printf("FIGURE\tlongest gap between event-loop turns, Form1 run (%s)\t%s ms (timer: %s ms)\t<= 50 ms\t%s\n",
                label.c_str(), Fixed(worstTurnGap, 1).c_str(), Fixed(worstTimerGap, 1).c_str(),
                worst <= 50 ? "ok" : "MISSED");
    std::printf("FIGURE\tevent-loop turns during the run (most of %d)\t%lu\t\t\n", repeat, turns);
    std::printf("FIGURE\tlongest single turn (processEvents)\t%s ms\t\t\n", Fixed(worstTurn, 1).c_str());
    return 0;
}
