// Runs a program of the build as a user would, and keeps what it printed.
#pragma once

#include "tests/support/testdata.h"

#include <algorithm>
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

// A script cut into batches as sqlcmd and the management studio cut it: at
// every line holding only GO (any letter case, blanks around, an optional
// count), inside a string constant as anywhere else; each batch without the
// line break before its GO, the text after the last GO left out.
inline std::vector<std::string> ScriptStatements(const std::string& script)
{
    std::vector<std::string> batches;
    std::string batch;
    for (std::size_t at = 0, end; at < script.size(); at = end + 1) {
        end = std::min(script.find('\n', at), script.size());
        std::string line = script.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t go = line.find_first_not_of(" \t");
        const std::size_t rest = go == std::string::npos ? go : line.find_first_not_of(" \t0123456789", go + 2);
        const bool separator = go != std::string::npos && line.size() >= go + 2
            && (line[go] == 'G' || line[go] == 'g') && (line[go + 1] == 'O' || line[go + 1] == 'o')
            && (go + 2 == line.size() || line[go + 2] == ' ' || line[go + 2] == '\t') && rest == std::string::npos;
        if (separator) {
            batches.push_back(batch.substr(0, batch.empty() ? 0 : batch.size() - 1));
            batch.clear();
        } else {
            batch += script.substr(at, end - at) + "\n";
        }
    }
    return batches;
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
