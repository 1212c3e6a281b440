// Runs a program of the build as a user would, and keeps what it printed.
#pragma once

#include "tests/support/testdata.h"

#include <fstream>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
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

// A program of the build running beside the test, so that the test can act
// while it runs (send it a signal, end its server); its standard error goes
// to a file in dir, its standard output nowhere.
class BackgroundProgram {
public:
    BackgroundProgram(const TempDir& dir, std::vector<std::string> argv) : err_(dir / "background.err")
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> args;
            for (auto& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int none = ::open("/dev/null", O_RDWR);
            ::dup2(none, STDIN_FILENO);
            ::dup2(none, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~BackgroundProgram()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    // Waits until `done` holds (asked every 10 ms, for up to two minutes);
    // false when the program ended first or the time ran out.
    template <typename Done>
    bool waitUntil(Done done)
    {
        for (int i = 0; i < 12000; ++i) {
            if (done())
                return true;
            if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
                pid_ = -1;
                return done();
            }
            ::usleep(10'000);
        }
        return false;
    }
    std::string err() const { return ReadWholeFile(err_); }
    void signal(int sig) { ::kill(pid_, sig); }
    // Waits for its end: its exit status and what it wrote on standard error.
    ProgramRun finish()
    {
        if (pid_ > 0)
            ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        ProgramRun r;
        r.status = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
        r.err = err();
        return r;
    }

private:
    std::filesystem::path err_;
    pid_t pid_ = -1;
    int status_ = 0;
};

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
