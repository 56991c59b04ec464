#include "engine/core/components.h"

#include "engine/core/command_context.h"
#include "engine/core/script_text.h"
#include "engine/core/system_info.h"

namespace tavrel {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ToUpperAnsi(a) == ToUpperAnsi(b);
}

}  // namespace

void ComponentList::Reset() {
  names_.assign(1, std::string(kPredefinedComponent));
  states_.assign(1, "TRUE");
  descriptions_.assign(1, "");
}

std::size_t ComponentList::Find(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (SameName(names_[i], name)) return i;
  }
  return kNone;
}

void ComponentList::Define(std::string_view name, bool selected, std::string description) {
  std::size_t position = Find(name);
  if (position == kNone) {
    position = names_.size();
    names_.emplace_back(name);
    states_.push_back(BooleanText(selected));
  }
  if (descriptions_.size() <= position) descriptions_.resize(position + 1);
  descriptions_[position] = std::move(description);
}

void ComponentList::Append(std::string_view name, bool selected) {
  names_.emplace_back(name);
  states_.push_back(BooleanText(selected));
}

void ComponentList::SetState(std::string_view name, bool selected) {
  const std::size_t position = Find(name);
  if (position != kNone) states_[position] = BooleanText(selected);
}

void ComponentList::SetStateAt(std::size_t i, bool selected) {
  if (i < states_.size()) states_[i] = BooleanText(selected);
}

bool ComponentList::Selected(std::string_view name) const {
  const std::size_t position = Find(name);
  return position != kNone && BooleanValue(states_[position]);
}

std::string ComponentList::Description(std::size_t i) const {
  return i < descriptions_.size() ? descriptions_[i] : std::string();
}

std::int64_t SizeOfComponent(const CompiledScript& script, std::string_view name) {
  for (const ComponentSize& entry : script.componentSizes) {
    if (!SameName(entry.name, name)) continue;
    std::int32_t size = 0;
    if (!ParseInt32(entry.size, size)) {
      throw ConversionError("'" + entry.size + "' is not a valid integer value");
    }
    return size;
  }
  return 0;
}

std::int64_t RequiredSpace(const ComponentList& components, const CompiledScript& script,
                           std::int64_t installedSize) {
  std::int64_t total = 0;
  for (std::size_t i = 0; i < components.Count(); ++i) {
    if (BooleanValue(components.State(i))) total += SizeOfComponent(script, components.Name(i));
  }
  return total - installedSize;
}

std::int64_t AvailableSpace(const VariableStore& store, SystemPort& system) {
  if (!store.Exists("TARGETDIR")) return -1;
  const std::string target = store.ExpandedValue("TARGETDIR");
  if (target.empty()) return -1;
  if (target.starts_with("\\\\")) return 1'048'576;
  return system.FreeSpaceOfDrive(target[0]);
}

namespace commands {

// The name, state and description are used as written.
void DefineComponent(CommandContext& c) {
  c.run.components.Define(c.Param(1), BooleanValue(c.Param(2)), c.Param(3));
}

void SetComponentState(CommandContext& c) {
  c.run.components.SetState(c.Param(1), BooleanValue(c.Param(2)));
}

void GetComponentState(CommandContext& c) {
  const std::string& variable = c.Param(2);
  if (variable.empty()) return;
  c.store.SetResult(NamedVariable(variable), BooleanText(c.run.components.Selected(c.Param(1))));
}

}  // namespace commands

}  // namespace tavrel
