// The main window: its layout, its load sequence and its handlers.
#include "shell/form1.h"

#include "conversion/conversion_run.h"
#include "core/app_title.h"
#include "ui/appearance.h"
#include "ui/layout.h"
#include "core/error_report.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "shell/options_dialog.h"
#include "sources/folder_picker.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

namespace shell {

using namespace core;
using namespace ui;

namespace {
// The help's first paragraph, as it reads by default and while the setting
// "Transfer Binary" is on, and the rest of the help.
const char* const kHelpNoBinary =
    "This software transfers text-based and numeric fields but does not handle binary / pictures fields.";
const char* const kHelpBinary =
    "This software transfers text-based and numeric fields, and binary / pictures fields as their bytes "
    "(Transfer Binary is on).";
// Added to the first paragraph while the setting "Column Types" is "SQL Server".
const char* const kHelpSqlServerTypes =
    " Columns get SQL Server's own types and keyed tables their primary keys (Column Types is SQL Server).";
const char* const kHelpRest =
    "\r\n\r\n"
    "Use SQL Preview if your tables contains less than 32767 rows.\r\n\r\n"
    "Questions? Please contact Team Marrowby at ";

// The help text as the settings make it now.
std::string HelpText(platform::SettingsStore& settings)
{
    bool binary = false;
    bool typed = false;
    // A stored text that names no choice leaves it off, as the run does.
    try {
        binary = TransferBinarySetting(settings);
    } catch (const std::exception&) {
    }
    try {
        typed = conversion::ColumnTypesFromSetting(settings.GetSetting(
                    kSettingsApplication, kSettingsSection, key::ColumnTypes, "")) == conversion::ColumnTypes::SqlServer;
    } catch (const std::exception&) {
    }
    return std::string(binary ? kHelpBinary : kHelpNoBinary) + (typed ? kHelpSqlServerTypes : "") + kHelpRest;
}

// A text box that keeps its caret where it was when the Tab key brings the
// focus (a plain QLineEdit selects its whole text then).
class KeepCaretLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        const bool hadSelection = hasSelectedText();
        const int caret = cursorPosition();
        QLineEdit::focusInEvent(event);
        if (!hadSelection && hasSelectedText()) {
            deselect();
            setCursorPosition(caret);
        }
    }
};

// The password box shows "*" for each character, whatever the style's own
// mask character (often a bullet), and never the last character typed.
class AsteriskPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
}  // namespace

