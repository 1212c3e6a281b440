// Module AddFolder: the walk that extends a collection of folders by every
// folder below them (breadth-first), and the listing of one folder's files by
// a wildcard pattern. Paths use "/"; every folder entry ends in "/".
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {
class Dialogs;
class EventLoop;
}  // namespace platform

namespace AddFolder {

inline constexpr std::string_view kWalkLocation = "Fenwarp2021/08/31.AddFolder.GetSubDirectories2016 ";

// Only paths and names shorter than this many characters are accepted.
inline constexpr std::size_t kPathLimit = 260;

// Attribute bits of a folder as the walk reads them. On Linux a folder whose
// name starts with "." counts as hidden and system; a symbolic link to a
// folder is a reparse point.
inline constexpr int kAttributeHidden = 2;
inline constexpr int kAttributeSystem = 4;
inline constexpr int kAttributeDirectory = 16;
inline constexpr int kAttributeReparsePoint = 1024;
inline constexpr int kHiddenSystemFolder = 22;  // directory + hidden + system
inline constexpr int kHiddenSystemLink = 1046;  // the same, linked

// Failure numbers the walk handles itself.
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathNotFound = 76;

// A folder the walk met but could not look into, and why: it could not be
// listed (permission denied, gone) or, found in a folder that could be listed,
// not even examined.
struct UnreadableFolder {
    std::string folder;  // as the walk names it, ending in "/"
    std::string reason;  // the system's words, such as "Permission denied"
};

// Appends to `folders` every folder below its entries, level by level: first
// the folders one level below each entry (in entry order, each entry's
// subfolders in the file system's order), then two levels below, and so on
// (only one level when `recursive` is false). Hidden folders are neither
// listed nor entered (unless one is the drive root); names with "?" or other
// odd characters are skipped with everything below them; paths of 260
// characters or more are listed but not entered; a symbolic link back to its
// own folder or one above it is skipped, and every other folder that is entered
// is listed once, under the path by which the walk meets it first (device and
// inode tell), so no cycle of links makes the walk loop. An entry whose subfolders cannot be
// listed (permission denied, gone) is removed from `folders`; other failures
// while listing are passed over quietly, earlier ones go to the error report.
// Each folder removed, and each subfolder that cannot even be examined for
// want of permission (in a folder that may be listed but not entered), is
// added to `unreadable` when given.
// Returns the number of reports it made.
int GetSubDirectories2016(std::vector<std::string>& folders, bool recursive,
                          platform::Dialogs& dialogs, platform::EventLoop& events,
                          const std::string& driveRoot = "/",
                          std::vector<UnreadableFolder>* unreadable = nullptr);

// The bare names of the files (never folders) in `folder` that match the
// wildcard `pattern` ("*" any run, "?" one character, letter case ignored),
// hidden ones included, in the order the file system lists them. Names that
// do not name a file are left out (a folder, a pipe); a file the user may not
// read, and a link that leads nowhere, are listed, so that whoever reads them
// can say why they cannot be read. A folder that cannot be read gives no names.
// (The names are 0-based here; the room-by-100-then-50 array of the original
// is what std::vector does for us.)
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
// The same; `failure` tells why the folder could not be read (cleared when it could).
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern,
                                   std::error_code& failure);

// True when the path names a regular file (through links), as an open for
// attribute access finds it: without asking to read it, so a file the user
// may not read counts. A folder gives false.
bool IsExistingFile(const std::string& path);

// True when some character of the name has an 8-bit code below 32, from 127
// to 159, or equal to 63 ("?", also the code of every character Windows-1252
// lacks and of every byte that is not UTF-8).
bool HasOddChars(std::string_view name);

// The Windows-1252 code of a character, 63 where that code page lacks it.
int AnsiCode(char32_t character);

// The attribute value of a folder (see the bits above); throws
// std::filesystem::filesystem_error when the path cannot be examined.
int FolderAttributes(const std::string& path);

// True when the folder is the drive root (on Linux "/", or the root given).
bool IsRootFolder(const std::string& path, const std::string& driveRoot = "/");

// Wildcard matching as the directory enumeration does it.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace AddFolder
