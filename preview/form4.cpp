// The Edit Line dialog.
#include "preview/form4.h"

#include "preview/exact_text_edit.h"
#include "preview/preview_windows.h"
#include "preview/window_setup.h"
#include "ui/layout.h"
#include "ui/appearance.h"

#include <QFocusEvent>
#include <QPushButton>
#include <QTextCursor>

namespace preview {

Form4::Form4(PreviewWindows& windows, QWidget* owner) : WorkbenchDialog(windows, owner, "Form4", 8040, 2580)
{
    Text1 = ui::MakeControl<ExactTextEdit>(this, "Text1", 120, 120, 7800, 1905);
    Text1->reportFailuresTo(windows_.services().dialogs, core::Location("Form4", "Text1_Change"));
    Text1->setTabChangesFocus(true);
    PushButton2 = ui::MakeButton(this, "PushButton2", "OK", 120, 2130, 3840);
    PushButton1 = ui::MakeButton(this, "PushButton1", "Cancel", 4080, 2130, 3840);
    setTabOrder(Text1, PushButton2);
    setTabOrder(PushButton2, PushButton1);
    Text1->installEventFilter(this);
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
}

void Form4::Form_Load()
{
    load("Edit Line");
    Text1->setFocus();
}

void Form4::selectWholeLine()
{
    // Caret at the start of the selection, so typing replaces the line.
    QTextCursor cursor = Text1->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::Start, QTextCursor::KeepAnchor);
    Text1->setTextCursor(cursor);
}

bool Form4::eventFilter(QObject* watched, QEvent* event)
{
    // Each time the user moves the focus to the text its whole text is
    // selected; a click into the text then places the caret where it lands.
    // Focus that comes back from the text's own context menu or with the
    // window keeps the caret: a Paste from that menu must not replace the line.
    if (watched == Text1 && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            core::GuardedOperation op = operation("Text1_GotFocus");
            op.step(100, [&] { selectWholeLine(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form4::PushButton2_Click()
{
    core::GuardedOperation op = operation("PushButton2_Click");
    op.step(100, [&] {
        // An unchanged line that ran stays run: OK alone must not send a row twice.
        // One the server left in doubt is the user's to send again, checked or not.
        conversion::PreviewList& list = windows_.handOff().preview.list();
        const std::string text = Text1->exactText();
        if (text != list.text(windows_.ListLine))
            list.setText(windows_.ListLine, text);
        else if (list.state(windows_.ListLine) == conversion::LineState::InDoubt)
            list.setState(windows_.ListLine, conversion::LineState::NotRun);
    });
    op.step(102, [&] { close(); });
}

void Form4::PushButton1_Click()
{
    closeFrom("PushButton1_Click");
}

}  // namespace preview
