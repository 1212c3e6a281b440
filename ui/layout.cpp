// Controls made from the layout tables.
#include "ui/layout.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QWidget>

#include <algorithm>

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
    FitCaption(button);
    // Enter does not press a button of its own accord (no window of the program has a default button).
    button->setAutoDefault(false);
    return button;
}

int CaptionMargin(const QPushButton* button, const QFont& font)
{
    const QStyle* style = button->style();
    const int own = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2
        + style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    return std::max(own, QFontMetrics(font).averageCharWidth());
}

void FitCaption(QPushButton* button)
{
    constexpr double kSmallestPoints = 8.0;
    QFont font = button->font();
    const auto fits = [&] {
        return QFontMetrics(font).horizontalAdvance(button->text()) + 2 * CaptionMargin(button, font)
            <= button->width();
    };
    while (!fits() && font.pointSizeF() - 0.25 >= kSmallestPoints)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    button->setFont(font);
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
