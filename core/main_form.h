// What the program's modules read and write of the main window: its folder and
// login fields, its preview options, its two work lists, its progress bar and
// pointer, and the modal SQL Preview. Form1 implements it; so does the
// headless command, without windows.
#pragma once

#include "core/list_items.h"
#include "platform/secret_text.h"

#include <string>

namespace core {

// How a question the run did not ask was answered.
enum class Answered { Yes, No, Continue };

class MainForm {
public:
    virtual ~MainForm() = default;

    virtual std::string folder() = 0;  // Text1
    virtual void setFolder(const std::string& folder) = 0;

    virtual std::string server() = 0;    // Text5
    virtual std::string port() = 0;      // Text6
    virtual std::string database() = 0;  // Text8
    virtual std::string user() = 0;      // Text3
    virtual platform::SecretText password() = 0;  // Text4
    virtual bool localConnection() = 0;  // Check4 ticked

    virtual bool previewMode() = 0;      // Check1 ticked
    virtual bool previewEachFile() = 0;  // Option1 selected
    virtual bool previewEachTable() = 0; // Option2 selected

    virtual ListItems& List1() = 0;  // the server's tables
    virtual ListItems& List2() = 0;  // the Paradox tables

    virtual void setProgressValue(double percent) = 0;
    virtual void setProgressText(const std::string& text) = 0;
    virtual void setBusy(bool busy) = 0;  // hourglass (11) or default (0)

    // Shows the SQL Preview window modally over the main window and returns when it is closed.
    virtual void showPreview() = 0;

    // A question the run did not ask because its options answer it (the
    // headless command's --overwrite); the command shows it with the answer.
    virtual void questionAnswered(const std::string& /*question*/, Answered /*answer*/) {}
};

}  // namespace core
