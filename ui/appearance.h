// What every window looks like: positions from twips, the fonts, the
// application icon, the button-face colouring, the hand pointer and captions.
#pragma once


#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QProgressBar>
#include <QRect>

#include <string>

class QWidget;

namespace ui {

// The progress bar of the program's windows: a value from 0 to 100 and the
// program's own text drawn inside it, verbatim (the bar's format would read
// "%p" and the like in a table name). The value reaches the screen a few times
// a second, never once per record.
class TextProgressBar : public QProgressBar {
public:
    explicit TextProgressBar(QWidget* parent = nullptr);
    void setPercent(double percent);
    double percent() const { return percent_; }
    void setDisplayText(const QString& text);
    // A text with "%1" and "%2" for two numbers that change many times a
    // second: it is formatted only when the bar is painted, which happens at
    // the percent's pace.
    void setDisplayText(const QString& pattern, int first, int second);
    QString text() const override;

private:
    void showLater();
    void showPercent();

    QString text_;
    QString pattern_;  // null: text_ is the text
    int first_ = 0;
    int second_ = 0;
    bool numbersChanged_ = false;
    double percent_ = 0;
    bool pending_ = false;
};

// 15 twips make one pixel at 96 dpi; Qt scales on high-dpi screens.
inline int Twips(int twips) { return (twips + 7) / 15; }
inline QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

QFont WindowFont();  // Arial 9 pt bold
QFont ButtonFont();  // Arial 11.25 pt bold

// Our own icon, drawn in code so that it needs no file.
QIcon ApplicationIcon();

// "SQL Preview - Dovenmark" and the like.
QString Caption(const char* windowName);

// Window background, and that of its option buttons, check boxes, frames and
// labels at any depth, to the button-face colour.
void NormalizeColors(QWidget* window);
// The designed look without a skin: white frames, labels, check and option buttons.
void ApplyDesignedColors(QWidget* window);

inline constexpr const char* kHandCursorFile = "HAND-M.CUR";
inline constexpr const char* kSkinFile = "x/o.cjs";

// Loads the cursor file; throws when it exists but is no picture.
QCursor LoadCursorFile(const std::string& path);
// The pointer rule: the hand over every push button of the window. While the
// window shows the busy pointer the hand waits until the busy pointer goes.
void ApplyHandPointer(QWidget* window, const QCursor& hand);

// The busy (hourglass) pointer of one window: over the window and every control
// on it, the hand of its buttons and the text boxes' beam included; other
// windows (its dialogs, the message boxes) keep their own pointers. Calls nest:
// each busy one is undone by one not-busy one, and the outermost brings back
// the pointers the window showed before.
void SetBusyPointer(QWidget* window, bool busy);
bool BusyPointerShown(const QWidget* window);

}  // namespace ui
