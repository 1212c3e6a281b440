// The program's places and the path and file tests the windows and modules
// share: the file name of a path, whether a folder or file is there, and the
// drive root where the space-free copy goes.
#pragma once

#include <string>
#include <string_view>

namespace core {

// Where the program lies and its drive root (the home folder in the program).
// Tests inject both, so nothing is created outside their temporary folders.
struct ProgramPaths {
    std::string folder;        // the program's own folder, without a trailing "/"
    std::string driveRoot = "/";
    // Where a conversion run writes its log of failures (made when needed);
    // empty: no log is kept.
    std::string logFolder = {};
};

// The part after the last "/" or "\"; the whole text without either; empty after a trailing one.
std::string FileNameOf(std::string_view path);
// True for an existing folder; any failure gives false.
bool IsFolder(const std::string& path);
// True when the file's modification time can be read; any failure gives false.
bool FileExists(const std::string& path);

// The drive part of the program's folder followed by the separator: on Linux the
// user's home folder, the one place a user can always create a folder.
std::string ProgramDriveRoot(const ProgramPaths& paths);

}  // namespace core
