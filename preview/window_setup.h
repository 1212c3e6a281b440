// The set-up every window but the main one runs when it loads: button-face
// colours, the application icon, its caption, the hand pointer when the cursor
// file lies beside the program, and the fonts of the layout tables.
#pragma once

#include "ui/appearance.h"
#include "core/error_report.h"

#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace preview {

// Steps 100 (colours), 104 (icon), 106 (caption), 108 and 110 (hand pointer).
void SetUpWindow(QWidget* window, core::GuardedOperation& op, const char* windowName,
                 const std::string& programFolder);

// Fonts and the fixed client size of a window laid out in twips.
void SetFixedClientSize(QWidget* window, int widthTwips, int heightTwips);

// A control of a layout table: name, caption and place in twips.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height = 405);
QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top,
                  int width, int height = 255);
template <typename Control>
Control* MakeControl(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(ui::TwipsRect(left, top, width, height));
    return control;
}

}  // namespace preview
