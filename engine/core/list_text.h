// Lists of texts written as one comma-separated line: the form in which the
// variable store, the action state list and plug-in results travel.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Items separated by commas. An item holding a blank, a control character
// (any byte up to 0x20, NUL included), a comma or a double quote is written
// between double quotes with each inner quote doubled; an empty item is
// nothing between its commas, except that a list of exactly one empty item
// is written as "" (an empty line is the empty list).
std::string WriteListText(std::span<const std::string> items);

// Reads what WriteListText writes, and is lenient with anything else:
// blanks and control characters before an item are skipped; a quoted item
// runs to its closing quote (a doubled quote is one quote), or to the end of
// the text when the quote is never closed; an unquoted item ends at the
// first blank, control character or comma; an item followed (after any
// blanks) by anything but a comma is simply followed by the next item, as if
// a comma stood between them; a comma directly followed by the end of the
// text adds an empty last item, while a comma followed by blanks and the end
// adds nothing.
std::vector<std::string> ReadListText(std::string_view text);

}  // namespace tavrel
