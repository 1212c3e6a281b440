// Fonts, icon, colours, pointers and the progress bar of every window.
#include "ui/appearance.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace ui {

namespace {
constexpr int kProgressSteps = 10000;
}

TextProgressBar::TextProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, kProgressSteps);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void TextProgressBar::setPercent(double percent)
{
    percent_ = std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0;
    if (percent_ == 0) {
        showPercent();  // a reset shows at once
        return;
    }
    showLater();
}

void TextProgressBar::showLater()
{
    if (!pending_) {
        pending_ = true;
        QTimer::singleShot(40, this, [this] { showPercent(); });
    }
}

void TextProgressBar::showPercent()
{
    pending_ = false;
    const int value = static_cast<int>(std::lround(percent_ * kProgressSteps / 100.0));
    if (this->value() != value)
        setValue(value);
    if (numbersChanged_) {
        numbersChanged_ = false;
        update();
    }
}

void TextProgressBar::setDisplayText(const QString& text)
{
    text_ = text;
    pattern_ = QString();
    update();
}

void TextProgressBar::setDisplayText(const QString& pattern, int first, int second)
{
    pattern_ = pattern;
    first_ = first;
    second_ = second;
    numbersChanged_ = true;
    showLater();
}

QString TextProgressBar::text() const
{
    return pattern_.isNull() ? text_ : pattern_.arg(first_).arg(second_);
}

QFont WindowFont()
{
    QFont f("Arial");
    f.setPointSizeF(9);
    f.setBold(true);
    return f;
}

QFont ButtonFont()
{
    QFont f("Arial");
    f.setPointSizeF(11.25);
    f.setBold(true);
    return f;
}

namespace {
// A database cylinder with a dove-grey wing: the copy from one store to another.
QPixmap DrawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient body(0, 0, s, 0);
    body.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
    body.setColorAt(1, QColor(0x3d, 0x7c, 0xc9));
    const QRectF cylinder(s * 0.14, s * 0.18, s * 0.56, s * 0.70);
    const qreal cap = s * 0.16;
    QPainterPath path;
    path.moveTo(cylinder.left(), cylinder.top() + cap / 2);
    path.lineTo(cylinder.left(), cylinder.bottom() - cap / 2);
    path.arcTo(QRectF(cylinder.left(), cylinder.bottom() - cap, cylinder.width(), cap), 180, 180);
    path.lineTo(cylinder.right(), cylinder.top() + cap / 2);
    path.arcTo(QRectF(cylinder.left(), cylinder.top(), cylinder.width(), cap), 0, 180);
    p.setPen(QPen(QColor(0x12, 0x2f, 0x55), s / 40));
    p.setBrush(body);
    p.drawPath(path);
    p.setBrush(QColor(0x8f, 0xb8, 0xea));
    p.drawEllipse(QRectF(cylinder.left(), cylinder.top(), cylinder.width(), cap));
    p.setPen(QPen(QColor(0x8f, 0xb8, 0xea), s / 32));
    for (int band = 1; band <= 2; ++band) {
        const qreal y = cylinder.top() + cylinder.height() * band / 3.0;
        p.drawArc(QRectF(cylinder.left(), y - cap / 2, cylinder.width(), cap), 180 * 16, 180 * 16);
    }
    // The wing: a grey swoosh from the store towards the upper right.
    QPainterPath wing;
    wing.moveTo(s * 0.50, s * 0.58);
    wing.cubicTo(s * 0.62, s * 0.30, s * 0.80, s * 0.16, s * 0.96, s * 0.10);
    wing.cubicTo(s * 0.88, s * 0.30, s * 0.78, s * 0.50, s * 0.50, s * 0.58);
    p.setPen(QPen(QColor(0x55, 0x5a, 0x60), s / 48));
    p.setBrush(QColor(0xe8, 0xea, 0xed));
    p.drawPath(wing);
    return pixmap;
}
}  // namespace

QIcon ApplicationIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            i.addPixmap(DrawIcon(size));
        return i;
    }();
    return icon;
}

