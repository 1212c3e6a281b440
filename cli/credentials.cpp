// Where the convert command's password comes from. Every argument of a command
// shows in the process list, to every local user, for as long as it runs; the
// environment and a file of the owner's do not, and neither does a typed answer.
#include "cli/credentials.h"

#include "platform/odbc/connection_text.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <ostream>
#include <string_view>
#include <utility>

namespace cli {

const char* const kConnectionHelp =
    "--connection-file FILE reads the connection text from FILE instead; FILE must be\n"
    "a regular file of at most 64 KB, yours and yours alone (chmod 600 FILE), or it\n"
    "is not read.\n"
    "The password is the text's own PWD= when it has one, else the environment\n"
    "variable DOVENMARK_PASSWORD when it is set, else, when the text names a user\n"
    "(Uid=) and standard input is a terminal, it is asked for without echo.\n"
    "A password in --connection TEXT is visible to every user of this machine in\n"
    "the process list while the command runs: keep it in FILE or in the environment.\n";

namespace {

// Every message of the command begins so.
constexpr const char* kPrefix = "dovenmark-cli: ";

// The text without the line breaks at its end (a file's last line has one).
std::string_view WithoutLineEnd(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

platform::SecretText WithPassword(std::string_view text, std::string_view password)
{
    platform::SecretText out(text);
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    if (last != std::string_view::npos && text[last] != ';')
        out += ';';
    out += "PWD=";
    out += platform::odbc::PasswordValue(password).reveal();
    out += ';';
    return out;
}

// The most a connection file may hold: a connection text is one line.
constexpr off_t kLongestConnectionFile = 64 * 1024;

std::string TooLong(const std::string& file)
{
    return "the connection file " + file + " holds more than " + std::to_string(kLongestConnectionFile)
        + " bytes, which no connection text needs, so it is not read";
}

// Why the open file is not read, or nothing: only a regular file of at most
// 64 KB, owned by the user running the command, that no one else may use.
// (Its open never waits: a named pipe would wait for a writer for ever.)
std::optional<std::string> NotReadBecause(const struct stat& status, const std::string& file)
{
    const std::string named = "the connection file " + file;
    if (!S_ISREG(status.st_mode))
        return named + " is not a regular file, so it is not read";
    if (status.st_uid != ::geteuid())
        return named + " belongs to another user (uid " + std::to_string(status.st_uid)
            + "); it may hold the password, so it is not read";
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        return named + " is open to others than its owner (mode " + mode
            + "); it may hold the password, so it is not read: chmod 600 " + file;
    }
    if (status.st_size > kLongestConnectionFile)
        return TooLong(file);
    return std::nullopt;
}

// The whole file, its line breaks at the end removed; refused (see
// NotReadBecause) before a byte is read.
std::optional<platform::SecretText> ReadConnectionFile(const std::string& file, std::ostream& err)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        err << kPrefix << "cannot read the connection file " << file << ": " << std::strerror(errno) << "\n";
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    if (const auto why = NotReadBecause(status, file)) {
        ::close(fd);
        err << kPrefix << *why << "\n";
        return std::nullopt;
    }
    platform::SecretText text;
    char buffer[4096];
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            text += std::string_view(buffer, static_cast<std::size_t>(n));
    } while ((n > 0 && text.reveal().size() <= kLongestConnectionFile) || (n < 0 && errno == EINTR));
    const int readError = errno;
    platform::WipeBytes(buffer, sizeof buffer);
    ::close(fd);
    if (n < 0) {
        err << kPrefix << "cannot read the connection file " << file << ": " << std::strerror(readError) << "\n";
        return std::nullopt;
    }
    if (text.reveal().size() > kLongestConnectionFile) {  // it grew while it was read
        err << kPrefix << TooLong(file) << "\n";
        return std::nullopt;
    }
    platform::SecretText connection(WithoutLineEnd(text.reveal()));
    if (connection.empty()) {
        err << kPrefix << "the connection file " << file << " is empty\n";
        return std::nullopt;
    }
    return connection;
}

// The terminal as it was before the prompt, for a signal that ends the command
// while echo is off.
termios gTerminal{};

extern "C" void RestoreTerminalAndEnd(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gTerminal);
    ::raise(signal);  // the default action again (SA_RESETHAND)
}

// Reads one line from the terminal on standard input without echo. The prompt
// goes to the controlling terminal (standard error may be a log file).
platform::SecretText AskPassword(const std::string& prompt)
{
    if (::tcgetattr(STDIN_FILENO, &gTerminal) != 0)
        return {};
    const int signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
    struct sigaction before[std::size(signals)] = {};
    for (std::size_t i = 0; i < std::size(signals); ++i) {
        ::sigaction(signals[i], nullptr, &before[i]);
        if (before[i].sa_handler == SIG_IGN)
            continue;
        struct sigaction restore {};
        restore.sa_handler = RestoreTerminalAndEnd;
        restore.sa_flags = SA_RESETHAND;
        sigemptyset(&restore.sa_mask);
        ::sigaction(signals[i], &restore, nullptr);
    }
    termios quiet = gTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);

    // Echo is off before the prompt shows, so nothing typed after it is seen.
    const int tty = ::open("/dev/tty", O_WRONLY | O_CLOEXEC | O_NOCTTY);
    const int out = tty >= 0 ? tty : STDERR_FILENO;
    for (std::size_t done = 0; done < prompt.size();) {
        const ssize_t n = ::write(out, prompt.data() + done, prompt.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (tty >= 0)
        ::close(tty);

    platform::SecretText typed;
    for (char c;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        typed += c;
    }
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gTerminal);
    for (std::size_t i = 0; i < std::size(signals); ++i)
        ::sigaction(signals[i], &before[i], nullptr);
    return typed;
}

}  // namespace

bool OneConnectionOption(const std::string& text, const std::string& file, std::ostream& err)
{
    if (text.empty() && file.empty()) {
        err << kPrefix << "--connection TEXT or --connection-file FILE is needed\n";
        return false;
    }
    if (!text.empty() && !file.empty()) {
        err << kPrefix << "--connection and --connection-file cannot both be given\n";
        return false;
    }
    return true;
}

std::optional<platform::SecretText> ConnectionWithPassword(const std::string& text, const std::string& file,
                                                           std::ostream& err)
{
    platform::KeepOutOfCoreDumps();  // from here on the command holds the password
    std::optional<platform::SecretText> connection;
    if (file.empty())
        connection.emplace(std::string_view(text));
    else
        connection = ReadConnectionFile(file, err);
    if (!connection || platform::odbc::ConnectionHasKey(connection->reveal(), "PWD"))
        return connection;
    if (char* password = std::getenv(kPasswordVariable)) {
        // The environment's copy is wiped once taken: /proc shows it to the user's other programs.
        platform::SecretText taken = WithPassword(connection->reveal(), password);
        platform::WipeBytes(password, std::strlen(password));
        ::unsetenv(kPasswordVariable);
        return taken;
    }
    const std::string user = platform::odbc::ConnectionValue(connection->reveal(), "UID").value_or("");
    if (user.empty() || ::isatty(STDIN_FILENO) != 1)
        return connection;
    const std::string server = platform::odbc::ConnectionValue(connection->reveal(), "Server").value_or("");
    err.flush();
    const platform::SecretText typed =
        AskPassword("Password for " + user + (server.empty() ? "" : " on " + server) + ": ");
    return WithPassword(connection->reveal(), typed.reveal());
}

}  // namespace cli
