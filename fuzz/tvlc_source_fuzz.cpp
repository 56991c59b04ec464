// The setup compiler's source reader and script compiler: an input is up to
// four source files separated by NUL bytes ("main.setup", then "a.setup",
// "b.setup" and "dir/c.setup", which the others may include, themselves or
// each other). Whatever the text, reading ends in a setup or a SourceError
// naming one of the files and a line; a setup that reads compiles to a script
// or a SourceError, and a compiled script reads back as the same script;
// its installer database is then planned (every path a file of one byte, so
// that each change command reaches its rows) or refused with a SourceError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "engine/core/compiled_script.h"
#include "tvlc/core/database_plan.h"
#include "tvlc/core/script_compiler.h"
#include "tvlc/core/source_reader.h"

namespace {

// Every path is a file of one byte; nothing is written or run.
class FilePort : public tavrel::tvlc::BuildPort {
 public:
  tavrel::tvlc::PathKind Kind(const std::string&) override { return tavrel::tvlc::PathKind::kFile; }
  std::uint64_t FileSize(const std::string&) override { return 1; }
  std::optional<std::string> ReadFile(const std::string&) override { return "x"; }
  std::vector<tavrel::tvlc::FolderEntry> ListFolder(const std::string&) override { return {}; }
  void WriteFile(const std::string&, const std::string&) override {}
  void AppendFile(const std::string&, const std::string&) override {}
  void CopyFile(const std::string&, const std::string&) override {}
  void LinkFile(const std::string&, const std::string&) override {}
  void MakeFolder(const std::string&) override {}
  std::string MakeSiblingFolder(const std::string& path, const std::string&) override {
    return path;
  }
  void ReplaceFolder(const std::string&, const std::string&) override {}
  void Remove(const std::string&) override {}
  tavrel::tvlc::ToolRun Run(const std::vector<std::string>&, const std::string&) override {
    return {};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  static constexpr const char* kNames[] = {"/s/main.setup", "/s/a.setup", "/s/b.setup",
                                           "/s/dir/c.setup"};
  std::map<std::string, std::string> files;
  std::size_t start = 0;
  for (const char* name : kNames) {
    const std::size_t end = input.find('\0', start);
    files[name] =
        std::string(input.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const auto read = [&](const std::string& path) -> std::optional<std::string> {
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  };
  tavrel::tvlc::SetupSource source;
  try {
    source = tavrel::tvlc::ReadSetupSource("/s/main.setup", "main.setup", read);
  } catch (const tavrel::tvlc::SourceError& error) {
    const std::string_view message = error.what();
    if (message.empty()) std::abort();
    return 0;
  }
  // Fixed codes, so that a run depends on its input alone.
  if (source.product.empty()) source.product = "{00000000-0000-0000-0000-000000000001}";
  if (source.revision.empty()) source.revision = "{00000000-0000-0000-0000-000000000002}";
  for (std::size_t i = 0; i < source.commands.size(); ++i) {
    if (source.commands[i].id.empty()) source.commands[i].id = "{id " + std::to_string(i) + "}";
  }
  try {
    tavrel::tvlc::CompleteSource(source);
    const tavrel::CompiledScript script = tavrel::tvlc::CompileScript(source, source.sourceFolders);
    const std::string text = tavrel::WriteCompiledScript(script);
    const tavrel::CompiledScript again = tavrel::ParseCompiledScript(text);
    if (again.commandNames != script.commandNames ||
        again.parameterBlock != script.parameterBlock ||
        again.commandFlags != script.commandFlags || again.title != script.title ||
        again.publisherLines != script.publisherLines) {
      std::abort();
    }
    FilePort port;
    tavrel::tvlc::PlanDatabase(source, port, 2);
  } catch (const tavrel::tvlc::SourceError&) {
  }
  return 0;
}
