// The variable store and its expansion of references.
//
// Expansion means one search-and-replace per variable in store order; done
// literally, that is a scan of the whole text per variable. Instead, a pass
// cuts the text at its dollar signs into tokens: an occurrence of $NAME$ (for
// a name without '$') is exactly a token between two dollar signs that folds
// to NAME. Only variables whose name is such a token can change the text, so
// the pass visits just those, in store order, and each visit touches only its
// own tokens. A replacement joins the token before it, the value and the
// token after it into new tokens, which are then looked up for the variables
// later in the store - the same thing the plain search would find, since a
// variable's own search resumes after what it inserted.
#include "engine/core/variable_store.h"

#include <algorithm>
#include <limits>

#include "engine/core/list_text.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr std::string_view kNewlineReference = "$NEWLINE$";

using GroupMap = std::unordered_map<std::string, std::size_t, VariableStore::AnsiFoldHash,
                                    VariableStore::AnsiFoldEqual>;

// FNV-1a over the folded bytes.
template <char (*Fold)(char)>
std::size_t FoldedHash(std::string_view text) {
  std::size_t hash = static_cast<std::size_t>(2166136261u);
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(Fold(c));
    hash *= static_cast<std::size_t>(16777619u);
  }
  return hash;
}

template <char (*Fold)(char)>
bool FoldedEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

std::string ReplaceNewlineReferences(std::string text) {
  std::size_t pos = text.find(kNewlineReference);
  if (pos == std::string::npos) return text;
  std::string result;
  std::size_t done = 0;
  while (pos != std::string::npos) {
    result.append(text, done, pos - done);
    result += "\r\n";
    done = pos + kNewlineReference.size();
    pos = text.find(kNewlineReference, done);
  }
  result.append(text, done);
  return result;
}

void SplitAtDollars(std::string_view text, std::vector<std::string_view>& pieces) {
  pieces.clear();
  std::size_t start = 0;
  for (std::size_t pos = text.find('$'); pos != std::string_view::npos;
       pos = text.find('$', start)) {
    pieces.push_back(text.substr(start, pos - start));
    start = pos + 1;
  }
  pieces.push_back(text.substr(start));
}

// Bytes or dollar signs after replacing `count` occurrences of a pattern
// by a value, or kNone when that would pass `limit`; written so that no
// product can wrap around in a 32-bit size_t.
std::size_t AmountAfter(std::size_t amount, std::size_t count, std::size_t inPattern,
                        std::size_t inValue, std::size_t limit) {
  if (inValue <= inPattern) return amount - count * (inPattern - inValue);
  const std::size_t growth = inValue - inPattern;
  if (amount > limit || count > (limit - amount) / growth) return kNone;
  return amount + count * growth;
}

struct PassLimits {
  std::size_t bytes;
  std::size_t dollars;
};

struct ExpansionIndex {
  const std::vector<Variable>& variables;
  const GroupMap& groupByName;
  const std::vector<std::vector<std::size_t>>& groups;
  const std::vector<std::size_t>& dollarNamed;
  std::size_t longestName;
};

// One pass of the per-variable replacements over a text whose "$NEWLINE$"
// references are already replaced.
class ExpansionPass {
 public:
  ExpansionPass(const ExpansionIndex& index, PassLimits limits) : index_(index), limits_(limits) {}

  // False when the pass would pass a limit.
  bool Run(std::string_view text, std::string& result) {
    Load(text, kNone);
    for (const std::size_t position : index_.dollarNamed) Push(Due{position, kNone, 0});
    while (!due_.empty()) {
      const std::size_t position = due_.front().position;
      candidates_.clear();
      while (!due_.empty() && due_.front().position == position) {
        const Due due = Pop();
        if (due.id != kNone && Current(due.id, due.generation)) candidates_.push_back(due.id);
      }
      if (!Visit(position)) return false;
    }
    result = Flatten();
    return true;
  }

 private:
  struct Token {
    std::string text;
    std::size_t prev = kNone;
    std::size_t next = kNone;
    // Tokens are recycled once joined into others; the generation tells an
    // entry made for an earlier use of the slot.
    std::size_t generation = 0;
    bool alive = true;
  };

  // A token that the variable at `position` is to look at (or, with no
  // token, a variable with a dollar sign in its name, which looks at the
  // whole text).
  struct Due {
    std::size_t position;
    std::size_t id;
    std::size_t generation;
  };
  static bool Later(const Due& a, const Due& b) { return a.position > b.position; }

