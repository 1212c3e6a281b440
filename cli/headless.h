// The main window without windows: the fields the run reads, messages on
// standard error, the answer to the overwrite question from the command line,
// and progress on standard error.
#pragma once

#include "conversion/preview_handoff.h"
#include "platform/clipboard.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/server_connection.h"
#include "platform/settings_store.h"
#include "core/main_form.h"

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>

namespace cli {

struct HeadlessForm : core::MainForm {
    explicit HeadlessForm(std::ostream& err) : err_(err) {}

    std::string folderText;
    bool preview = false;     // Check1
    bool eachFile = false;    // Option1
    bool eachTable = false;   // Option2
    bool terminal = false;    // progress as a bar rather than one line per table
    bool quiet = false;       // no progress at all
    core::ListItems list1, list2;

    std::string folder() override { return folderText; }
    void setFolder(const std::string& f) override { folderText = f; }
    std::string server() override { return {}; }
    std::string port() override { return {}; }
    std::string database() override { return {}; }
    std::string user() override { return {}; }
    platform::SecretText password() override { return {}; }
    bool localConnection() override { return false; }
    bool previewMode() override { return preview; }
    bool previewEachFile() override { return eachFile; }
    bool previewEachTable() override { return eachTable; }
    core::ListItems& List1() override { return list1; }
    core::ListItems& List2() override { return list2; }
    void setProgressValue(double percent) override;
    void setProgressText(const std::string& text) override;
    void setBusy(bool) override {}
    void showPreview() override {}
    void questionAnswered(const std::string& question, core::Answered answer) override;

private:
    void drawBar();

    std::ostream& err_;
    std::string table_;
    double percent_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Messages on standard error; a question is answered No (the run's options
// answer the overwrite question, and no copy is offered). A failure is one
// line, "dovenmark-cli: TABLE, record N: cause", without the window's words.
struct HeadlessDialogs : platform::Dialogs {
    explicit HeadlessDialogs(std::ostream& err) : err_(err) {}
    platform::Answer show(const platform::Message& message) override;
    platform::Answer report(const platform::Failure& failure) override;

    bool terminal = false;  // a progress bar may stand on the line: a failure's line clears it first

private:
    std::ostream& err_;
};

// A server for the commands that ask none: every login opens, no table exists,
// nothing is executed.
struct OfflineServerFactory : platform::ServerConnectionFactory {
    std::unique_ptr<platform::ServerConnection> create() override;
};

// No desktop to open anything in.
struct NoDesktop : platform::Desktop {
    bool open(const std::string&) override { return false; }
    std::string pickFolder(const std::string&, const std::string&) override { return {}; }
};

// No clipboard to put anything on.
struct NoClipboard : platform::Clipboard {
    bool clear() override { return false; }
    bool setText(const std::string&, int) override { return false; }
};

// Nothing is stored between commands: every key reads as absent. The run's
// choices come from the command's arguments (conversion::RunOptions).
struct NoSettings : platform::SettingsStore {
    std::optional<std::string> read(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    void write(const std::string&, const std::string&, const std::string&, const std::string&) override {}
};

}  // namespace cli
