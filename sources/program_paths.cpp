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
    return {programFolder, HomeFolder()};
}

}  // namespace sources
