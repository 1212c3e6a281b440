// The Options dialog of the main window: the choices every run reads from the
// settings store (the source code page, "Transfer Binary", the column types,
// "Verify After Converting" and "Bulk Copy"), set without editing the settings file. OK
// checks the code page name and writes them all; Cancel writes nothing.
#pragma once

#include "core/services.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QCursor;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace shell {

class OptionsDialog : public QDialog {
public:
    OptionsDialog(core::Services& services, QWidget* owner);

    // Colours, icon, caption and hand pointer as the main window has them,
    // then the stored choices into the controls.
    void Form_Load(const std::optional<QCursor>& hand);

    void PushButton1_Click();  // OK
    void PushButton2_Click();  // Cancel

    QGroupBox* Frame1;      // "Source Code Page"
    QComboBox* Combo1;      // the code page name; empty: each table's own
    QLabel* Label1;
    QGroupBox* Frame2;      // "Pictures and Other Binary Data"
    QCheckBox* Check1;      // Transfer Binary
    QGroupBox* Frame3;      // "Column Types"
    QRadioButton* Option1;  // Text
    QRadioButton* Option2;  // SQL Server
    QGroupBox* Frame4;      // "After Converting"
    QCheckBox* Check2;      // Verify After Converting
    QGroupBox* Frame5;      // "Sending"
    QCheckBox* Check4;      // Bulk Copy
    QCheckBox* Check3;      // with the tables' rules (SQL Server only); unticked: keys only
    QPushButton* PushButton1;
    QPushButton* PushButton2;

    static constexpr const char* kCaption = "Options";

private:
    std::string setting(const char* key, const std::string& defaultValue);
    void save(const char* key, const std::string& value);

    core::Services& services_;
};

}  // namespace shell
