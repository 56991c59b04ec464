// The variable store: the script's only data, an ordered list of named texts
// that commands, dialogs, plug-ins and the installer run all read and write,
// and the expansion of $NAME$ references inside text.
#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/message_table.h"

namespace tavrel {

// Get or set of a name no variable has. The text is the message-table entry
// followed by the name, so it reads in the language of the setup.
class UndefinedVariableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Variable {
  std::string name;
  std::string value;
};

// Bounds on expansion. Only values that refer to themselves, directly or
// through later variables, ever reach them: A = x$A$ grows by one "x" per
// pass for ever, A = $A$$A$ doubles per pass, and a chain of such values
// can multiply the text within one pass. Legitimate text needs one pass per
// level of reference to an earlier-defined variable, so 100 passes is far
// beyond any script. 16 MiB is far beyond any text a setup shows or hands
// to a command, yet a small share of a 32-bit address space even with the
// few copies expansion makes. Expansion keeps some fifty to ninety bytes
// of bookkeeping per dollar sign, so a text full of references costs it far
// more than its size: 262,144 dollar signs, again far beyond any real text,
// bound that to a few tens of MiB.
struct ExpansionLimits {
  int maxPasses = 100;
  std::size_t maxSize = std::size_t{16} << 20;
  std::size_t maxDollars = std::size_t{1} << 18;
};

class VariableStore {
 public:
  // Messages supplies the failure texts; it must outlive the store.
  explicit VariableStore(const MessageTable& messages, ExpansionLimits limits = {});

  void Clear();

  // Names are compared with a-z folded to A-Z and nothing else.
  bool Exists(std::string_view name) const;
  // Value of the first variable of that name; UndefinedVariableError when
  // there is none.
  std::string Get(std::string_view name) const;
  // Replaces the value of the first variable of that name;
  // UndefinedVariableError when there is none.
  void Set(std::string_view name, std::string value);
  // Nothing for an empty name; otherwise creates the variable under the name
  // as passed when it does not exist yet, then sets it.
  void Define(std::string_view name, std::string value);
  // How a command makes sure the variable it names exists: an empty one is
  // created under the upper-cased name unless one of that name is there;
  // nothing for an empty name.
  void Declare(std::string_view name);
  // How commands store a result: a missing variable is created under the
  // upper-cased name first. An empty name cannot be created, so it fails as
  // a set of an undefined variable.
  void SetResult(std::string_view name, std::string value);

  // Replaces "$NEWLINE$" (exactly so written) by CR LF, then, for each
  // variable in store order, every $NAME$ by its value, with NAME compared
  // under Windows-1252 upper-casing. Occurrences of one name are taken left
  // to right without overlap; text a variable inserts is searched by the
  // variables after it in the store, not by itself or those before it. The
  // whole pass repeats while the result holds a '$' and differs from the
  // pass's input.
  //
  // At the bounds: after limits.maxPasses passes the text is returned as the
  // last pass left it. A pass that would make the text longer than
  // limits.maxSize or give it more than limits.maxDollars dollar signs (or
  // more than the input has, where the input has more) is abandoned, and the
  // text is returned as it stood before that pass. Expansion never
  // throws for want of a variable; unknown references stay as they are.
  std::string Expand(std::string_view text) const;

  // The argument is a name or a $NAME$ reference; the variable's value,
  // expanded, or empty when there is no such variable.
  std::string ExpandedValue(std::string_view nameOrReference) const;

  // Expands, then turns every pair of backslashes into one, left to right
  // (three become two); a text whose expansion began with two backslashes
  // gets one back in front, so a network path keeps its leading pair.
  std::string PathForm(std::string_view text) const;

  // The store as one list text: name, value, name, value... in store order.
  std::string ListText() const;
  // Replaces the whole store with the pairs of a list text, in order. A name
  // repeated keeps every pair (the first one answers Get and Set); a pair
  // with an empty name is dropped, since no variable may be nameless; an odd
  // last item becomes a variable with an empty value.
  void ReadListText(std::string_view text);

  std::span<const Variable> Variables() const { return variables_; }
  std::size_t Size() const { return variables_.size(); }

  // Case-blind hashing and comparison, usable with a std::string_view key.
  struct AsciiFoldHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
  };
  struct AsciiFoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };
  struct AnsiFoldHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
  };
  struct AnsiFoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };

 private:
  void Append(std::string name, std::string value);
  std::size_t Find(std::string_view name) const;  // npos when absent

  const MessageTable* messages_;
  ExpansionLimits limits_;
  std::vector<Variable> variables_;
  // Upper-cased name -> position of the first variable of that name.
  std::unordered_map<std::string, std::size_t, AsciiFoldHash, AsciiFoldEqual> firstByName_;
  // Expansion folds more letters than lookup does, so names that are
  // distinct variables can be one reference: each such group of names lists
  // its variables' positions in store order.
  std::unordered_map<std::string, std::size_t, AnsiFoldHash, AnsiFoldEqual> groupByName_;
  std::vector<std::vector<std::size_t>> groups_;
  // Names holding a '$' cannot be found by looking at the text between two
  // dollar signs; expansion gives them a plain search of their own.
  std::vector<std::size_t> dollarNamed_;
  std::size_t longestName_ = 0;
};

// The variable exists and its value reads as true ("TRUE" in any letter
// case, or "-1").
bool ReadsTrue(const VariableStore& store, std::string_view name);

// The variable's value; empty when it does not exist.
std::string ValueOrEmpty(const VariableStore& store, std::string_view name);

}  // namespace tavrel
