// GUIDs in braces, as the script and the installer database write them.
#pragma once

#include <string>
#include <string_view>

namespace tavrel::tvlc {

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, hexadecimal digits of either case.
bool IsBracedGuid(std::string_view text);

// A new GUID, upper case, from the standard library's random source.
std::string NewGuid();

// The same text gives the same GUID in every build (two FNV-1a hashes,
// mixed, marked as a name-based GUID).
std::string StableGuid(std::string_view text);

}  // namespace tavrel::tvlc
