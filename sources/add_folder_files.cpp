// File listing by wildcard and the open test it relies on, over POSIX calls.
#include "sources/add_folder.h"

#include "core/unicode_case.h"
#include "sources/utf8_code_points.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace AddFolder {

namespace {

// Code points of a UTF-8 text; a stray byte stands for itself, so that every
// name can still be matched by "*" and "?".
std::u32string CodePoints(std::string_view text)
{
    std::u32string out;
    ForEachCodePoint(text, [&out](char32_t cp, bool) {
        out.push_back(cp);
        return false;
    });
    return out;
}

bool Matches(std::u32string_view name, std::u32string_view pattern)
{
    // Greedy match with one back-track point: the last "*" seen.
    std::size_t n = 0, p = 0, starP = std::u32string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

struct DirectoryCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Opens the path for attribute access only: no read or write access is asked
// (O_PATH), so a file the user may not read opens, a folder opens but is no
// file, and a named pipe is never waited on. 0 and whether it is a regular
// file, or the errno of the failure.
int OpenForAttributes(const std::string& path, bool& regular)
{
    regular = false;
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat info {};
    regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return 0;
}

bool IsPermissionError(int error)
{
    return error == EACCES || error == EPERM;
}

// A symbolic link (of the directory entry's type, or where the file system
// does not say, as lstat finds it).
bool IsLink(const std::string& path, unsigned char type)
{
    struct stat info {};
    return type == DT_LNK || (type == DT_UNKNOWN && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern)
{
    return Matches(CodePoints(core::LowerCase(name)), CodePoints(core::LowerCase(pattern)));
}

bool IsExistingFile(const std::string& path)
{
    bool regular = false;
    return OpenForAttributes(path, regular) == 0 && regular;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern)
{
    std::error_code failure;
    return ListFiles(folder, pattern, failure);
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern, std::error_code& failure)
{
    failure.clear();
    std::vector<std::string> names;
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/')
        prefix.push_back('/');
    const std::unique_ptr<DIR, DirectoryCloser> directory(opendir(prefix.c_str()));
    if (!directory) {
        failure = std::error_code(errno, std::generic_category());
        return names;
    }
    const std::u32string wanted = CodePoints(core::LowerCase(pattern));
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory.get());
        if (!entry) {
            if (errno != 0)
                failure = std::error_code(errno, std::generic_category());
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!Matches(CodePoints(core::LowerCase(name)), wanted))
            continue;
        // In a folder the user may list but not enter, nothing can be opened,
        // not even for its attributes: every name that is no folder is listed.
        // So is a link that leads nowhere, which no table behind it explains.
        const std::string path = prefix + std::string(name);
        bool regular = false;
        const int error = OpenForAttributes(path, regular);
        if (error == 0 ? regular : (IsPermissionError(error) && entry->d_type != DT_DIR) || IsLink(path, entry->d_type))
            names.emplace_back(name);
    }
    return names;
}

}  // namespace AddFolder
