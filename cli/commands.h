// The commands of dovenmark-cli. Each command lives in its own file and is
// listed in main.cpp; it returns the process exit status.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* summary;
    void (*help)(std::ostream& out);
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// The --codepage NAME option of every command: false, with a message on err,
// for a name iconv does not know.
bool CheckCodePage(const std::string& name, std::ostream& err);

// dump TABLE.db: every record of a table in the record-line form.
void dumpHelp(std::ostream& out);
int dumpRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// script FOLDER: the statements of a per-file preview, each followed by GO.
void scriptHelp(std::ostream& out);
int scriptRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// describe FOLDER: the datatype records, tab-separated.
void describeHelp(std::ostream& out);
int describeRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// convert FOLDER --connection TEXT [--overwrite yes|no]: a direct-mode run.
void convertHelp(std::ostream& out);
int convertRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// verify FOLDER --connection TEXT: every table compared with the server's.
void verifyHelp(std::ostream& out);
int verifyRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
