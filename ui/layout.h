// The layout helper of every window: controls made from their layout-table
// rows (name, caption, left, top, width and height in twips) and the fixed
// client size, so that each window's code reads like its table.
#pragma once

#include "ui/appearance.h"

class QFont;
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
// A caption that would fill the button edge to edge gets a smaller font
// (FitCaption), never a wider button.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height = 405);

// The room a caption leaves on each side of a button: the style's own button
// margin and frame, and at least one average character of the caption's font.
int CaptionMargin(const QPushButton* button, const QFont& font);
// Lowers the button's font by quarter points (down to 8 points) until the
// caption fits between its margins.
void FitCaption(QPushButton* button);
QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top,
                  int width, int height = 255);
QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, int left, int top,
                     int width, int height);

}  // namespace ui
