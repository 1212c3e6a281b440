// A multi-line text box that gives back exactly the bytes it was given. A
// QPlainTextEdit turns CR LF, a lone CR and LF into its own paragraph break,
// and its plain text turns a no-break space into a space and a line separator
// into LF; none of that may reach a statement or an error text.
#pragma once

#include "platform/dialogs.h"

#include <QPlainTextEdit>
#include <QString>

#include <string>
#include <vector>

namespace preview {

class ExactTextEdit final : public QPlainTextEdit {
public:
    explicit ExactTextEdit(QWidget* parent = nullptr);

    // A failure while following an edit is reported under this location.
    void reportFailuresTo(platform::Dialogs& dialogs, std::string location);

    // Shows UTF-8 text (any bytes, any line breaks) for editing.
    void setExactText(std::string text);
    // The text as shown: the loaded bytes wherever the user left them alone,
    // what the user typed or pasted everywhere else. A typed line break takes
    // the form of the text's first line break (CR LF when it had none).
    std::string exactText() const;

private:
    // Each change of the document: the characters that differ from the last
    // known text lose their link to the loaded bytes.
    void follow(int position);

    std::string original_;          // the bytes as loaded
    std::string lineBreak_ = "\r\n";
    QString known_;                 // the document's raw text as last followed
    std::vector<qsizetype> origin_; // per character of known_: the byte offset of the loaded
                                    // piece it shows, or -1 when the user typed it
    QString loaded_;                         // known_ and origin_ right after loading
    std::vector<qsizetype> loadedOrigin_;
    bool following_ = true;
    platform::Dialogs* dialogs_ = nullptr;
    std::string location_;
};

}  // namespace preview
