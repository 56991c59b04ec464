// Dialog files in the text form-file format: a root object with nested
// objects, each with a class, a name and property values.
//
//   object Welcome: TPoolTemplate
//     Caption = 'Welcome to the ' + 'installer'
//     Font.Style = [fsBold]
//     Items.Strings = (
//       'One'
//       'Two')
//     Picture.Data = {0754426974...}
//     Columns = <
//       item
//         Caption = 'Name'
//       end>
//     object NextButton: TButton
//       Tag = 1
//     end
//   end
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

struct FormProperty {
  enum class Kind { kString, kInteger, kFloat, kIdentifier, kSet, kList, kCollection, kBinary };

  // Dotted as written: "Caption", "Font.Name", "Items.Strings".
  std::string name;
  Kind kind = Kind::kString;
  // The value as text:
  //   kString      the decoded 8-bit text ('' and #nn resolved, + joined);
  //   kInteger     decimal as written, without a leading '+' (hex $1F as decimal);
  //   kFloat       as written;
  //   kIdentifier  as written (True, clBtnFace, bsDialog);
  //   kSet         "[a, b]" with one blank after each comma, "[]" when empty;
  //   kList        the items' texts joined by CR LF;
  //   kCollection  empty;
  //   kBinary      the bytes decoded (see bytes), text empty.
  std::string text;
  // kList: each item's text, decoded as above for its own kind.
  std::vector<std::string> items;
  // kCollection: the properties of each item.
  std::vector<std::vector<FormProperty>> collection;
  // kBinary: the decoded bytes.
  std::vector<unsigned char> bytes;
  std::size_t line = 0;  // 1-based line the property starts on
};

struct FormObject {
  std::string name;                      // may be empty ("object : TLabel")
  std::string className;                 // "TButton"
  bool inherited = false;                // written "inherited" or "inline" instead of "object"
  std::vector<FormProperty> properties;  // in file order
  std::vector<FormObject> children;      // in file order
  std::size_t line = 0;

  // The last property of that name, compared without regard to ASCII case;
  // nullptr when there is none.
  const FormProperty* Find(std::string_view propertyName) const;
};

// A malformed file. what() reads "line N: <what is wrong>".
class FormFileError : public std::runtime_error {
 public:
  FormFileError(std::size_t line, const std::string& message);
  std::size_t Line() const { return line_; }

 private:
  std::size_t line_;
};

// Reads a whole dialog file. Line ends may be CR LF, LF or CR. Nesting deeper
// than 64 levels and text after the root's "end" (other than blanks) are
// errors. Throws FormFileError.
FormObject ReadFormFile(std::string_view text);

}  // namespace tavrel
