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

// dump TABLE.db: every record of a table in the record-line form.
void dumpHelp(std::ostream& out);
int dumpRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