Form1::Form1(Services& services, conversion::RegionalSettings regional)
    : services_(services), regional_(std::move(regional))
{
    setObjectName("Form1");
    buildControls();
    connectHandlers();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    SetFixedClientSize(this, 8040, 7650);

    PushButton5 = MakeButton(this, "PushButton5", "Help", 120, 120, 7800);

    Frame1 = MakeFrame(this, "Frame1", "Paradox Database", 120, 630, 7800, 1425);
    Label1 = MakeLabel(Frame1, "Label1", "Paradox Folder:", 240, 405, 1455);
    Text1 = MakeControl<QLineEdit>(Frame1, "Text1", 1680, 360, 5055, 345);
    PushButton1 = MakeButton(Frame1, "PushButton1", "...", 6840, 360, 720, 345);
    PushButton2 = MakeButton(Frame1, "PushButton2", "Load Sample/Example Database", 240, 840, 3600);
    PushButton3 = MakeButton(Frame1, "PushButton3", "Test Connection", 3945, 840, 3600);

    Frame3 = MakeFrame(this, "Frame3", "MS SQL Server Login", 120, 2160, 7800, 3135);
    Label2 = MakeLabel(Frame3, "Label2", "Server:", 240, 405, 975);
    Text5 = MakeControl<QLineEdit>(Frame3, "Text5", 1320, 360, 4575, 330);
    Label10 = MakeLabel(Frame3, "Label10", "Port:", 6120, 405, 495);
    Text6 = MakeControl<QLineEdit>(Frame3, "Text6", 6600, 360, 960, 330);
    Label4 = MakeLabel(Frame3, "Label4", "Username:", 240, 885, 1095);
    Text3 = MakeControl<KeepCaretLineEdit>(Frame3, "Text3", 1320, 840, 6255, 330);
    Label5 = MakeLabel(Frame3, "Label5", "Password:", 240, 1365, 1095);
    Text4 = MakeControl<KeepCaretLineEdit>(Frame3, "Text4", 1320, 1320, 6255, 330);
    Text4->setEchoMode(QLineEdit::Password);
    auto* mask = new AsteriskPasswordStyle;
    mask->setParent(Text4);
    Text4->setStyle(mask);
    Label3 = MakeLabel(Frame3, "Label3", "Database:", 240, 1800, 1095);
    Text8 = MakeControl<KeepCaretLineEdit>(Frame3, "Text8", 1320, 1800, 6255, 330);
    Check4 = MakeControl<QCheckBox>(Frame3, "Check4", 1305, 2175, 1950, 330);
    Check4->setText("Local Connection");
    Label6 = MakeLabel(Frame3, "Label6", "", 3360, 2205, 4215);
    Label6->hide();
    PushButton6 = MakeButton(Frame3, "PushButton6", "Test Connection", 240, 2565, 3600);
    PushButton4 = MakeButton(Frame3, "PushButton4", "Help", 3960, 2565, 3600);

    Frame2 = MakeFrame(this, "Frame2", "SQL Preview", 120, 5400, 7800, 1065);
    Check1 = MakeControl<QCheckBox>(Frame2, "Check1", 240, 300, 6735, 255);
    Check1->setText("Enable SQL Preview mode to see SQL commands or check for errors");
    Option1 = MakeControl<QRadioButton>(Frame2, "Option1", 240, 630, 3135, 255);
    Option1->setText("Show SQL Preview For Each File");
    Option2 = MakeControl<QRadioButton>(Frame2, "Option2", 3600, 630, 3375, 255);
    Option2->setText("Show SQL Preview For Each Table");
    auto* pair = new QButtonGroup(Frame2);
    pair->addButton(Option1);
    pair->addButton(Option2);
    Option1->setChecked(true);  // as designed
    // The run's other choices, beside the preview's, in the room the frame leaves on its right.
    PushButton8 = MakeButton(Frame2, "PushButton8", "...", 7020, 300, 660, 585);
    PushButton8->setToolTip("Options: source code page, binary data, column types");

    PushButton7 = MakeButton(this, "PushButton7", "Start Converting", 120, 6585, 7800);
    ProgressBar1 = MakeControl<TextProgressBar>(this, "ProgressBar1", 120, 7110, 7800, 405);

    // Work lists of the conversion run, below the bottom edge of the client area.
    List1Box = MakeControl<QListWidget>(this, "List1", 240, 8820, 3330, 1635);
    List2Box = MakeControl<QListWidget>(this, "List2", 3840, 8820, 3330, 1635);

    ApplyDesignedColors(this);
}

template <typename Body>
void Form1::handle(const std::string& location, Body&& body) noexcept
{
    try {
        GuardedOperation op(services_.dialogs, location);
        try {
            body(op);
        } catch (...) {
            op.report(CurrentExceptionDescription());
        }
    } catch (...) {
        // Not even the report could be made: there is nothing left to tell.
    }
}

