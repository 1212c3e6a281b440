// What the workbench's windows share: their read-only lists, and the frame of
// each dialog with the set-up it runs when it loads (button-face colours, the
// application icon, its caption and the hand pointer when the cursor file lies
// beside the program).
#pragma once

#include "core/error_report.h"

#include <QDialog>

class QTreeView;
class QWidget;

namespace preview {

class PreviewWindows;

// A list of whole rows at its place (twips), which the user selects but does
// not edit; its columns keep their own widths.
QTreeView* MakeRowList(QWidget* parent, const char* name, int left, int top, int width, int height);

// A workbench dialog: named as the program names it (the handlers' location),
// at its designed client size, over the workbench's windows.
class WorkbenchDialog : public QDialog {
protected:
    WorkbenchDialog(PreviewWindows& windows, QWidget* owner, const char* name, int widthTwips, int heightTwips);

    // The guarded operation of one of this window's handlers.
    core::GuardedOperation operation(const char* handler) const;
    // Form_Load's operation, after the window's set-up: steps 100 (colours),
    // 104 (icon), 106 (caption), 108 and 110 (hand pointer).
    core::GuardedOperation load(const char* caption);
    // A button that closes the window: its step 100 closes it.
    void closeFrom(const char* handler);

    PreviewWindows& windows_;

private:
    const char* name_;
};

}  // namespace preview
