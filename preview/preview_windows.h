// The SQL Preview workbench's windows as the program sees them: one instance
// each for the program's life. A window's controls are made when it loads (the
// first access to its list after a close) and destroyed when it closes, while
// its window-level values (ErrorLine, ListLine) live here and survive.
#pragma once

#include "conversion/preview_handoff.h"
#include "core/services.h"

#include <QPointer>

#include <functional>

class QDialog;
class QWidget;

namespace preview {

class Form2;
class Form5;

class PreviewWindows {
public:
    // owner: the main window, over which the SQL Preview opens.
    PreviewWindows(core::Services& services, conversion::PreviewHandOff& handOff, QWidget* owner);
    ~PreviewWindows();

    // Shows the SQL Preview window modally; returns when it has been closed.
    void showPreview();
    // Shows the Find and Replace, Edit Line and Datatypes Conversion windows
    // modally over the SQL Preview window.
    void showFindAndReplace(QWidget* owner);
    void showEditLine(QWidget* owner, int row);
    void showDatatypes(QWidget* owner);

    Form2* form2() const;
    Form5* form5() const;

    core::Services& services() { return services_; }
    conversion::PreviewHandOff& handOff() { return handOff_; }

    int ErrorLine = 0;  // Form2's: the row of the last SQL error, never reset
    int ListLine = 0;   // Form4's: the row being edited

    // Tests: called with each modal window just before it runs its event loop.
    std::function<void(QWidget* window)> onModalShown;

private:
    void loadForm2();
    void loadForm5();
    void execModal(QDialog* window, QWidget* owner);

    core::Services& services_;
    conversion::PreviewHandOff& handOff_;
    QWidget* owner_;
    QPointer<Form2> form2_;
    QPointer<Form5> form5_;
};

}  // namespace preview
