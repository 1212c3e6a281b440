// Where the program finds its places on Linux: its own folder, and as its
// drive root the user's home folder, the one place where a user can always
// create the space-free folder TestDB.
#pragma once

#include "core/paths.h"

#include <string>

namespace sources {

// The user's home folder: $HOME, else the user's entry in the password
// database, else "/".
std::string HomeFolder();

// The program's places: the given folder, the home folder as drive root, and
// the user's state folder (XDG_STATE_HOME, else ~/.local/state) + "/dovenmark"
// for the runs' logs.
core::ProgramPaths ProgramPathsFor(const std::string& programFolder);

}  // namespace sources
