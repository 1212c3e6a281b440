// Controls made from the layout tables.
#include "ui/layout.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace ui {

void SetFixedClientSize(QWidget* window, int widthTwips, int heightTwips)
{
    window->setFont(WindowFont());
    window->setFixedSize(Twips(widthTwips), Twips(heightTwips));
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height)
{
    auto* button = MakeControl<QPushButton>(parent, name, left, top, width, height);
    button->setText(QString::fromUtf8(caption));
    button->setFont(ButtonFont());
    // Enter does not press a button of its own accord (no window of the program has a default button).
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                  int height)
{
    auto* label = MakeControl<QLabel>(parent, name, left, top, width, height);
    label->setText(QString::fromUtf8(caption));
    return label;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                     int height)
{
    auto* frame = MakeControl<QGroupBox>(parent, name, left, top, width, height);
    frame->setTitle(QString::fromUtf8(caption));
    return frame;
}

}  // namespace ui
