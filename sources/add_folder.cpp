// The folder walk. Its error handling changes on the way: failures are
// reported step by step until the first entry is entered (step 116); from then
// until the deeper walk of step 150 returns, a failure ends the examination of
// the current entry at step 138, which removes the entry for "permission
// denied" and "path not found" and passes over anything else without a word.
// The folders removed are noted with the reason, for the caller to report.
#include "sources/add_folder.h"

#include "platform/event_loop.h"
#include "core/error_report.h"
#include "core/paths.h"
#include "core/unicode_case.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

namespace AddFolder {

namespace fs = std::filesystem;

namespace {

// A folder entry without its closing "/" ("/" itself stays "/").
std::string WithoutSeparator(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    return trimmed;
}

bool IsPermissionDenied(const std::error_code& code)
{
    return code == std::errc::permission_denied || code == std::errc::operation_not_permitted;
}

// The failure number of step 138 (0 for one the walk leaves pending), and the
// system's words for it.
struct Failure {
    int number = 0;
    std::string reason;
};

Failure FailureOf(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::system_error& e) {
        const std::error_code code = e.code();
        if (IsPermissionDenied(code))
            return {kPermissionDenied, code.message()};
        if (code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory)
            return {kPathNotFound, code.message()};
    } catch (...) {
    }
    return {};
}

// Why a folder met in a listing cannot be examined, when the reason is a
// permission (a folder that is simply gone is no folder any more).
std::optional<std::string> ExaminationDenied(const std::string& folder)
{
    struct stat info {};
    if (stat(WithoutSeparator(folder).c_str(), &info) == 0)
        return std::nullopt;
    const std::error_code code(errno, std::generic_category());
    if (!IsPermissionDenied(code))
        return std::nullopt;
    return code.message();
}

bool IsHiddenSystem(int attributes)
{
    return attributes == kHiddenSystemFolder || attributes == kHiddenSystemLink;
}

// A link to the folder that holds it, or to one above that, would repeat the
// tree inside itself until the paths reach the length limit.
bool LeadsBackUp(const std::string& folder, const fs::directory_entry& subfolder)
{
    std::error_code ec;
    if (!subfolder.is_symlink(ec) || ec)
        return false;
    const fs::path target = fs::canonical(subfolder.path(), ec);
    if (ec)
        return false;
    const fs::path holder = fs::canonical(folder, ec);
    if (ec)
        return false;
    auto t = target.begin();
    for (auto h = holder.begin(); t != target.end() && h != holder.end(); ++t, ++h) {
        if (*t != *h)
            return false;
    }
    return t == target.end();
}

// A real folder: device and inode, whatever path or link leads to it.
using FolderIdentity = std::pair<dev_t, ino_t>;

// Records the real folder behind the path as visited; false when it was
// visited already (or cannot be examined, and so cannot be entered either).
bool FirstVisit(std::set<FolderIdentity>& visited, const std::string& path)
{
    struct stat info {};
    if (stat(WithoutSeparator(path).c_str(), &info) != 0)
        return false;
    return visited.insert({info.st_dev, info.st_ino}).second;
}

bool NamedHidden(const std::string& name)
{
    return !name.empty() && name.front() == '.';
}

class Walk {
public:
    Walk(std::vector<std::string>& folders, bool recursive, platform::Dialogs& dialogs,
         platform::EventLoop& events, const std::string& driveRoot,
         std::set<FolderIdentity>& visited, int& reports, std::vector<UnreadableFolder>* unreadable)
        : folders_(folders), recursive_(recursive), dialogs_(dialogs), events_(events),
          driveRoot_(driveRoot), visited_(visited), reports_(reports), unreadable_(unreadable),
          op_(dialogs, std::string(kWalkLocation))
    {
    }
    // However the walk ends, its reports are counted.
    ~Walk() { reports_ += op_.failures(); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void run()
    {
        // 100, 102: the file-system service is std::filesystem; nothing to obtain.
        std::vector<std::string> found;  // 104
        std::size_t index = 0;
        while (index < folders_.size()) {  // 106
            const std::string entry = folders_[index];
            const std::optional<std::string> removal = examine(entry, found);
            if (removal && removeEntry(entry)) {
                note(entry, *removal);
                continue;  // the entry that followed the removed one is now at `index`
            }
            ++index;  // 148
        }
        descend(found);  // 150
        trapping_ = false;
        for (const std::string& folder : found) {  // 152
            if (!op_.test(154, [&] { return core::IsFolder(folder); }))
                continue;
            op_.step(156, [&] { events_.yield(); });
            if (op_.test(158, [&] { return entered(folder); }))
                op_.step(160, [&] { folders_.push_back(folder); });
        }
    }

private:
    // Steps 108 to 136 for one entry. Returns the failure's words when one
    // with the number 70 or 76 is pending at step 138.
    std::optional<std::string> examine(const std::string& entry, std::vector<std::string>& found)
    {
        try {
            if (!test(108, [&] { return core::IsFolder(entry); }))
                return std::nullopt;
            if (!test(110, [&] { return core::CharacterCount(entry) < kPathLimit; }))
                return std::nullopt;
            bool haveAttributes = false;
            int attributes = 0;
            step(112, [&] {
                attributes = FolderAttributes(entry);
                haveAttributes = true;
            });
            step(114, [&] { events_.yield(); });
            const bool enter = test(116, [&] {
                if (!haveAttributes)
                    throw std::runtime_error("Object required");
                return IsRootFolder(entry, driveRoot_) || !IsHiddenSystem(attributes);
            });
            if (!enter)
                return std::nullopt;
            trapping_ = true;
            listSubfolders(entry, found);  // 118 to 136
            return std::nullopt;
        } catch (...) {
            if (!trapping_)
                throw;
            // 138: only "permission denied" and "path not found" count; any
            // other failure stays pending, without a message.
            const Failure failure = FailureOf(std::current_exception());
            if (failure.number == kPermissionDenied || failure.number == kPathNotFound)
                return failure.reason;
            return std::nullopt;
        }
    }

    void note(const std::string& folder, const std::string& reason)
    {
        if (unreadable_)
            unreadable_->push_back({folder, reason});
    }

    void listSubfolders(const std::string& entry, std::vector<std::string>& found)
    {
        fs::directory_iterator it(entry);  // 118: throws when the folder cannot be listed
        for (const fs::directory_iterator end; it != end;) {
            std::error_code ec;
            if (it->is_directory(ec) && !ec) {
                events_.yield();  // 120
                const std::string name = it->path().filename().string();  // 122
                if (core::CharacterCount(name) < kPathLimit && !HasOddChars(name)  // 124 to 130
                    && name.find('?') == std::string::npos && name != "." && name != ".."
                    && !LeadsBackUp(entry, *it) && !passedOver(entry + name + "/"))
                    found.push_back(entry + name + "/");  // 132, 134
            }
            it.increment(ec);  // 136
            if (ec)
                throw fs::filesystem_error("cannot list the folder", entry, ec);
        }
    }

    // A folder that will be entered is listed only where the walk meets its
    // real folder first, so no link cycle, of whatever shape, repeats a
    // folder. Hidden folders are never entered and need no such test. One
    // that cannot even be examined (its holder may be listed, not entered)
    // is passed over too, and noted.
    bool passedOver(const std::string& folder)
    {
        const std::string name = fs::path(WithoutSeparator(folder)).filename().string();
        if (NamedHidden(name) && !IsRootFolder(folder, driveRoot_))
            return false;
        if (const auto denied = ExaminationDenied(folder)) {
            note(folder, *denied);
            return true;
        }
        return !FirstVisit(visited_, folder);
    }

    // 140 to 148: removes the first entry equal to this one. True when removed.
    bool removeEntry(const std::string& entry)
    {
        const auto it = std::find(folders_.begin(), folders_.end(), entry);
        if (it == folders_.end())
            return false;
        folders_.erase(it);
        return true;
    }

    void descend(std::vector<std::string>& found)
    {
        if (!recursive_ || found.empty())
            return;
        // The deeper walk reports its own failures; anything that still escapes
        // it is left pending while failures are trapped, as at step 138.
        if (trapping_) {
            try {
                Walk(found, true, dialogs_, events_, driveRoot_, visited_, reports_, unreadable_).run();
            } catch (...) {
            }
        } else {
            op_.step(150, [&] { Walk(found, true, dialogs_, events_, driveRoot_, visited_, reports_, unreadable_).run(); });
        }
    }

    bool entered(const std::string& folder) const
    {
        return IsRootFolder(folder, driveRoot_) || !IsHiddenSystem(FolderAttributes(folder));
    }

    template <typename F>
    void step(int number, F&& action)
    {
        if (trapping_)
            std::forward<F>(action)();
        else
            op_.step(number, std::forward<F>(action));
    }

    template <typename F>
    bool test(int number, F&& condition)
    {
        if (trapping_)
            return static_cast<bool>(std::forward<F>(condition)());
        return op_.test(number, std::forward<F>(condition));
    }

    std::vector<std::string>& folders_;
    const bool recursive_;
    platform::Dialogs& dialogs_;
    platform::EventLoop& events_;
    const std::string driveRoot_;
    std::set<FolderIdentity>& visited_;  // shared with the deeper walks
    int& reports_;                       // so is the count of reports
    std::vector<UnreadableFolder>* unreadable_;  // and the list of folders it could not read
    core::GuardedOperation op_;
    bool trapping_ = false;  // failures go to step 138 instead of the report
};

}  // namespace

int FolderAttributes(const std::string& path)
{
    const std::string folder = WithoutSeparator(path);
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0)
        throw fs::filesystem_error("cannot read the folder's attributes", folder,
                                   std::error_code(errno, std::generic_category()));
    int attributes = kAttributeDirectory;
    if (S_ISLNK(info.st_mode))
        attributes |= kAttributeReparsePoint;
    const std::string name = fs::path(folder).filename().string();
    if (!name.empty() && name.front() == '.')
        attributes |= kAttributeHidden | kAttributeSystem;
    return attributes;
}

bool IsRootFolder(const std::string& path, const std::string& driveRoot)
{
    const std::string root = WithoutSeparator(driveRoot.empty() ? std::string("/") : driveRoot);
    return WithoutSeparator(path) == root;
}

int GetSubDirectories2016(std::vector<std::string>& folders, bool recursive,
                          platform::Dialogs& dialogs, platform::EventLoop& events,
                          const std::string& driveRoot, std::vector<UnreadableFolder>* unreadable)
{
    // The start entries count as visited: a link back to one is not followed.
    std::set<FolderIdentity> visited;
    for (const std::string& entry : folders)
        FirstVisit(visited, entry);
    int reports = 0;
    Walk(folders, recursive, dialogs, events, driveRoot, visited, reports, unreadable).run();
    return reports;
}

}  // namespace AddFolder
