// Lookups in a list box's items.
#include "core/list_items.h"

#include "core/unicode_case.h"

#include <algorithm>

namespace core {

bool ListContains(const ListItems& list, std::string_view text)
{
    const std::string wanted = LowerCase(text);
    bool found = false;
    for (const std::string& item : list) {
        if (LowerCase(item) == wanted)
            found = true;
    }
    return found;
}

void RemoveFromList(ListItems& list, std::string_view text)
{
    list.erase(std::remove(list.begin(), list.end(), text), list.end());
}

}  // namespace core