  void Push(Due due) {
    due_.push_back(due);
    std::push_heap(due_.begin(), due_.end(), Later);
  }

  Due Pop() {
    std::pop_heap(due_.begin(), due_.end(), Later);
    const Due due = due_.back();
    due_.pop_back();
    return due;
  }

  bool Interior(std::size_t id) const {
    return tokens_[id].prev != kNone && tokens_[id].next != kNone;
  }

  bool Current(std::size_t id, std::size_t generation) const {
    return tokens_[id].alive && tokens_[id].generation == generation;
  }

  std::size_t NewToken(std::string text) {
    ++live_;
    if (free_.empty()) {
      tokens_.emplace_back();
      tokens_.back().text = std::move(text);
      return tokens_.size() - 1;
    }
    const std::size_t id = free_.back();
    free_.pop_back();
    Token& token = tokens_[id];
    token.text = std::move(text);
    token.prev = token.next = kNone;
    ++token.generation;
    token.alive = true;
    return id;
  }

  void Retire(std::size_t id) {
    --live_;
    tokens_[id].alive = false;
    tokens_[id].text = std::string();
    free_.push_back(id);
  }

  void Load(std::string_view text, std::size_t visited) {
    tokens_.clear();
    free_.clear();
    live_ = 0;
    length_ = text.size();
    dollars_ = static_cast<std::size_t>(std::count(text.begin(), text.end(), '$'));
    tokens_.reserve(dollars_ + 1);
    std::size_t start = 0;
    std::size_t prev = kNone;
    while (true) {
      const std::size_t end = std::min(text.find('$', start), text.size());
      const std::size_t id = NewToken(std::string(text.substr(start, end - start)));
      tokens_[id].prev = prev;
      if (prev != kNone) tokens_[prev].next = id;
      prev = id;
      if (end == text.size()) break;
      start = end + 1;
    }
    head_ = 0;
    // Entries for the discarded tokens are stale now; keep only the
    // variables that search the whole text.
    std::erase_if(due_, [](const Due& due) { return due.id != kNone; });
    std::make_heap(due_.begin(), due_.end(), Later);
    for (std::size_t id = 0; id < tokens_.size(); ++id) {
      if (Interior(id)) File(id, visited);
    }
  }

  // Queues an interior token for the first variable after the one just
  // visited whose name it is.
  void File(std::size_t id, std::size_t visited) {
    if (tokens_[id].text.size() > index_.longestName) return;
    const auto found = index_.groupByName.find(std::string_view(tokens_[id].text));
    if (found == index_.groupByName.end()) return;
    const std::vector<std::size_t>& positions = index_.groups[found->second];
    const auto next = visited == kNone
                          ? positions.begin()
                          : std::upper_bound(positions.begin(), positions.end(), visited);
    if (next == positions.end()) return;
    Push(Due{*next, id, tokens_[id].generation});
    // Tokens can be joined away before their turn comes; drop the stale
    // entries whenever they could outnumber the live tokens.
    if (due_.size() > 2 * (live_ + index_.dollarNamed.size()) + 1024) {
      std::erase_if(due_, [&](const Due& due) {
        return due.id != kNone && !Current(due.id, due.generation);
      });
      std::make_heap(due_.begin(), due_.end(), Later);
    }
  }

  bool Visit(std::size_t position) {
    const Variable& variable = index_.variables[position];
    if (variable.name.find('$') != std::string::npos) return VisitBySearch(position);
    if (candidates_.empty()) return true;
    std::sort(candidates_.begin(), candidates_.end());
    candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
    const auto isCandidate = [&](std::size_t id) {
      return std::binary_search(candidates_.begin(), candidates_.end(), id);
    };

    // Tokens next to each other share the dollar sign between them, so in a
    // run of them the search takes the first, skips the second, and so on.
    matches_.clear();
    for (const std::size_t id : candidates_) {
      if (isCandidate(tokens_[id].prev)) continue;
      bool take = true;
      for (std::size_t run = id; run != kNone && isCandidate(run); run = tokens_[run].next) {
        if (take) matches_.push_back(run);
        take = !take;
      }
    }

    SplitAtDollars(variable.value, pieces_);
    const std::size_t length = AmountAfter(length_, matches_.size(), variable.name.size() + 2,
                                           variable.value.size(), limits_.bytes);
    const std::size_t dollars =
        AmountAfter(dollars_, matches_.size(), 2, pieces_.size() - 1, limits_.dollars);
    if (length == kNone || dollars == kNone) return false;
    length_ = length;
    dollars_ = dollars;

    created_.clear();
    for (const std::size_t id : matches_) Replace(id);
    for (const Due& made : created_) {
      if (Current(made.id, made.generation) && Interior(made.id)) File(made.id, position);
    }
    return true;
  }

