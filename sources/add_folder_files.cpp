// File listing by wildcard and the open test it relies on, over POSIX calls.
#include "sources/add_folder.h"

#include "core/unicode_case.h"
#include "sources/utf8_code_points.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern)
{
    return Matches(CodePoints(core::LowerCase(name)), CodePoints(core::LowerCase(pattern)));
}

bool IsExistingFile(const std::string& path)
{
    // Non-blocking, so that a named pipe that happens to match cannot stall the listing.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/')
        prefix.push_back('/');
    const std::unique_ptr<DIR, DirectoryCloser> directory(opendir(prefix.c_str()));
    if (!directory)
        return names;
    const std::u32string wanted = CodePoints(core::LowerCase(pattern));
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!Matches(CodePoints(core::LowerCase(name)), wanted))
            continue;
        if (IsExistingFile(prefix + std::string(name)))
            names.emplace_back(name);
    }
    return names;
}

}  // namespace AddFolder
