// File listing by wildcard and the open test it relies on, over POSIX calls.
#include "sources/add_folder.h"

#include "shell/form_utilities.h"

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
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2
                                 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 1;
        char32_t cp = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
        bool valid = i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (!valid) {
            out.push_back(lead);
            ++i;
        } else {
            out.push_back(cp);
            i += length;
        }
    }
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
    return Matches(CodePoints(shell::LowerCase(name)), CodePoints(shell::LowerCase(pattern)));
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
    const std::u32string wanted = CodePoints(shell::LowerCase(pattern));
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!Matches(CodePoints(shell::LowerCase(name)), wanted))
            continue;
        if (IsExistingFile(prefix + std::string(name)))
            names.emplace_back(name);
    }
    return names;
}

}  // namespace AddFolder
