// The layout helper of every window: controls made from their layout-table
// rows (name, caption, left, top, width and height in twips) and the fixed
// client size, so that each window's code reads like its table.
#pragma once

#include "ui/appearance.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace ui {

// The window's font and its fixed client size.
void SetFixedClientSize(QWidget* window, int widthTwips, int heightTwips);

// A control of any kind at its place.
template <typename Control>
Control* MakeControl(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(TwipsRect(left, top, width, height));
    return control;
}

// A push button in the button font; every button is 405 twips high unless its row says otherwise.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height = 405);
QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top,
                  int width, int height = 255);
QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, int left, int top,
                     int width, int height);

}  // namespace ui
