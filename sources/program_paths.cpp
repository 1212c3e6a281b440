#include "sources/program_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace sources {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr
                                                  && *user->pw_dir != '\0')
        return user->pw_dir;
    return "/";
}

core::ProgramPaths ProgramPathsFor(const std::string& programFolder)
{
    // The user's state folder (XDG): $XDG_STATE_HOME, else ~/.local/state.
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string stateFolder =
        state != nullptr && *state == '/' ? std::string(state) : HomeFolder() + "/.local/state";
    return {programFolder, HomeFolder(), stateFolder + "/dovenmark"};
}

}  // namespace sources
