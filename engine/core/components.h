// The component list: the optional parts of the product, by which the
// scripts and the feature tree say what the user chose to install, and the
// space the choice needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/compiled_script.h"
#include "engine/core/system_port.h"
#include "engine/core/variable_store.h"

namespace tavrel {

struct CommandContext;

// The part of the product that is always installed; never shown.
inline constexpr std::string_view kPredefinedComponent = "ZUNA-PREDEF-COMPONENT";

class ComponentList {
 public:
  // Empties the list and adds the predefined component, selected.
  void Reset();

  // A known name (letter case ignored) gets only the new description; an
  // unknown one is appended with its state.
  void Define(std::string_view name, bool selected, std::string description);
  // Appends the component whatever its name, without a description (a
  // maintenance run's restored list).
  void Append(std::string_view name, bool selected);
  // The first component of that name; nothing for an unknown name.
  void SetState(std::string_view name, bool selected);
  // The component at that position; nothing past the end.
  void SetStateAt(std::size_t i, bool selected);
  // Known and its state reads as true.
  bool Selected(std::string_view name) const;

  std::size_t Count() const { return names_.size(); }
  const std::string& Name(std::size_t i) const { return names_[i]; }
  const std::string& State(std::size_t i) const { return states_[i]; }
  // Empty past the end of the descriptions, which may be shorter.
  std::string Description(std::size_t i) const;

  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<std::string>& States() const { return states_; }
  const std::vector<std::string>& Descriptions() const { return descriptions_; }

 private:
  std::size_t Find(std::string_view name) const;

  std::vector<std::string> names_;
  std::vector<std::string> states_;  // "TRUE" or "FALSE"
  std::vector<std::string> descriptions_;
};

// The space queries, in bytes.
// The component's entry in the script's size table (letter case ignored),
// 0 when it has none; ConversionError when the entry is not a 32-bit
// decimal number.
std::int64_t SizeOfComponent(const CompiledScript& script, std::string_view name);
// The sizes of the selected components, less what is installed already.
std::int64_t RequiredSpace(const ComponentList& components, const CompiledScript& script,
                           std::int64_t installedSize);
// Free space of the drive TARGETDIR names; 1,048,576 for a network path;
// -1 when TARGETDIR is missing or empty.
std::int64_t AvailableSpace(const VariableStore& store, SystemPort& system);

namespace commands {
void DefineComponent(CommandContext& c);
void GetComponentState(CommandContext& c);
void SetComponentState(CommandContext& c);
}  // namespace commands

}  // namespace tavrel
