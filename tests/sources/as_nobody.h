// Runs a piece of a test as the user "nobody" in a child process, so that file
// permissions count (the tests run as root here, and root reads everything).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace testsupport {

inline constexpr const char* kNoUnprivilegedUser =
    "cannot run as the user nobody (setuid refused), so permissions cannot be tested";

// What `work` returned in the child, or nothing when the child could not drop
// its privileges or failed. Run as the current user when that is not root.
inline std::optional<std::string> RunAsNobody(const std::function<std::string()>& work)
{
    int out[2];
    if (pipe(out) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        close(out[0]);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
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

}  // namespace testsupport
