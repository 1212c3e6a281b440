// The items of a list box as the modules keep them (the main window's work
// lists List1 and List2), and the two lookups the conversion run makes in them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace core {

// A list box's items.
using ListItems = std::vector<std::string>;
// Some item equals the text when both are lower-cased (every item is examined).
bool ListContains(const ListItems& list, std::string_view text);
// Removes every item exactly equal to the text, keeping the others in order.
void RemoveFromList(ListItems& list, std::string_view text);

}  // namespace core
