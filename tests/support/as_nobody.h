// Runs a piece of a test in a child process: as the user "nobody", so that file
// permissions count (the tests run as root here, and root reads everything), or
// under an alarm, so that a walk that loops again cannot hang the test.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace testsupport {

inline constexpr const char* kNoUnprivilegedUser =
    "cannot run as the user nobody (setuid refused), so permissions cannot be tested";

// What `work` returned in a child process, or nothing when the child failed:
// run as the user "nobody" when `asNobody` (nothing when it cannot drop its
// privileges; the current user when that is not root), and ended by an alarm
// after `seconds` when that is not 0 (nothing when it did not finish).
inline std::optional<std::string> RunInChild(const std::function<std::string()>& work, bool asNobody,
                                             unsigned seconds = 0)
{
    int out[2];
    if (pipe(out) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        close(out[0]);
        if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        if (seconds > 0)
            alarm(seconds);
        const std::string text = work();
        const bool written = write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(written ? 0 : 4);
    }
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

inline std::optional<std::string> RunAsNobody(const std::function<std::string()>& work)
{
    return RunInChild(work, true);
}

}  // namespace testsupport
