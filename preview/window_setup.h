// The set-up every window but the main one runs when it loads: button-face
// colours, the application icon, its caption and the hand pointer when the
// cursor file lies beside the program.
#pragma once

#include "core/error_report.h"

#include <string>

class QWidget;

namespace preview {

// Steps 100 (colours), 104 (icon), 106 (caption), 108 and 110 (hand pointer).
void SetUpWindow(QWidget* window, core::GuardedOperation& op, const char* windowName,
                 const std::string& programFolder);

}  // namespace preview
