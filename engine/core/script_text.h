// Textual conventions every script command shares: boolean texts, variable
// references written between dollar signs, and the two letter-case foldings.
#pragma once

#include <string>
#include <string_view>

#include "common/ascii_case.h"

namespace tavrel {

// A text reads as true when its upper-cased form is "TRUE" or when it is
// exactly "-1"; anything else (including "1" and "") is false.
bool BooleanValue(std::string_view text);
// "TRUE" or "FALSE".
std::string BooleanText(bool value);

// The name inside a reference: when the text begins with '$' and the next
// '$' is its last character, the characters between them; otherwise empty
// ("$A$" gives "A"; "$A$B$", "$A", "A" and "$$" give "").
std::string ReferenceName(std::string_view text);
// The variable a text stands for where a command takes either form: the
// name inside a reference, or else the text as written ("$A$" and "A" both
// give "A").
std::string NamedVariable(std::string_view text);

// The ASCII folding (a-z only) is the one under which names of variables,
// labels, controls and properties are the same name.
using common::EqualsIgnoringAsciiCase;
using common::ToUpperAscii;

// Folds the letters of the Windows-1252 code page as well (a-z, the accented
// letters 0xE0-0xFE except the division sign, and the four letters whose
// capitals lie in 0x8A-0x9F). Sharp s and micro sign have no capital there
// and stay as they are.
char ToUpperAnsi(char c);
std::string ToUpperAnsi(std::string_view text);

// Every pair of backslashes becomes one, left to right (three become two); a
// text that began with a pair gets one back in front, so a network path
// keeps its leading pair.
std::string CollapseBackslashPairs(std::string_view text);

}  // namespace tavrel
