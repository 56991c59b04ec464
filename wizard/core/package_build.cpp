#include "wizard/core/package_build.h"

#include <algorithm>

#include "common/text_lines.h"
#include "stub/core/package_format.h"
#include "wizard/core/output_paths.h"

namespace ombrwiz {
namespace {

constexpr std::size_t kCopyBlock = 1'048'576;
constexpr std::string_view kCompressionErrorIntro =
    "The following error has occured during compression:\r";
constexpr std::string_view kTrustSucceeded = "Succeeded\r\n";

}  // namespace

void BuildProgress::SetStatus(std::string status) {
  const std::lock_guard lock(mutex_);
  status_ = std::move(status);
}

std::string BuildProgress::Status() const {
  const std::lock_guard lock(mutex_);
  return status_;
}

void BuildProgress::Pause() {
  const std::lock_guard lock(mutex_);
  paused_ = true;
}

void BuildProgress::Resume() {
  {
    const std::lock_guard lock(mutex_);
    paused_ = false;
  }
  resumed_.notify_all();
}

bool BuildProgress::Paused() const {
  const std::lock_guard lock(mutex_);
  return paused_;
}

void BuildProgress::WaitWhilePaused() {
  std::unique_lock lock(mutex_);
  resumed_.wait(lock, [this] { return !paused_ || terminated.load() || stop.load(); });
}

void BuildProgress::Terminate() {
  {
    const std::lock_guard lock(mutex_);
    terminated = true;
  }
  resumed_.notify_all();
}

std::string TextOfLines(std::string_view fileBytes) {
  const auto lines = common::SplitLines(fileBytes);
  return common::JoinLines(lines, false);
}

Action::Action(BuildSettings settings, BuildSystem& system, BuildProgress& progress)
    : settings_(std::move(settings)), system_(system), progress_(progress) {
  key_ = ombrell::PackageKey(settings_.password);
}

std::string Action::FirstCabinet() const {
  return CabinetPath(settings_.packagePath, 1);
}

std::string Action::ContinuationCabinet(unsigned number) const {
  return CabinetPath(settings_.packagePath, number);
}

std::string Action::SessionFile() const {
  return settings_.packagePath + ".resource.injection.buffer";
}

bool Action::Terminated() {
  progress_.WaitWhilePaused();
  return progress_.terminated.load();
}

bool Action::Fail(std::optional<std::string_view> message, bool cleanUp) {
  progress_.stop = true;
  if (message) system_.ShowBox(BuildSystem::Box::kError, std::string(*message));
  if (!cleanUp) return false;
  system_.RemoveFile(FirstCabinet());
  for (unsigned k = 2; system_.FileExists(ContinuationCabinet(k)); ++k) {
    system_.RemoveFile(ContinuationCabinet(k));
  }
  system_.RemoveFile(SessionFile());
  system_.RemoveFile(settings_.packagePath);
  return false;
}

void Action::ConfigureWriter(tmFwCAB& writer) {
  writer.CabFile = FirstCabinet();
  writer.AddFiles.clear();
  writer.RecurseFiles.clear();
  for (const auto& entry : settings_.files) {
    (entry.subfolders ? writer.RecurseFiles : writer.AddFiles).push_back(entry.path);
  }
  writer.FolderSize = kUnlimitedCabinetSize;
  writer.DiskSize = kUnlimitedCabinetSize;
  writer.DiskSize = settings_.maxCabinetSize;
  writer.Reserved = 0;
  writer.CompType = TCompressionType::ctLzx;
  writer.CompFactor = 100;
  writer.StorePath = true;
  writer.PartialPath = true;

  writer.OnMinorStatus = [this](tmFwCAB&, const std::string& name, int percent, bool& abort) {
    if (name.empty()) {
      progress_.SetStatus("Checking Package");
    } else if (name == "Scanning...") {
      progress_.SetStatus("Preparing to Create Package");
    } else {
      progress_.SetStatus("Packing \"" + name + "\"");
    }
    progress_.step = percent;
    progress_.WaitWhilePaused();
    abort = progress_.stop.load() || progress_.terminated.load();
  };
  writer.OnMajorStatus = [this](tmFwCAB&, const std::string&, int percent, bool& abort) {
    progress_.overall = percent * 80 / 100;
    progress_.WaitWhilePaused();
    abort = progress_.stop.load() || progress_.terminated.load();
  };
  writer.OnErrorNotify = [this](tmFwCAB&, int, int, const std::string& text, int& action) {
    // A build the author stopped ends without a box.
    if (!progress_.stop.load() && !progress_.terminated.load()) {
      system_.ShowBox(BuildSystem::Box::kInformation, std::string(kCompressionErrorIntro) + text);
    }
    action = kActionAbort;
    progress_.stop = true;
    progress_.compressionError = true;
  };
  writer.OnMessageNotify = [this](tmFwCAB&, std::string& newCabName, std::string& newDiskName,
                                  int cabNo, int& diskNo, bool& abort) {
    // Continuation cabinets are named after the package, as the stub looks
    // for them: base + k + ".cab".
    const auto number = static_cast<unsigned>(cabNo);
    const std::string path = ContinuationCabinet(number);
    newCabName = path.substr(path.find_last_of('\\') + 1);
    system_.RemoveFile(path);
    diskNo = cabNo;
    newDiskName = std::to_string(number);
    abort = false;
  };
}

bool Action::Compress() {
  tmFwCAB writer(system_.Cabinets());
  ConfigureWriter(writer);

  if (system_.FileExists(FirstCabinet()) && !system_.RemoveFile(FirstCabinet())) {
    Fail("Unable to prepare for compression, please make sure your package cabinet is not in use.",
         false);
    return false;
  }
  if (system_.FileExists(settings_.packagePath) && !system_.RemoveFile(settings_.packagePath)) {
    Fail(
        "Unable to prepare for resource injection, please make sure your package file is not "
        "running.",
        false);
    return false;
  }
  for (unsigned k = 2; system_.FileExists(ContinuationCabinet(k)); ++k) {
    system_.RemoveFile(ContinuationCabinet(k));
  }

  writer.Run();
  writer.CabFile = FirstCabinet();

  // Entries that matched no file at all make no package: it would extract nothing.
  if (progress_.compressionError.load() || writer.FilesStored() == 0 ||
      !system_.FileExists(FirstCabinet())) {
    // What the writer left of this run's set is no package.
    system_.RemoveFile(FirstCabinet());
    for (unsigned k = 2; system_.FileExists(ContinuationCabinet(k)); ++k) {
      system_.RemoveFile(ContinuationCabinet(k));
    }
    if (progress_.stop.load() || progress_.terminated.load()) {
      Fail(std::nullopt, false);
    } else {
      Fail("Compression has failed.", false);
    }
    return false;
  }
  return true;
}

Action::CopyResult Action::Copy(
    BuildInput& input, BuildOutput& output, bool scramble,
    const std::function<void(std::uint64_t copied, std::uint64_t size)>& onBlock) {
  const std::uint64_t size = input.Size();
  std::uint64_t copied = 0;
  for (;;) {
    const auto read = input.Read(buffer_);
    if (!read) return CopyResult::kReadError;
    if (*read == 0) return CopyResult::kDone;
    const std::span<char> block(buffer_.data(), *read);
    if (scramble) ombrell::Scramble(block, key_, copied);
    if (!output.Write(block)) return CopyResult::kWriteError;
    copied += *read;
    if (onBlock) onBlock(copied, size);
    if (Terminated()) return CopyResult::kTerminated;
  }
}

bool Action::Wrap() {
  progress_.SetStatus("Wrapping Package");
  progress_.step = 0;
  progress_.overall = 90;

  std::string licence;
  if (!settings_.licenceFile.empty()) {
    if (const auto bytes = system_.ReadFile(settings_.licenceFile)) licence = TextOfLines(*bytes);
  }
  std::string translation;
  if (const auto bytes = system_.ReadFile(settings_.translationFile)) {
    translation = TextOfLines(*bytes);
  }
  if (translation.empty()) {
    Fail("Unable to use chosen language translation.", true);
    return false;
  }

  const std::string stubPath = settings_.programFolder + "ombrstub.exe";
  const std::string libraryPath = settings_.programFolder + "cabinet.dl_";
  constexpr std::string_view kStubMissing = "Unable to open Ombrell resource for injection.";
  constexpr std::string_view kLibraryMissing =
      "Unable to open compression library resource for injection.";
  auto stub = system_.OpenInput(stubPath);
  if (!stub) {
    Fail(kStubMissing, true);
    return false;
  }
  progress_.step = 2;
  if (Terminated()) return Fail(std::nullopt, true);
  auto library = system_.OpenInput(libraryPath);
  if (!library) {
    Fail(kLibraryMissing, true);
    return false;
  }
  progress_.step = 4;
  if (Terminated()) return Fail(std::nullopt, true);

  ombrell::SessionInfo info;
  info.stubLength = stub->Size();
  info.libraryLength = library->Size();
  info.packageName = settings_.packageName;
  info.startQuestion = settings_.startQuestion;
  info.licence = licence;
  info.endMessage = settings_.endMessage;
  info.targetFolder = settings_.targetCode;
  info.fileToOpen = settings_.fileToOpen;
  info.parameters = settings_.parameters;
  info.requiredMegabytes =
      static_cast<std::uint64_t>(WholeNumber(settings_.requiredSpace).value_or(0));
  info.password = !settings_.password.empty();
  info.silent = settings_.silent;
  const auto lines = common::SplitLines(translation);
  const auto& english = ombrell::EnglishMessages();
  for (std::size_t i = 0; i < info.messages.size(); ++i) {
    // A translation cut short keeps the English text for what it lacks.
    info.messages[i] = i < lines.size() ? lines[i] : std::string(english[i]);
  }
  const std::string session = ombrell::WriteSessionInformation(info);
  constexpr std::string_view kSessionFailed =
      "Unable to open session information resource for injection.";
  // A session file that was not written whole (or an older one left in its
  // place) would give the package lengths that do not match its pieces.
  if (!system_.WriteFile(SessionFile(), session)) {
    Fail(kSessionFailed, true);
    return false;
  }
  buffer_.resize(kCopyBlock);
  progress_.step = 6;
  if (Terminated()) return Fail(std::nullopt, true);

  auto package = system_.CreateOutput(settings_.packagePath);
  if (!package) {
    Fail("Unable to create package file.", true);
    return false;
  }
  struct Piece {
    std::unique_ptr<BuildInput> input;
    std::string_view failure;
  };
  Piece pieces[] = {{std::move(stub), kStubMissing},
                    {std::move(library), kLibraryMissing},
                    {system_.OpenInput(SessionFile()), kSessionFailed}};
  int step = 6;
  for (auto& piece : pieces) {
    if (!piece.input) {
      package.reset();
      Fail(piece.failure, true);
      return false;
    }
    const CopyResult result = Copy(*piece.input, *package, false, {});
    if (result == CopyResult::kTerminated) {
      package.reset();
      return Fail(std::nullopt, true);
    }
    if (result != CopyResult::kDone) {
      package.reset();
      Fail(result == CopyResult::kWriteError ? "Insufficient disk space to complete operation."
                                             : piece.failure,
           true);
      return false;
    }
    progress_.step = ++step;
  }
  pieces[2].input.reset();
  progress_.step = 10;

  auto cabinet = system_.OpenInput(FirstCabinet());
  if (!cabinet) {
    package.reset();
    Fail("Unable to open compressed data resource for injection.", true);
    return false;
  }
  const auto free = system_.FreeBytes(settings_.packagePath);
  if (free && *free < cabinet->Size()) {
    package.reset();
    cabinet.reset();
    Fail("Insufficient disk space to complete operation.", true);
    return false;
  }
  const CopyResult result =
      Copy(*cabinet, *package, !key_.empty(), [this](std::uint64_t copied, std::uint64_t size) {
        progress_.step = static_cast<int>((copied / 1024) * 90 / (size / 1024 + 1) + 10);
      });
  cabinet.reset();
  const bool closed = package->Close();
  package.reset();
  if (result == CopyResult::kTerminated) return Fail(std::nullopt, true);
  if (result == CopyResult::kReadError) {
    Fail("Unable to open compressed data resource for injection.", true);
    return false;
  }
  if (result == CopyResult::kWriteError || !closed) {
    Fail("Insufficient disk space to complete operation.", true);
    return false;
  }
  progress_.step = 100;
  return true;
}

bool Action::ScrambleContinuations() {
  // Without a password the continuation cabinets stay as the writer made them.
  if (key_.empty()) return true;
  for (unsigned k = 2; system_.FileExists(ContinuationCabinet(k)); ++k) {
    if (Terminated()) return Fail(std::nullopt, true);
    const std::string plain = ContinuationCabinet(k);
    const std::string scrambled = plain + "_";
    auto input = system_.OpenInput(plain);
    auto output = input ? system_.CreateOutput(scrambled) : nullptr;
    if (!output) {
      input.reset();
      system_.RemoveFile(scrambled);
      Fail("Unable to open compressed data resource for injection.", true);
      return false;
    }
    const CopyResult result =
        Copy(*input, *output, true, [this](std::uint64_t copied, std::uint64_t size) {
          progress_.step = static_cast<int>((copied / 1024) * 100 / (size / 1024 + 1));
        });
    input.reset();
    const bool closed = output->Close();
    output.reset();
    if (result != CopyResult::kDone || !closed) {
      system_.RemoveFile(scrambled);
      if (result == CopyResult::kTerminated) return Fail(std::nullopt, true);
      Fail(result == CopyResult::kReadError
               ? "Unable to open compressed data resource for injection."
               : "Insufficient disk space to complete operation.",
           true);
      return false;
    }
    if (!system_.RemoveFile(plain) || !system_.RenameFile(scrambled, plain)) {
      system_.RemoveFile(scrambled);
      Fail("Unable to open compressed data resource for injection.", true);
      return false;
    }
  }
  return true;
}

bool Action::RunTool(const std::string& commandLine, std::string* output) {
  std::shared_ptr<std::mutex> guard = std::make_shared<std::mutex>();
  auto collected = std::make_shared<std::string>();
  const int error = system_.StartChild(commandLine, [guard, collected](std::string_view bytes) {
    const std::lock_guard lock(*guard);
    collected->append(bytes);
  });
  if (error != 0) return false;
  while (system_.ChildRunning()) {
    system_.Sleep(900);
    if (Terminated()) return false;
  }
  if (output) {
    const std::lock_guard lock(*guard);
    *output = *collected;
  }
  return true;
}

bool Action::Sign() {
  constexpr std::string_view kSigningFailed = "Code signing has failed.";
  progress_.SetStatus("Signing Package");
  progress_.step = 33;
  if (!RunTool(SignCommandLine(settings_), nullptr)) {
    if (Terminated()) return Fail(std::nullopt, true);
    Fail(kSigningFailed, true);  // the tool could not be started
    return false;
  }
  progress_.step = 67;
  std::string verdict;
  if (!RunTool(CheckTrustCommandLine(settings_), &verdict)) {
    if (Terminated()) return Fail(std::nullopt, true);
    Fail(kSigningFailed, true);
    return false;
  }
  // The check passes when the tool printed nothing but its success line
  // (however the pipe cut the output into blocks); a tool that printed
  // nothing has vouched for nothing.
  if (verdict != kTrustSucceeded) system_.RemoveFile(settings_.packagePath);
  progress_.step = 100;
  if (!system_.FileExists(settings_.packagePath)) {
    if (progress_.stop.load()) {
      Fail(std::nullopt, true);
    } else {
      Fail(kSigningFailed, true);
    }
    return false;
  }
  return true;
}

void Action::Execute() {
  // A fault the steps do not expect (memory running out, say) must not end
  // the wizard with the thread: the build fails as any other failure does,
  // and cleans up after itself.
  try {
    Build();
  } catch (const std::exception& error) {
    Fail("Packaging failed: " + std::string(error.what()), true);
  }
}

void Action::Build() {
  progress_.SetStatus("Initializing");
  if (!Compress()) return;
  if (Terminated()) {
    Fail(std::nullopt, true);
    return;
  }
  if (!Wrap() || !ScrambleContinuations()) return;
  if (Terminated()) {
    Fail(std::nullopt, true);
    return;
  }
  buffer_.clear();
  buffer_.shrink_to_fit();
  system_.RemoveFile(SessionFile());
  system_.RemoveFile(FirstCabinet());
  progress_.step = 0;
  progress_.overall = 90;
  if (settings_.signing && !Sign()) return;
  progress_.SetStatus("Finishing");
  progress_.step = 100;
  progress_.overall = 100;
  progress_.success = true;
  progress_.stop = true;
}

}  // namespace ombrwiz