  // Joins the token before the occurrence, the value and the token after
  // it; a value with dollar signs in it becomes several tokens.
  void Replace(std::size_t id) {
    const std::size_t before = tokens_[id].prev;
    const std::size_t after = tokens_[id].next;
    const std::size_t outerPrev = tokens_[before].prev;
    const std::size_t outerNext = tokens_[after].next;

    std::string firstText = std::move(tokens_[before].text);
    firstText += pieces_.front();
    std::string lastText = pieces_.size() == 1 ? std::move(firstText) : std::string(pieces_.back());
    lastText += tokens_[after].text;
    Retire(before);
    Retire(id);
    Retire(after);

    std::size_t first = kNone;
    std::size_t last = kNone;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      std::string text = i + 1 == pieces_.size() ? std::move(lastText)
                         : i == 0                ? std::move(firstText)
                                                 : std::string(pieces_[i]);
      const std::size_t made = NewToken(std::move(text));
      created_.push_back(Due{0, made, tokens_[made].generation});
      tokens_[made].prev = last;
      if (last != kNone) tokens_[last].next = made;
      if (first == kNone) first = made;
      last = made;
    }
    tokens_[first].prev = outerPrev;
    if (outerPrev != kNone) {
      tokens_[outerPrev].next = first;
    } else {
      head_ = first;
    }
    tokens_[last].next = outerNext;
    if (outerNext != kNone) tokens_[outerNext].prev = last;
  }

  // A name with a dollar sign in it spans tokens: search the whole text as
  // it stands, then cut the result into tokens afresh.
  bool VisitBySearch(std::size_t position) {
    const Variable& variable = index_.variables[position];
    const std::string text = Flatten();
    const std::string pattern = '$' + variable.name + '$';
    const VariableStore::AnsiFoldEqual equal;
    std::vector<std::size_t> at;
    for (std::size_t pos = text.find('$');
         pos != std::string::npos && pos + pattern.size() <= text.size();
         pos = text.find('$', pos)) {
      if (equal(std::string_view(text).substr(pos, pattern.size()), pattern)) {
        at.push_back(pos);
        pos += pattern.size();
      } else {
        ++pos;
      }
    }
    if (at.empty()) return true;
    const auto dollarsIn = [](std::string_view part) {
      return static_cast<std::size_t>(std::count(part.begin(), part.end(), '$'));
    };
    if (AmountAfter(text.size(), at.size(), pattern.size(), variable.value.size(), limits_.bytes) ==
            kNone ||
        AmountAfter(dollars_, at.size(), dollarsIn(pattern), dollarsIn(variable.value),
                    limits_.dollars) == kNone) {
      return false;
    }
    std::string result;
    std::size_t done = 0;
    for (const std::size_t pos : at) {
      result.append(text, done, pos - done);
      result += variable.value;
      done = pos + pattern.size();
    }
    result.append(text, done);
    Load(result, position);
    return true;
  }

  std::string Flatten() const {
    std::string text;
    text.reserve(length_);
    for (std::size_t id = head_; id != kNone; id = tokens_[id].next) {
      if (id != head_) text += '$';
      text += tokens_[id].text;
    }
    return text;
  }

  const ExpansionIndex& index_;
  PassLimits limits_;
  std::vector<Token> tokens_;
  std::vector<std::size_t> free_;
  std::size_t live_ = 0;
  std::size_t head_ = 0;
  std::size_t length_ = 0;
  std::size_t dollars_ = 0;
  // A min-heap by position: what is left to visit in this pass.
  std::vector<Due> due_;
  // Scratch space of one visit, kept to save allocations.
  std::vector<std::size_t> candidates_;
  std::vector<std::size_t> matches_;
  std::vector<std::string_view> pieces_;
  std::vector<Due> created_;
};

}  // namespace

std::size_t VariableStore::AsciiFoldHash::operator()(std::string_view text) const noexcept {
  return FoldedHash<ToUpperAscii>(text);
}

bool VariableStore::AsciiFoldEqual::operator()(std::string_view a,
                                               std::string_view b) const noexcept {
  return FoldedEqual<ToUpperAscii>(a, b);
}

