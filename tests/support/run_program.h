// Runs a program of the build as a user would, and keeps what it printed.
#pragma once

#include "tests/support/testdata.h"

#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace testsupport {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// program and arguments as one shell command line (quote the arguments);
// standard output and error go to files in dir.
inline ProgramRun RunProgram(const TempDir& dir, const std::string& commandLine)
{
    const std::string command = commandLine + " > '" + (dir / "out").string() + "' 2> '" + (dir / "err").string()
        + "' < /dev/null";
    const int raw = std::system(command.c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadWholeFile(dir / "out");
    r.err = ReadWholeFile(dir / "err");
    return r;
}

// The statements of `dovenmark-cli script` output, each written followed by a line "GO".
inline std::vector<std::string> ScriptStatements(const std::string& script)
{
    std::vector<std::string> statements;
    std::size_t at = 0;
    for (std::size_t go; (go = script.find("\nGO\n", at)) != std::string::npos; at = go + 4)
        statements.push_back(script.substr(at, go - at));
    return statements;
}

inline std::string Quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q.push_back(c);
    }
    return q + "'";
}

}  // namespace testsupport