QString Caption(const char* windowName)
{
    return QString::fromUtf8(windowName) + " - Dovenmark";
}

namespace {
void SetBackground(QWidget* w, const QColor& colour)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

bool TakesWindowColours(QWidget* w)
{
    return qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)
        || qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w);
}

void ColourControls(QWidget* window, const QColor& colour)
{
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (TakesWindowColours(child))
            SetBackground(child, colour);
    }
}
}  // namespace

void NormalizeColors(QWidget* window)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    SetBackground(window, face);
    ColourControls(window, face);
}

void ApplyDesignedColors(QWidget* window)
{
    ColourControls(window, QColor(0xFF, 0xFF, 0xFF));
}

QCursor LoadCursorFile(const std::string& path)
{
    QPixmap picture;
    if (!picture.load(QString::fromStdString(path)) || picture.isNull())
        throw std::runtime_error("Invalid picture");
    return QCursor(picture, 0, 0);
}

namespace {
// What a window showed before it became busy, and how deep the busy calls are.
class BusyState : public QObject {
public:
    explicit BusyState(QWidget* window) : QObject(window) {}

    int depth = 0;
    // Controls of the window with a pointer of their own, and that pointer.
    std::vector<std::pair<QPointer<QWidget>, QCursor>> saved;
    std::optional<QCursor> windowCursor;  // the window's own pointer, if it had one
};

BusyState* BusyStateOf(const QWidget* window)
{
    for (QObject* child : window->children()) {
        if (auto* state = dynamic_cast<BusyState*>(child))
            return state;
    }
    return nullptr;
}

bool OwnCursor(const QWidget* w)
{
    return w->testAttribute(Qt::WA_SetCursor);
}

// The controls of the window itself, not those of the windows it owns.
std::vector<QWidget*> ControlsOf(QWidget* window)
{
    std::vector<QWidget*> controls;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->window() == window)
            controls.push_back(child);
    }
    return controls;
}

void BecomeBusy(QWidget* window, BusyState& state)
{
    if (OwnCursor(window))
        state.windowCursor = window->cursor();
    window->setCursor(Qt::WaitCursor);
    for (QWidget* control : ControlsOf(window)) {
        if (!OwnCursor(control))
            continue;  // it shows the window's pointer
        state.saved.emplace_back(control, control->cursor());
        control->setCursor(Qt::WaitCursor);
    }
}

void EndBusy(QWidget* window, BusyState& state)
{
    for (auto& [control, cursor] : state.saved) {
        if (control)
            control->setCursor(cursor);
    }
    state.saved.clear();
    if (state.windowCursor)
        window->setCursor(*state.windowCursor);
    else
        window->unsetCursor();
    state.windowCursor.reset();
}
}  // namespace

void ApplyHandPointer(QWidget* window, const QCursor& hand)
{
    BusyState* state = BusyStateOf(window);
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->window() != window)
            continue;
        if (!state || state->depth == 0) {
            button->setCursor(hand);
            continue;
        }
        // Busy: the hand is what the button shows once the busy pointer goes.
        auto it = std::find_if(state->saved.begin(), state->saved.end(),
                               [button](const auto& entry) { return entry.first == button; });
        if (it != state->saved.end())
            it->second = hand;
        else
            state->saved.emplace_back(button, hand);
        button->setCursor(Qt::WaitCursor);
    }
}

void SetBusyPointer(QWidget* window, bool busy)
{
    BusyState* state = BusyStateOf(window);
    if (busy) {
        if (!state)
            state = new BusyState(window);
        if (state->depth++ == 0)
            BecomeBusy(window, *state);
        return;
    }
    // A not-busy call without its busy one changes nothing.
    if (!state || state->depth == 0)
        return;
    if (--state->depth == 0)
        EndBusy(window, *state);
}

bool BusyPointerShown(const QWidget* window)
{
    const BusyState* state = BusyStateOf(window);
    return state && state->depth > 0;
}

}  // namespace ui
