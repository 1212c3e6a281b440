// Form3, Find and Replace: in every line of the SQL Preview, the first
// occurrence of a text, letter case ignored, is replaced as typed.
#pragma once

#include "preview/window_setup.h"
#include <QString>

#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

namespace preview {


class Form3 : public WorkbenchDialog {
public:
    Form3(PreviewWindows& windows, QWidget* owner);
    void Form_Load();

    void PushButton1_Click();  // Cancel
    void PushButton2_Click();  // Replace

    // The line with the first occurrence of search (letter case ignored, in any
    // script) replaced; nothing when the line does not hold it.
    static std::optional<std::string> ReplaceFirst(std::string_view line, const QString& search,
                                                   const QString& replacement);

    QLabel* Label2;
    QLineEdit* Text1;
    QLabel* Label6;
    QLineEdit* Text2;
    QPushButton* PushButton2;
    QPushButton* PushButton1;

    static constexpr const char* kEmptySearch = "Please type the text to find.";

protected:
    void reject() override;

private:
    bool running_ = false;
    bool stopRequested_ = false;
};

}  // namespace preview