void Form1::connectHandlers()
{
    // The buttons whose modules guard their own steps.
    const std::pair<QPushButton*, void (*)(Services&, MainForm&)> modules[] = {
        {PushButton1, AddFolder::BrowseForParadoxFolder},
        {PushButton2, Paradox::LoadSample},
        {PushButton3, Paradox::TestConnection},
        {PushButton4, [](Services& services, MainForm&) { MSSQL::LoginHelp(services); }},
        {PushButton6, MSSQL::TestConnection}};
    for (const auto& [button, click] : modules) {
        const std::string location = core::Location("Form1", (button->objectName() + "_Click").toUtf8().constData());
        connect(button, &QPushButton::clicked, this, [this, location, click] {
            handle(location, [&](GuardedOperation&) { click(services_, *this); });
        });
    }
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    connect(Check4, &QCheckBox::toggled, this, [this] { Check4_Click(); });
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) { if (on) Option1_Click(); });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) { if (on) Option2_Click(); });

    const std::tuple<QLineEdit*, const char*, const char*> boxes[] = {
        {Text1, "Text1_Change", key::ParadoxFolder}, {Text3, "Text3_Change", key::MssqlUser},
        {Text4, "Text4_Change", key::MssqlPassword}, {Text5, "Text5_Change", key::MssqlServer},
        {Text6, "Text6_Change", key::MssqlPort},     {Text8, "Text8_Change", key::MssqlDatabase}};
    for (const auto& [box, handler, settingKey] : boxes) {
        connect(box, &QLineEdit::textChanged, this,
                [this, h = handler, k = settingKey](const QString& t) { Text_Change(h, k, t); });
    }
    for (QLineEdit* box : {Text1, Text5, Text6})
        box->installEventFilter(this);
    connect(Text4, &QLineEdit::textChanged, this, [this] { updateLoginNote(); });
    connect(Text4, &QLineEdit::editingFinished, this, [this] {
        for (const platform::Message& m : std::exchange(heldMessages_, {}))
            showWhenNotTyping(m);
    });
}

std::string Form1::setting(const char* settingKey, const std::string& defaultValue)
{
    return services_.settings.GetSetting(kSettingsApplication, kSettingsSection, settingKey,
                                         defaultValue);
}

void Form1::save(const char* settingKey, const std::string& value)
{
    services_.settings.SaveSetting(kSettingsApplication, kSettingsSection, settingKey, value);
}

