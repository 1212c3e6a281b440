// The Find and Replace dialog.
#include "preview/form3.h"

#include "preview/preview_windows.h"
#include "preview/window_setup.h"
#include "ui/layout.h"
#include "core/app_title.h"
#include "ui/appearance.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace preview {

Form3::Form3(PreviewWindows& windows, QWidget* owner) : WorkbenchDialog(windows, owner, "Form3", 8040, 1500)
{
    Label2 = ui::MakeLabel(this, "Label2", "Find what:", 120, 165, 1215);
    Text1 = ui::MakeControl<QLineEdit>(this, "Text1", 1560, 120, 6360, 345);
    Label6 = ui::MakeLabel(this, "Label6", "Replace with:", 120, 645, 1215);
    Text2 = ui::MakeControl<QLineEdit>(this, "Text2", 1560, 600, 6360, 345);
    PushButton2 = ui::MakeButton(this, "PushButton2", "Replace", 120, 1050, 3840);
    PushButton1 = ui::MakeButton(this, "PushButton1", "Cancel", 4080, 1050, 3840);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, PushButton2);
    setTabOrder(PushButton2, PushButton1);
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
}

void Form3::Form_Load()
{
    load("Find and Replace");
    Text1->setFocus();
}

std::optional<std::string> Form3::ReplaceFirst(std::string_view line, const QString& search,
                                               const QString& replacement)
{
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    const qsizetype at = text.indexOf(search, 0, Qt::CaseInsensitive);
    if (at < 0)
        return std::nullopt;
    return (text.left(at) + replacement + text.mid(at + search.size())).toStdString();
}

void Form3::PushButton2_Click()
{
    if (running_)
        return;  // a second click while the lines are replaced does nothing
    auto& services = windows_.services();
    auto& list = windows_.handOff().preview.list();
    core::GuardedOperation op = operation("PushButton2_Click");
    auto say = [&](const char* text) {
        platform::Message m;
        m.text = text;
        m.title = core::AppTitle();
        services.dialogs.show(m);
    };

    bool empty = false;
    if (op.step(100, [&] { empty = list.count() == 0; }) && empty) {
        op.step(128, [&] { say("No SQL to run."); });
        return;
    }
    // An empty search text would match at the start of every line.
    if (op.test(130, [&] { return Text1->text().isEmpty(); })) {
        op.step(132, [&] { say(kEmptySearch); });
        return;
    }
    running_ = true;
    stopRequested_ = false;
    op.step(102, [&] { ui::SetBusyPointer(this, true); });
    QString search;
    QString replacement;
    int n = 0;
    op.step(104, [&] {
        search = Text1->text();
        replacement = Text2->text();
        n = list.count();
    });
    for (int r = 1; r <= n; ++r) {
        op.step(106, [&] { services.events.yield(); });
        if (stopRequested_)
            break;
        std::optional<std::string> replaced;
        op.step(108, [&] {
            replaced = ReplaceFirst(list.text(r), search, replacement);
            // A line the replacement leaves as it was is not edited: if it ran, it stays run.
            if (replaced && *replaced == list.text(r))
                replaced.reset();
        });
        if (!replaced)
            continue;
        op.step(120, [&] { list.setText(r, *replaced); });
    }
    op.step(122, [&] { ui::SetBusyPointer(this, false); });
    running_ = false;
    if (!stopRequested_)
        op.step(124, [&] { say("Done."); });
    op.step(126, [&] { close(); });
}

void Form3::PushButton1_Click()
{
    closeFrom("PushButton1_Click");
}

void Form3::reject()
{
    // Cancel, Escape and the close box during a Replace stop it after the
    // current line; the dialog closes when it has stopped.
    core::GuardedOperation op = operation("Form_QueryUnload");
    if (op.test(100, [&] { return running_; })) {
        stopRequested_ = true;
        return;
    }
    op.step(102, [&] { QDialog::reject(); });
}

}  // namespace preview
