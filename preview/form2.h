// Form2, the SQL Preview window: the generated SQL one statement per line;
// execute it on the run's connection, see the failing line and why, edit,
// replace, copy, mail the error, view the datatypes, skip the table or go back.
#pragma once

#include "preview/exact_text_edit.h"

#include "ui/appearance.h"
#include "preview/window_setup.h"

#include <string>

class QGroupBox;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace preview {

class PreviewListModel;

class Form2 : public WorkbenchDialog {
public:
    Form2(PreviewWindows& windows, QWidget* owner);
    ~Form2() override;

    void Form_Load();
    // Before each showing: the view catches up with what the run added.
    void aboutToShow();

    void PushButton1_Click();  // Execute SQL
    void PushButton2_Click();  // Copy SQL To Clipboard
    void PushButton3_Click();  // Find and Replace
    void PushButton4_Click();  // Copy Error Message To Clipboard
    void PushButton5_Click();  // < Back
    void PushButton6_Click();  // Jump To Error Line
    void PushButton7_Click();  // View Datatype Conversion
    void PushButton8_Click();  // Email Error Message
    void PushButton9_Click();  // Skip Table / Do Not Execute SQL
    void ListView1_Click(const QModelIndex& index);

    bool executing() const { return executing_; }
    std::string errorText() const;
    // The mail link of PushButton8, subject and body percent-encoded.
    static std::string MailLink(const std::string& errorText);

    QPushButton* PushButton1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QPushButton* PushButton4;
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
    QPushButton* PushButton9;
    QTreeView* ListView1;
    QGroupBox* Frame2;
    ExactTextEdit* Text1;
    ui::TextProgressBar* ProgressBar1;

    static constexpr const char* kToolTip =
        "Click item to edit it. Move | line to right and out of window to reveal full names.";

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void selectRow(int row);
    // The list's one column as wide as its widest line (at least the designed
    // 7000 twips, or what the user dragged), so that long statements scroll
    // sideways into view; widenColumnFor measures rows whose text changed.
    void fitColumnToLines();
    void widenColumnFor(int firstRow, int lastRow);
    void message(const std::string& text, platform::Icon icon = platform::Icon::None);
    // Back, Skip and the close box while Execute SQL runs: stop after the current line, then close.
    bool deferCloseWhileExecuting();
    // Step 100 of the two buttons that send the error text: false when there is none.
    bool errorTextToSend(core::GuardedOperation& op, std::string& text);

    PreviewListModel* model_ = nullptr;
    bool executing_ = false;
    bool closeRequested_ = false;
};

}  // namespace preview