void Form1::Form_Load()
{
    GuardedOperation op(services_.dialogs, core::Location("Form1", "Form_Load"));
    const std::string folder = services_.paths.folder;

    op.step(100, [&] {
        if (FileExists(folder + "/" + kSkinFile))
            applySkinColours();
    });
    if (op.test(104, [&] { return FileExists(folder + "/" + kHandCursorFile); })) {
        op.step(106, [&] {
            hand_ = LoadCursorFile(folder + "/" + kHandCursorFile);
            ApplyHandPointer(this, *hand_);
        });
    }
    op.step(108, [&] {
        if (!SettingToBoolean(setting(key::OpenWebPage, "True")))
            return;  // the user turned it off
        const int draw = static_cast<int>(std::floor(services_.randomDraw() * 100)) + 1;
        if (draw == 7 && !services_.desktop.open(kHomePage))
            throw std::runtime_error("Cannot open the web page " + std::string(kHomePage));
    });
    op.step(126, [&] {
        setWindowTitle(QString::fromUtf8(kProductName.data(), static_cast<int>(kProductName.size())));
        setWindowIcon(ApplicationIcon());
        SetAppTitle();
    });
    op.step(128, [&] { Check1->setChecked(SettingToInteger(setting(key::Check1, "1")) != 0); });
    op.step(130, [&] { setOptionValue(Option1, SettingToBoolean(setting(key::Option1, "1"))); });
    op.step(132, [&] { setOptionValue(Option2, SettingToBoolean(setting(key::Option2, "0"))); });
    op.step(134, [&] { setText(Text1, setting(key::ParadoxFolder, "")); });
    op.step(136, [&] { setText(Text5, setting(key::MssqlServer, "")); });
    op.step(138, [&] { setText(Text3, setting(key::MssqlUser, "")); });
    op.step(140, [&] { setText(Text4, setting(key::MssqlPassword, "")); });
    op.step(142, [&] { setText(Text8, setting(key::MssqlDatabase, "")); });
    op.step(144, [&] { setText(Text6, setting(key::MssqlPort, "1433")); });
    op.step(146, [&] { Check4->setChecked(setting(key::LocalConnection, "0") != "0"); });
    op.step(148, [&] { Check1_Click(); });

    // Centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form1::applySkinColours()
{
    // No skin component on Linux: only the colouring that precedes the skin happens.
    skinned_ = true;
    NormalizeColors(this);
}

void Form1::setOptionValue(QRadioButton* option, bool value)
{
    if (option->isChecked() == value)
        return;
    if (value) {
        option->setChecked(true);  // the pair clears the other one
        return;
    }
    auto* pair = option->group();
    pair->setExclusive(false);
    option->setChecked(false);
    pair->setExclusive(true);
}

void Form1::PushButton5_Click()
{
    handle(core::Location("Form1", "PushButton5_Click"), [this](GuardedOperation& op) {
        op.step(100, [&] {
            platform::Message m;
            m.text = HelpText(services_.settings) + kContactPage;
            m.title = AppTitle();
            services_.dialogs.show(m);
        });
    });
}

void Form1::PushButton8_Click()
{
    handle(core::Location("Form1", "PushButton8_Click"), [this](GuardedOperation& op) {
        op.step(100, [&] {
            OptionsDialog options(services_, this);
            options.Form_Load(hand_);
            options.exec();
        });
    });
}

void Form1::Check1_Click()
{
    handle(core::Location("Form1", "Check1_Click"), [this](GuardedOperation& op) {
        const bool on = Check1->isChecked();
        op.step(100, [&] {
            Option1->setEnabled(on);
            Option2->setEnabled(on);
        });
        op.step(102, [&] { save(key::Check1, on ? "1" : "0"); });
    });
}

void Form1::Option1_Click()
{
    Option_Click("Option1_Click");
}

void Form1::Option2_Click()
{
    Option_Click("Option2_Click");
}

void Form1::Option_Click(const char* handler)
{
    handle(core::Location("Form1", handler), [this](GuardedOperation& op) {
        op.step(100, [&] { save(key::Option1, BooleanSetting(Option1->isChecked())); });
        op.step(102, [&] { save(key::Option2, BooleanSetting(Option2->isChecked())); });
    });
}

void Form1::Check4_Click()
{
    handle(core::Location("Form1", "Check4_Click"), [this](GuardedOperation& op) {
        op.step(100, [&] { save(key::LocalConnection, Check4->isChecked() ? "1" : "0"); });
    });
}

void Form1::Text_Change(const char* handler, const char* settingKey, const QString& text)
{
    handle(core::Location("Form1", handler), [&](GuardedOperation& op) {
        op.step(100, [&] { save(settingKey, text.toStdString()); });
    });
}

std::string Form1::text(const QLineEdit* box) const
{
    return box->text().toStdString();
}

void Form1::setText(QLineEdit* box, const std::string& value)
{
    box->setText(QString::fromStdString(value));
}

void Form1::setProgressValue(double percent)
{
    ProgressBar1->setPercent(percent);
}

double Form1::progressValue() const
{
    return ProgressBar1->percent();
}

void Form1::setProgressText(const std::string& value)
{
    // A bar without a text shows no progress: the run clears the text when a
    // table is done, so the bar is empty under the closing message.
    if (value.empty())
        ProgressBar1->setPercent(0);
    ProgressBar1->setDisplayText(QString::fromStdString(value));
}

std::string Form1::progressText() const
{
    return ProgressBar1->text().toStdString();
}

void Form1::PushButton7_Click()
{
    handle(conversion::kRunLocation, [this](GuardedOperation& op) {
        // The choices are read afresh at every start; a second start while a
        // run goes on ends at once and reads nothing.
        conversion::RunOptions options;
        if (!Converting)
            options = conversion::RunOptionsFromSettings(services_.settings, op);
        conversion::Run run{services_, *this, handOff, regional_, Converting, options, &stop_};
        conversion::StartConverting(run);
        showWorkLists();
        // Closed while the run went on: it stopped and logged where, and now the program ends.
        if (!Converting && stop_.requested() && services_.endProgram)
            services_.endProgram();
    });
}

void Form1::showWorkLists()
{
    for (auto [box, items] : {std::pair{List1Box, &list1_}, std::pair{List2Box, &list2_}}) {
        box->clear();
        for (const std::string& item : *items)
            box->addItem(QString::fromStdString(item));
    }
}

void Form1::setServerDriver(ServerDriver driver)
{
    driver_ = driver;
    updateLoginNote();
}

void Form1::setPasswordNote(const std::string& note)
{
    passwordNote_ = note;
    Text4->setPlaceholderText(QString::fromStdString(note));
    updateLoginNote();
}

std::string Form1::loginNote() const
{
    return Label6->isHidden() ? std::string() : Label6->text().toStdString();
}

void Form1::updateLoginNote()
{
    // One line beside "Local Connection"; the tooltip tells the rest.
    QString note;
    QString more;
    QColor colour(0x1f, 0x4e, 0x8c);
    if (driver_ == ServerDriver::FreeTds && MSSQL::FreeTdsCannotSend(password().reveal())) {
        note = "FreeTDS cannot send this password";
        more = QString::fromUtf8(MSSQL::kFreeTdsPasswordText);
        colour = QColor(0xb0, 0x00, 0x20);
    } else if (!passwordNote_.empty()) {
        note = QString::fromStdString(passwordNote_);
    } else if (driver_ == ServerDriver::Sqlite) {
        note = "SQLite stands in: Database is its file";
        more = "No SQL Server is needed here: the driver named \"SQL Server\" is SQLite's, and "
               "\"Start Converting\" writes into the SQLite file that \"Database:\" names.";
    }
    QPalette palette = Label6->palette();
    palette.setColor(QPalette::WindowText, colour);
    Label6->setPalette(palette);
    Label6->setText(note);
    Label6->setToolTip(more);
    Label6->setVisible(!note.isEmpty());
}

void Form1::showWhenNotTyping(const platform::Message& message)
{
    if (Text4->hasFocus()) {
        heldMessages_.push_back(message);
        return;
    }
    services_.dialogs.show(message);
}

std::string Form1::folder() { return text(Text1); }
void Form1::setFolder(const std::string& value) { setText(Text1, value); }
std::string Form1::server() { return text(Text5); }
std::string Form1::port() { return text(Text6); }
std::string Form1::database() { return text(Text8); }
std::string Form1::user() { return text(Text3); }
platform::SecretText Form1::password() { return text(Text4); }
bool Form1::localConnection() { return Check4->isChecked(); }
bool Form1::previewMode() { return Check1->isChecked(); }
bool Form1::previewEachFile() { return Option1->isChecked(); }
bool Form1::previewEachTable() { return Option2->isChecked(); }

void Form1::setBusy(bool busy)
{
    SetBusyPointer(this, busy);
}

void Form1::showPreview()
{
    if (!previewWindow_)
        throw std::runtime_error("The SQL Preview window is not available.");
    previewWindow_();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        for (auto [box, handler] : {std::pair{Text1, "Text1_GotFocus"}, std::pair{Text5, "Text5_GotFocus"},
                                    std::pair{Text6, "Text6_GotFocus"}}) {
            // After the click that gave the focus has placed the caret.
            if (watched == box)
                QTimer::singleShot(0, box, [this, box = box, handler = handler] { GotFocus(box, handler); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::GotFocus(QLineEdit* box, const char* handler)
{
    handle(core::Location("Form1", handler),
           [box](GuardedOperation& op) { op.step(100, [box] { box->selectAll(); }); });
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program at once: every other window
    // closes, and a conversion that is yielding does not go on.
    event->accept();
    handle(core::Location("Form1", "Form_Unload"), [this](GuardedOperation& op) {
        std::vector<QPointer<QWidget>> others;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != this)
                others.emplace_back(w);
        }
        for (const QPointer<QWidget>& w : others) {
            if (w)  // closing one window may have closed another
                op.step(100, [&] { w->close(); });
        }
        // A run that is yielding stops at its next statement, rolls back what
        // it has not committed, writes where it stopped into its log and then
        // ends the program (PushButton7_Click).
        if (Converting) {
            stop_.request(conversion::kWindowClosed);
            return;
        }
        // The process ends without unwinding: what a run or Execute SQL has sent is committed first.
        op.step(101, [&] { handOff.openBatches.finishAll(); });
        op.step(102, [&] {
            if (services_.endProgram)
                services_.endProgram();
        });
    });
}

}  // namespace shell
