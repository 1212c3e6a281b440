// The connection text of the convert command and the password in it, kept off
// the command line: from a file only its owner may read, from the environment,
// or typed at the terminal without echo.
#pragma once

#include "platform/secret_text.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace cli {

inline constexpr const char* kPasswordVariable = "DOVENMARK_PASSWORD";

// The lines of convert's help on --connection-file and the password.
extern const char* const kConnectionHelp;

// True when exactly one of --connection TEXT and --connection-file FILE is
// given; otherwise says what is missing or too much on err.
bool OneConnectionOption(const std::string& text, const std::string& file, std::ostream& err);

// The connection text to open: TEXT, or what FILE holds, with the password
// joined in when the text has none (PWD=): DOVENMARK_PASSWORD when it is set,
// else typed at the terminal when the text names a user and standard input is
// one. Nothing, with the reason on err, when FILE cannot be read or others
// than its owner may read it.
std::optional<platform::SecretText> ConnectionWithPassword(const std::string& text, const std::string& file,
                                                           std::ostream& err);

}  // namespace cli
