#include "tvlc/core/setup_builder.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "common/ascii_case.h"
#include "common/text_lines.h"
#include "engine/core/compiled_script.h"
#include "tvlc/core/database_plan.h"
#include "tvlc/core/script_compiler.h"
#include "tvlc/core/source_reader.h"
#include "tvlc/core/windows_1252.h"

namespace tavrel::tvlc {

namespace {

// msibuild takes one statement per -q; this many at a time.
constexpr std::size_t kStatementsPerRun = 200;

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

void RunTool(BuildPort& port, const std::vector<std::string>& arguments, const std::string& cwd,
             std::string* output = nullptr) {
  const ToolRun run = port.Run(arguments, cwd);
  if (run.exitCode != 0) {
    std::string text = run.errors.empty() ? run.output : run.errors;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    throw SourceError(arguments.front() + " failed (" + std::to_string(run.exitCode) +
                      "): " + text);
  }
  if (output != nullptr) *output = run.output;
}

void Require(BuildPort& port, const std::string& path, PathKind kind, const SourceLocation& where,
             std::string_view what) {
  if (port.Kind(path) == kind) return;
  const std::string message = std::string(what) + " '" + path + "' not found";
  if (where.line == 0) throw SourceError(message);
  throw SourceError(where, message);
}

// The dialog file and rules file of every page the script displays, each once.
std::vector<std::string> DialogFiles(const SetupSource& source, BuildPort& port) {
  std::vector<std::string> files;
  std::set<std::string> seen;
  for (const SourceCommand& command : source.commands) {
    if (command.name != "Display Dialog" || command.flag == "C" || command.parameters.empty()) {
      continue;
    }
    if (source.dialogs.empty()) {
      throw SourceError(command.where, "Display Dialog needs the 'dialogs = FOLDER' setting");
    }
    for (const char* suffix : {".dfm", ".dfm.tvlf"}) {
      const std::string path =
          source.dialogs + "/" + Windows1252ToUtf8(command.parameters[0]) + suffix;
      Require(port, path, PathKind::kFile, command.where, "dialog file");
      if (seen.insert(path).second) files.push_back(path);
    }
  }
  return files;
}

// Copies a file or a folder with everything in it.
void CopyTree(BuildPort& port, const std::string& from, const std::string& to) {
  if (port.Kind(from) != PathKind::kFolder) {
    port.CopyFile(from, to);
    return;
  }
  port.MakeFolder(to);
  for (const FolderEntry& entry : port.ListFolder(from)) {
    CopyTree(port, from + "/" + entry.name, to + "/" + entry.name);
  }
}

std::string SummaryField(const std::string& text, std::string_view name) {
  common::LineReader lines(text);
  for (std::string_view line; lines.Next(line);) {
    if (line.starts_with(name) && line.substr(name.size()).starts_with(": ")) {
      return std::string(line.substr(name.size() + 2));
    }
  }
  throw SourceError("the database has no summary field " + std::string(name));
}

class Builder {
 public:
  Builder(const BuildRequest& request, BuildPort& port) : request_(request), port_(port) {}

