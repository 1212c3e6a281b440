// The application title made from the product's full name.
#include "core/app_title.h"

namespace core {

namespace {
std::string& Title()
{
    static std::string title(kProductName);
    return title;
}
}  // namespace

std::string ShortenTitle(std::string_view fullName)
{
    std::string title(fullName);
    auto dropLastWord = [&title] {
        const auto space = title.rfind(' ');
        if (space == std::string::npos)
            return false;
        title.erase(space);
        return true;
    };
    if (!dropLastWord())
        return title;
    while (title.size() > 40 && dropLastWord()) {
    }
    return title;
}

void SetAppTitle()
{
    Title() = ShortenTitle(kProductFullName);
}

const std::string& AppTitle()
{
    return Title();
}

}  // namespace core
