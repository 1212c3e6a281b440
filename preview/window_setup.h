// The set-up every window but the main one runs when it loads: button-face
// colours, the application icon, its caption, the hand pointer when the cursor
// file lies beside the program, and the fonts of the layout tables.
#pragma once

#include "shell/error_report.h"

#include <string>

class QWidget;

namespace preview {

// Steps 100 (colours), 104 (icon), 106 (caption), 108 and 110 (hand pointer).
void SetUpWindow(QWidget* window, shell::GuardedOperation& op, const char* windowName,
                 const std::string& programFolder);

// Fonts and the fixed client size of a window laid out in twips.
void SetFixedClientSize(QWidget* window, int widthTwips, int heightTwips);

}  // namespace preview