std::size_t VariableStore::AnsiFoldHash::operator()(std::string_view text) const noexcept {
  return FoldedHash<ToUpperAnsi>(text);
}

bool VariableStore::AnsiFoldEqual::operator()(std::string_view a,
                                              std::string_view b) const noexcept {
  return FoldedEqual<ToUpperAnsi>(a, b);
}

VariableStore::VariableStore(const MessageTable& messages, ExpansionLimits limits)
    : messages_(&messages), limits_(limits) {}

void VariableStore::Clear() {
  variables_.clear();
  firstByName_.clear();
  groupByName_.clear();
  groups_.clear();
  dollarNamed_.clear();
  longestName_ = 0;
}

void VariableStore::Append(std::string name, std::string value) {
  const std::size_t position = variables_.size();
  firstByName_.try_emplace(name, position);
  const auto [group, added] = groupByName_.try_emplace(name, groups_.size());
  if (added) groups_.emplace_back();
  groups_[group->second].push_back(position);
  if (name.find('$') != std::string::npos) dollarNamed_.push_back(position);
  longestName_ = std::max(longestName_, name.size());
  variables_.push_back(Variable{std::move(name), std::move(value)});
}

std::size_t VariableStore::Find(std::string_view name) const {
  const auto found = firstByName_.find(name);
  return found == firstByName_.end() ? kNone : found->second;
}

bool VariableStore::Exists(std::string_view name) const {
  return Find(name) != kNone;
}

std::string VariableStore::Get(std::string_view name) const {
  const std::size_t position = Find(name);
  if (position == kNone) {
    throw UndefinedVariableError(messages_->Get(msg::kGetUndefinedVariable) + std::string(name));
  }
  return variables_[position].value;
}

void VariableStore::Set(std::string_view name, std::string value) {
  const std::size_t position = Find(name);
  if (position == kNone) {
    throw UndefinedVariableError(messages_->Get(msg::kSetUndefinedVariable) + std::string(name));
  }
  variables_[position].value = std::move(value);
}

void VariableStore::Define(std::string_view name, std::string value) {
  if (name.empty()) return;
  if (!Exists(name)) Append(std::string(name), std::string());
  Set(name, std::move(value));
}

void VariableStore::Declare(std::string_view name) {
  if (!name.empty() && !Exists(name)) Append(ToUpperAscii(name), std::string());
}

void VariableStore::SetResult(std::string_view name, std::string value) {
  Declare(name);
  Set(name, std::move(value));
}

std::string VariableStore::Expand(std::string_view text) const {
  const PassLimits limits{std::max(limits_.maxSize, text.size()),
                          std::max(limits_.maxDollars, static_cast<std::size_t>(std::count(
                                                           text.begin(), text.end(), '$')))};
  const ExpansionIndex index{variables_, groupByName_, groups_, dollarNamed_, longestName_};
  std::string current(text);
  for (int pass = 0; pass < limits_.maxPasses; ++pass) {
    if (current.find('$') == std::string::npos) return current;
    std::string result;
    if (!ExpansionPass(index, limits).Run(ReplaceNewlineReferences(current), result)) {
      return current;
    }
    if (result == current) return result;
    current = std::move(result);
  }
  return current;
}

std::string VariableStore::ExpandedValue(std::string_view nameOrReference) const {
  const std::size_t position = Find(NamedVariable(nameOrReference));
  return position == kNone ? std::string() : Expand(variables_[position].value);
}

std::string VariableStore::PathForm(std::string_view text) const {
  return CollapseBackslashPairs(Expand(text));
}

std::string VariableStore::ListText() const {
  std::vector<std::string> items;
  items.reserve(variables_.size() * 2);
  for (const Variable& variable : variables_) {
    items.push_back(variable.name);
    items.push_back(variable.value);
  }
  return WriteListText(items);
}

void VariableStore::ReadListText(std::string_view text) {
  std::vector<std::string> items = ::tavrel::ReadListText(text);
  Clear();
  for (std::size_t i = 0; i < items.size(); i += 2) {
    if (items[i].empty()) continue;
    Append(std::move(items[i]), i + 1 < items.size() ? std::move(items[i + 1]) : std::string());
  }
}

bool ReadsTrue(const VariableStore& store, std::string_view name) {
  return store.Exists(name) && BooleanValue(store.Get(name));
}

std::string ValueOrEmpty(const VariableStore& store, std::string_view name) {
  return store.Exists(name) ? store.Get(name) : std::string();
}

}  // namespace tavrel