  void Run() {
    SetupSource source =
        ReadSetupSource(request_.source, request_.sourceShown,
                        [this](const std::string& path) { return port_.ReadFile(path); });
    // What bad input can fail comes first, before anything is written.
    CheckSetupName(source);
    const std::string engine = request_.bin + "/tvlstub.exe";
    const std::string library =
        request_.library.empty() ? request_.bin + "/tvl.dll" : request_.library;
    if (const PathKind kind = port_.Kind(request_.output);
        kind != PathKind::kMissing && kind != PathKind::kFolder) {
      throw SourceError("'" + request_.output + "' is there and is not a folder");
    }
    Require(port_, engine, PathKind::kFile, {}, "engine");
    Require(port_, library, PathKind::kFile, {}, "archive library");
    for (std::size_t i = 0; i < source.resources.size(); ++i) {
      if (port_.Kind(source.resources[i]) == PathKind::kMissing) {
        throw SourceError(source.resourcesWhere[i],
                          "resource '" + source.resources[i] + "' not found");
      }
    }
    for (std::size_t i = 0; i < source.data.size(); ++i) {
      Require(port_, source.data[i], PathKind::kFile, source.dataWhere[i], "data file");
    }
    if (!source.dialogs.empty()) {
      Require(port_, source.dialogs, PathKind::kFolder, source.dialogsWhere, "dialogs folder");
    }
    if (!source.bitmap.empty()) {
      Require(port_, source.bitmap, PathKind::kFile, source.bitmapWhere, "bitmap");
    }
    if (!source.language.empty()) {
      Require(port_, source.language, PathKind::kFile, source.languageWhere, "language file");
    }
    std::set<std::string> mergemods;
    for (std::size_t i = 0; i < source.mergemods.size(); ++i) {
      if (port_.Kind(source.mergemods[i]) == PathKind::kMissing) {
        throw SourceError(source.mergemodsWhere[i],
                          "mergemod '" + source.mergemods[i] + "' not found");
      }
      if (!mergemods.insert(common::ToUpperAscii(NameOf(source.mergemods[i]))).second) {
        throw SourceError(source.mergemodsWhere[i],
                          "another mergemod has the name '" + NameOf(source.mergemods[i]) + "'");
      }
    }
    const std::vector<std::string> dialogs = DialogFiles(source, port_);
    CompleteSource(source);
    CompiledScript script = CompileScript(source, source.sourceFolders);
    // The work folder lies beside the output: one level below its folder.
    const std::string parent = FolderOf(request_.output);
    const std::size_t workDepth =
        static_cast<std::size_t>(std::ranges::count(parent, '/')) + (parent == "/" ? 0 : 1);
    Database database = PlanDatabase(source, port_, workDepth);
    script.webMediaSourceFolders = database.sourceFolders;

    stage_ = port_.MakeSiblingFolder(request_.output, "partial");
    work_ = port_.MakeSiblingFolder(request_.output, "work");
    const std::string name = Windows1252ToUtf8(source.name);
    WriteDatabase(source, database, stage_ + "/" + name + ".msi");
    const std::optional<std::string> body = port_.ReadFile(engine);
    if (!body) throw SourceError("cannot read '" + engine + "'");
    port_.WriteFile(stage_ + "/" + name + ".exe", *body + WriteCompiledScript(script));
    port_.CopyFile(library, stage_ + "/tvl.dll");
    if (!source.language.empty()) {
      const std::optional<std::string> language = port_.ReadFile(source.language);
      if (!language) throw SourceError("cannot read '" + source.language + "'");
      port_.AppendFile(stage_ + "/tvl.dll", *language);
    }
    WriteResources(source, dialogs, stage_ + "/" + name + ".res");
    WriteMedia(database);
    for (const std::string& mergemod : source.mergemods) {
      port_.MakeFolder(stage_ + "/mergemod");
      CopyTree(port_, mergemod, stage_ + "/mergemod/" + NameOf(mergemod));
    }
    if (!source.bitmap.empty()) port_.CopyFile(source.bitmap, stage_ + "/setup.bmp");
    port_.MakeFolder(stage_ + "/data");
    port_.WriteFile(stage_ + "/data/" + source.product, "");
    for (const std::string& file : source.data) {
      port_.CopyFile(file, stage_ + "/data/" + NameOf(file));
    }
    port_.ReplaceFolder(stage_, request_.output);
    stage_.clear();
  }

  // Removes what a failed or finished build leaves beside the output.
  void CleanUp() noexcept {
    for (std::string* path : {&stage_, &work_}) {
      if (path->empty()) continue;
      try {
        port_.Remove(*path);
      } catch (...) {
        // Already failing or done: the folder stays, named as a partial one.
      }
      path->clear();
    }
  }

 private:
  static void CheckSetupName(const SetupSource& source) {
    const std::string& name = source.name;
    if (name.empty() || name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
        name.back() == '.' || name.back() == ' ' ||
        std::ranges::any_of(name, [](char c) { return static_cast<unsigned char>(c) < 32; })) {
      throw source.SettingError(
          "name", "name '" + Windows1252ToUtf8(name) + "' is not a valid Windows file name");
    }
  }

  void WriteDatabase(const SetupSource& source, const Database& database,
                     const std::string& target) {
    const std::string files = work_ + "/files";
    port_.MakeFolder(files);
    for (const DatabaseFile& file : database.files) {
      if (!file.staged) continue;
      if (file.source.empty()) {
        port_.WriteFile(files + "/" + file.id, file.bytes);
      } else {
        port_.LinkFile(file.source, files + "/" + file.id);
      }
    }
    port_.WriteFile(work_ + "/setup.wxs", database.wxs);
    const std::string msi = work_ + "/setup.msi";
    RunTool(port_, {"wixl", "-o", msi, work_ + "/setup.wxs"}, work_);
    // wixl makes up a package code of its own; the engine tells an
    // installed revision by it, so it must be the script's revision code.
    std::string summary;
    RunTool(port_, {"msiinfo", "suminfo", msi}, work_, &summary);
    const std::string publisher = source.publisher[0].empty() ? "Tavrel" : source.publisher[0];
    // Each run of msibuild writes the whole database again: the summary goes
    // with the first statements.
    const std::vector<std::string>& statements = database.statements;
    for (std::size_t start = 0; start == 0 || start < statements.size();
         start += kStatementsPerRun) {
      std::vector<std::string> arguments = {"msibuild", msi};
      for (std::size_t i = start; i < statements.size() && i < start + kStatementsPerRun; ++i) {
        arguments.push_back("-q");
        arguments.push_back(statements[i]);
      }
      if (start == 0) {  // taken last: it reads the arguments up to the end
        arguments.insert(arguments.end(),
                         {"-s", Windows1252ToUtf8(source.title), Windows1252ToUtf8(publisher),
                          SummaryField(summary, "Template"), source.revision});
      }
      RunTool(port_, arguments, work_);
    }
    if (!database.mediaRows.empty()) AddMediaRows(database, msi);
    port_.CopyFile(msi, target);
  }

