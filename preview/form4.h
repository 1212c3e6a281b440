// Form4, Edit Line: rewrite one line of the SQL Preview; OK writes it back.
#pragma once

#include "preview/exact_text_edit.h"

#include "preview/window_setup.h"

class QPushButton;

namespace preview {


class Form4 : public WorkbenchDialog {
public:
    Form4(PreviewWindows& windows, QWidget* owner);
    void Form_Load();

    void PushButton1_Click();  // Cancel
    void PushButton2_Click();  // OK
    // The whole text selected, the caret at its start.
    void selectWholeLine();

    ExactTextEdit* Text1;
    QPushButton* PushButton2;
    QPushButton* PushButton1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace preview
