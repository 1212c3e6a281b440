// Form1, the main window: the Paradox folder, the SQL Server login and the SQL
// Preview options, the "Start Converting" button and its progress bar. Its
// controls keep the settings store in step on every change.
#pragma once

#include "conversion/preview_handoff.h"
#include "conversion/regional_settings.h"
#include "ui/appearance.h"
#include "core/main_form.h"
#include "core/services.h"
#include "platform/stop_request.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace shell {

class Form1 : public QWidget, public core::MainForm {
public:
    // regional: the user's separators, from the system locale.
    Form1(core::Services& services, conversion::RegionalSettings regional);
    ~Form1() override;

    // The load sequence, steps 100 to 148; runs before the window is shown.
    void Form_Load();

    // Handlers of this window (the buttons that do real work are wired by their
    // modules). Each reports its own failures, so that none leaves a Qt slot.
    void PushButton5_Click();
    void PushButton8_Click();  // the Options dialog
    void Check1_Click();
    void Option1_Click();
    void Option2_Click();
    void Check4_Click();

    // Control values as the program's modules read them.
    std::string text(const QLineEdit* box) const;
    void setText(QLineEdit* box, const std::string& text);

    // The progress bar: a value from 0 to 100 and a text drawn inside it; an
    // empty text empties the bar.
    void setProgressValue(double percent) override;
    void setProgressText(const std::string& text) override;
    double progressValue() const;
    std::string progressText() const;

    const std::optional<QCursor>& handCursor() const { return hand_; }

    // MainForm: what the modules and the conversion run read and write.
    std::string folder() override;
    void setFolder(const std::string& folder) override;
    std::string server() override;
    std::string port() override;
    std::string database() override;
    std::string user() override;
    platform::SecretText password() override;
    bool localConnection() override;
    bool previewMode() override;
    bool previewEachFile() override;
    bool previewEachTable() override;
    core::ListItems& List1() override { return list1_; }
    core::ListItems& List2() override { return list2_; }
    void setBusy(bool busy) override;
    void showPreview() override;

    // How the SQL Preview window is shown (the program's Form2; a scripted one in tests).
    void setPreviewWindow(std::function<void()> show) { previewWindow_ = std::move(show); }

    // What the driver name "SQL Server" stands for on this machine. The login
    // frame's note (Label6) says what the user must know of it: that an SQLite
    // file stands in for the server, or that FreeTDS cannot send the password
    // typed.
    enum class ServerDriver { Registered, FreeTds, Sqlite };
    void setServerDriver(ServerDriver driver);
    // A word on the password in the note and in the empty password box (the
    // keyring is locked); empty: none.
    void setPasswordNote(const std::string& note);
    std::string loginNote() const;
    // Shows a message now, or, while the password box has the focus, once it
    // has lost it: a box that opened between two keystrokes would take the
    // keys that follow.
    void showWhenNotTyping(const platform::Message& message);

    // The run's output, the preview's flags (mssql_conn, SQLFormOK, SQLFormCancel) and the
    // batches open on the connection, which closing this window finishes.
    conversion::PreviewHandOff handOff;

    QPushButton* PushButton1;  // "..."
    QPushButton* PushButton2;  // "Load Sample/Example Database"
    QPushButton* PushButton3;  // "Test Connection" (Paradox)
    QPushButton* PushButton4;  // "Help" (login)
    QPushButton* PushButton5;  // "Help"
    QPushButton* PushButton6;  // "Test Connection" (login)
    QPushButton* PushButton7;  // "Start Converting"
    QPushButton* PushButton8;  // "..." of SQL Preview: the Options dialog (code page, binary data, column types)
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame3;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label10;
    QLabel* Label6;  // the login frame's note, right of "Local Connection"; hidden when there is nothing to say
    QLineEdit* Text1;  // Paradox folder
    QLineEdit* Text3;  // user name
    QLineEdit* Text4;  // password
    QLineEdit* Text5;  // server
    QLineEdit* Text6;  // port
    QLineEdit* Text8;  // database
    QCheckBox* Check1;  // SQL Preview mode
    QCheckBox* Check4;  // Local Connection
    QRadioButton* Option1;  // preview for each file
    QRadioButton* Option2;  // preview for each table
    ui::TextProgressBar* ProgressBar1;
    QListWidget* List1Box;  // List1: the server's tables (below the visible area)
    QListWidget* List2Box;  // List2: the Paradox tables (below the visible area)

    // The conversion run's guard against a second start.
    bool Converting = false;
    // Set when the window closes while a run goes on: the run stops at its next statement.
    platform::StopRequest stop_;

    static constexpr const char* kHomePage = "https://www.marrowby.example/";
    static constexpr const char* kContactPage = "https://www.marrowby.example/contact";

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    // Runs one handler as a guarded operation under its own location: its steps
    // report their failures, and whatever escapes between them is reported too.
    template <typename Body>
    void handle(const std::string& location, Body&& body) noexcept;
    void Option_Click(const char* handler);
    void Text_Change(const char* handler, const char* settingKey, const QString& text);
    void GotFocus(QLineEdit* box, const char* handler);
    void save(const char* key, const std::string& value);
    std::string setting(const char* key, const std::string& defaultValue);
    // Sets an option button as the platform's option values behave: selecting
    // one clears the other; clearing one may leave the pair without a choice.
    void setOptionValue(QRadioButton* option, bool value);
    void applySkinColours();

    void PushButton7_Click();
    void showWorkLists();
    void updateLoginNote();

    core::Services& services_;
    conversion::RegionalSettings regional_;
    core::ListItems list1_;
    core::ListItems list2_;
    std::function<void()> previewWindow_;
    std::optional<QCursor> hand_;
    bool skinned_ = false;
    ServerDriver driver_ = ServerDriver::Registered;
    std::string passwordNote_;
    std::vector<platform::Message> heldMessages_;  // until the password box loses the focus
};

}  // namespace shell