  // Adds the File rows of the files the installer copies from the data
  // folder, after the cabinet's, and a medium without a cabinet for them.
  // The rows go in through the exported table, as their names may hold what
  // the SQL cannot quote. The summary's word count then says neither
  // "compressed" nor "short names"; the cabinet's files say "compressed"
  // each.
  void AddMediaRows(const Database& database, const std::string& msi) {
    std::string exported;
    RunTool(port_, {"msiinfo", "export", msi, "File"}, work_, &exported);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header;
    common::LineReader lines(exported);
    for (std::string_view line; lines.Next(line);) {
      if (header.size() < 3) {
        header.emplace_back(line);
      } else if (!line.empty()) {
        std::vector<std::string>& row = rows.emplace_back();
        for (std::size_t start = 0;;) {
          const std::size_t tab = line.find('\t', start);
          row.emplace_back(line.substr(start, tab - start));
          if (tab == std::string_view::npos) break;
          start = tab + 1;
        }
      }
    }
    constexpr int kCompressed = 16384;
    std::size_t last = 0;
    for (std::vector<std::string>& row : rows) {
      if (row.size() != 8) throw SourceError("msiinfo exported a File row of another shape");
      row[6] = std::to_string(std::stoi(row[6].empty() ? "0" : row[6]) | kCompressed);
      last = std::max<std::size_t>(last, std::stoul(row[7]));
    }
    std::size_t sequence = last;
    for (std::vector<std::string> row : database.mediaRows) {
      row[7] = std::to_string(++sequence);
      // The exported table is UTF-8; the names are Windows-1252.
      row[2] = Windows1252ToUtf8(row[2]);
      rows.push_back(std::move(row));
    }
    std::string table;
    for (const std::string& line : header) table += line + "\r\n";
    for (const std::vector<std::string>& row : rows) {
      for (std::size_t i = 0; i < row.size(); ++i) table += (i == 0 ? "" : "\t") + row[i];
      table += "\r\n";
    }
    port_.WriteFile(work_ + "/File.idt", table);
    port_.WriteFile(work_ + "/summary.idt",
                    "PropertyId\tValue\r\ni2\tl255\r\n_SummaryInformation\tPropertyId\r\n"
                    "15\t0\r\n");
    RunTool(port_,
            {"msibuild", msi, "-i", work_ + "/File.idt", "-i", work_ + "/summary.idt", "-q",
             "INSERT INTO `Media` (`DiskId`, `LastSequence`) VALUES (2, " +
                 std::to_string(sequence) + ")"},
            work_);
  }

  // The archive web\NAME.7zip of each web media block (one top folder NAME;
  // in it each source folder of the block under its source folder path),
  // and the offline files in offline\<k>\.
  void WriteMedia(const Database& database) {
    const std::string blocks = work_ + "/blocks";
    for (const std::string& block : database.blocks) port_.MakeFolder(blocks + "/" + block);
    for (const MediaFile& file : database.mediaFiles) {
      std::string folder;
      if (file.origin == kOffline) {
        folder = stage_ + "/" + std::string(kOffline) + "/" + std::to_string(file.k);
      } else {
        std::string path = file.path;
        for (char& c : path) c = c == '\\' ? '/' : c;
        folder = blocks + "/" + file.origin + "/" + Windows1252ToUtf8(path);
      }
      port_.MakeFolder(folder);
      const std::string target = folder + "/" + Windows1252ToUtf8(file.name);
      if (file.source.empty()) {
        port_.WriteFile(target, file.bytes);
      } else {
        port_.CopyFile(file.source, target);
      }
    }
    if (!database.blocks.empty()) port_.MakeFolder(stage_ + "/web");
    for (const std::string& block : database.blocks) {
      RunTool(port_, {"7z", "a", "-bd", "-t7z", stage_ + "/web/" + block + ".7zip", block}, blocks);
    }
  }

  // A 7-Zip archive made with the tool's default options (LZMA2, compressed
  // header, the x86 filter for programs), as setup authors make them.
  void WriteResources(const SetupSource& source, const std::vector<std::string>& dialogs,
                      const std::string& target) {
    const std::string folder = work_ + "/resources";
    port_.MakeFolder(folder);
    std::set<std::string> names;
    for (std::size_t i = 0; i < source.resources.size(); ++i) {
      const std::string& path = source.resources[i];
      if (!names.insert(NameOf(path)).second) {
        throw SourceError(source.resourcesWhere[i],
                          "another resource is named '" + NameOf(path) + "'");
      }
      CopyTree(port_, path, folder + "/" + NameOf(path));
    }
    for (const std::string& path : dialogs) {
      if (names.insert(NameOf(path)).second) port_.CopyFile(path, folder + "/" + NameOf(path));
    }
    RunTool(port_, {"7z", "a", "-bd", target, "."}, folder);
  }

  const BuildRequest& request_;
  BuildPort& port_;
  std::string stage_;
  std::string work_;
};

}  // namespace

void BuildSetup(const BuildRequest& request, BuildPort& port) {
  Builder builder(request, port);
  try {
    builder.Run();
  } catch (...) {
    builder.CleanUp();
    throw;
  }
  builder.CleanUp();
}

}  // namespace tavrel::tvlc
