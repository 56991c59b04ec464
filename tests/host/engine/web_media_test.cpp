// Web media through the fetch that every consumer calls: the download with
// its retry questions, the extraction into the block folder, the offline
// copy, the completion mark, and the progress texts on the way.
#include "engine/core/web_media.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/command_context.h"
#include "engine/core/media_download.h"
#include "engine/core/media_extraction.h"
#include "engine/core/offline_media.h"
#include "tests/host/engine/fake_ports.h"

namespace tavrel {
namespace {

// Media over the fake host's in-memory files: the download service and the
// archive library play what the test scripted.
class FakeMedia final : public MediaPort {
 public:
  explicit FakeMedia(FakeHost& host) : host_(host) {}

  ServiceDownload DownloadToCache(const std::string& url, ServiceProgressSink& sink) override {
    ++downloads;
    requested.push_back(url);
    if (!serviceThere) return {ServiceDownload::Outcome::kUnavailable, "", "none"};
    if (downloadFailures > 0) {
      --downloadFailures;
      return {ServiceDownload::Outcome::kFailed, "", "refused"};
    }
    host_.files["c:\\cache\\a.7zip"] = served;
    for (const auto& [position, maximum, code, text] : reports) {
      if (!sink.OnServiceProgress(position, maximum, code, text)) {
        return {ServiceDownload::Outcome::kFailed, "", "stopped"};
      }
    }
    return {ServiceDownload::Outcome::kSucceeded, "c:\\cache\\a.7zip", ""};
  }
  std::unique_ptr<NetConnection> Connect(const std::string&, std::uint16_t, int,
                                         const StillWanted&) override {
    ++connects;
    return nullptr;
  }
  std::int64_t FileSize(const std::string& path) override {
    const auto found = host_.files.find(path);
    return found == host_.files.end() ? -1 : static_cast<std::int64_t>(found->second.size());
  }
  std::unique_ptr<DownloadFile> OpenForWritingAt(const std::string&, std::uint64_t) override {
    return nullptr;
  }
  std::vector<std::string> FilesIn(const std::string& folder) override {
    std::vector<std::string> names;
    for (const auto& [path, text] : host_.files) {
      if (path.starts_with(folder) && path.find('\\', folder.size()) == std::string::npos) {
        names.push_back(path.substr(folder.size()));
      }
    }
    return names;
  }
  std::vector<std::string> FilesBelow(const std::string& folder) override {
    std::vector<std::string> names;
    for (const auto& [path, text] : host_.files) {
      if (path.starts_with(folder)) names.push_back(path.substr(folder.size()));
    }
    return names;
  }
  bool MoveFileTo(const std::string& from, const std::string& to) override {
    Watch();
    if (unmovable.count(from) != 0 || stuck.count(from) != 0 || host_.files.count(to) != 0 ||
        !host_.files.count(from)) {
      return false;
    }
    host_.files[to] = host_.files[from];
    host_.files.erase(from);
    return true;
  }
  bool CopyFileTo(const std::string& from, const std::string& to) override {
    if (stuck.count(from) != 0 || host_.files.count(to) != 0 || !host_.files.count(from)) {
      return false;
    }
    host_.files[to] = host_.files[from];
    return true;
  }
  bool RemoveEmptyFolder(const std::string& folder) override {
    removedFolders.push_back(folder);
    return true;
  }
  bool CreateEmptyFile(const std::string& path) override {
    host_.files[path] = "";
    return true;
  }
  bool ExtractArchive(const std::string& archive, const std::string& destination,
                      const ExtractProgress& progress) override {
    extracted.push_back(archive);
    const auto contents = archives.find(host_.files[archive]);
    if (contents == archives.end()) return false;
    std::uint64_t done = 0;
    for (const auto& [name, text] : contents->second) {
      done += text.size() + 1;
      if (!progress(name, done, 8)) return false;
      Watch();
      host_.files[destination + name] = text;
    }
    return true;
  }
  void Wake(std::intptr_t) override {}

  // What the worker's progress says when a file is written or moved.
  void Watch() {
    if (watch == nullptr) return;
    const auto [text, position] = watch->Latest();
    if (watched.empty() || watched.back() != text) watched.push_back(text);
  }

  bool serviceThere = true;
  int downloadFailures = 0;
  std::string served = "GOOD";
  std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t, std::string>> reports;
  // Archive text -> (name, contents) in the order the library writes them.
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> archives;
  std::set<std::string> unmovable;  // cannot be moved, can be copied
  std::set<std::string> stuck;      // can be neither
  WorkerProgress* watch = nullptr;
  std::vector<std::string> watched;
  int downloads = 0;
  int connects = 0;
  std::vector<std::string> requested;
  std::vector<std::string> extracted;
  std::vector<std::string> removedFolders;

 private:
  FakeHost& host_;
};

constexpr const char* kData =
    "c:\\app\\Application Data\\Quorvane\\Installation Information\\"
    "{P}\\{R}\\";

// A web setup's run with one block declared, its data folder for all users.
struct WebMediaWorld {
  WebMediaWorld() {
    host.media = &media;
    host.system.specialFolders[0x19] = "c:\\app\\Desktop";  // common desktop
    state.script.mediaMode = kWebMediaMode;
    state.script.productCode = "{P}";
    state.script.revisionCode = "{R}";
    state.script.webMediaSourceFolders = {"c_\\src\\", "c_\\src\\sub\\"};
    state.engineFolder = "c:\\setup\\";
    state.dataFolder = "c:\\setup\\data\\";
    state.supportFolder = "c:\\t\\tvl1\\";
    store.Define("REVISIONCODE", "{R}");
    store.Define("ALLUSERS", "TRUE");
    store.Define("EXEDIR", "c:\\setup\\");
    store.Define("SFXPATH", "");
    store.Define("REMOVE", "FALSE");
    run.webMedia.url = "http://127.0.0.1/WEB1.7zip";
    run.webMedia.archive = std::string(kData) + "WEB1.7zip";
    run.dialogs.window = 77;
    media.archives["GOOD"] = {{"WEB1\\c_\\src\\a.txt", "A"},
                              {"WEB1\\c_\\src\\sub\\b.txt", "B"},
                              {"WEB1\\c_\\src\\sub\\deep\\c.txt", "C"},
                              {"WEB1\\readme.txt", "R"}};
  }

  std::vector<std::string> Events(std::string_view prefix) {
    std::vector<std::string> found;
    for (const std::string& event : host.events) {
      if (event.starts_with(prefix)) found.push_back(event);
    }
    return found;
  }

  FakeHost host;
  FakeMedia media{host};
  MessageTable messages;
  VariableStore store{messages};
  EngineState state;
  RunState run;
  CommandContext c{0, state, store, host, host, run, messages};
};

class WebMediaTest : public ::testing::Test, public WebMediaWorld {};

TEST(WebMediaTexts, ThousandsPercentagesAndBytesReceived) {
  const std::vector<std::pair<std::uint64_t, std::string>> thousands{
      {0, "0"}, {123, "123"}, {1234, "1,234"}, {123456, "123,456"}, {1234567, "1,234,567"}};
  for (const auto& [value, text] : thousands) EXPECT_EQ(FormatThousands(value), text);
  struct Case {
    std::uint64_t received, total;
    int percentage;
  };
  for (const Case& x : std::vector<Case>{{0, 0, 1},
                                         {5000, 0, 1},
                                         {0, 100, 1},
                                         {50, 100, 51},
                                         {99, 100, 100},
                                         {100, 100, 100},
                                         {~0ull - 1, ~0ull, 100},
                                         {1ull << 62, 1ull << 63, 51}}) {
    EXPECT_EQ(DownloadPercentage(x.received, x.total), x.percentage) << x.received;
  }
  const MessageTable messages;
  EXPECT_EQ(BytesReceivedText(1234, 0, messages), "1,234 bytes received");
  EXPECT_EQ(BytesReceivedText(1234, 2468, messages), "1,234 bytes received, 51% complete");
}

TEST_F(WebMediaTest, ServiceReportsBecomeTextsAndTheCacheFileReachesTheTarget) {
  media.reports = {{0, 0, 1, "127.0.0.1"},
                   {0, 0, 14, "c:\\cache\\a.7zip"},
                   {0, 0, 40, "odd code"},
                   {2000, 4000, 5, "http://127.0.0.1/WEB1.7zip"},
                   {4000, 4000, 6, ""}};
  DownloadMethod method;
  std::vector<std::pair<int, std::string>> seen;
  const DownloadJob job{run.webMedia.url, "c:\\dl\\WEB1.7zip", {}, true, 0};
  EXPECT_TRUE(DownloadMediaFile(
      media, host, messages, job, method,
      [&](int percentage, const std::string& text) {
        seen.emplace_back(percentage, text);
        return true;
      },
      [] { return true; }));
  const std::vector<std::pair<int, std::string>> expected{
      {1, "Locating resource 127.0.0.1"},
      {1, "Saving download information c:\\cache\\a.7zip"},
      {1, "odd code"},
      {51, "2,000 bytes received, 51% complete"},
      {100, "Finishing data transfer"}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(method.serviceCacheFile, "c:\\cache\\a.7zip");
  EXPECT_EQ(host.files["c:\\dl\\WEB1.7zip"], "GOOD");

  // Stopping from the progress aborts; a fresh copy deletes the cache file.
  host.files.erase("c:\\dl\\WEB1.7zip");
  EXPECT_FALSE(DownloadMediaFile(
      media, host, messages, {run.webMedia.url, "c:\\dl\\WEB1.7zip", {}, false, 0}, method,
      [](int, const std::string&) { return false; }, [] { return true; }));
  EXPECT_EQ(host.files.count("c:\\dl\\WEB1.7zip"), 0u);
}

TEST_F(WebMediaTest, DownloadExtractMarkAndNeverAgain) {
  media.downloadFailures = 1;
  host.retryAnswer = true;
  host.retryResume = false;
  FetchMediaBlock(c, "WEB1\\");

  const std::string block = std::string(kData) + "WEB1\\";
  EXPECT_EQ(host.files[block + "0\\a.txt"], "A");
  EXPECT_EQ(host.files[block + "1\\b.txt"], "B");
  EXPECT_EQ(host.files[block + "c_\\src\\sub\\deep\\c.txt"], "C");
  EXPECT_EQ(host.files[block + "readme.txt"], "R");
  EXPECT_EQ(host.files.count(block + "{R}"), 1u) << "completion mark";
  EXPECT_EQ(host.files.count(run.webMedia.archive), 0u) << "downloaded archive deleted";
  EXPECT_FALSE(run.webMedia.resume) << "the retry chose a new copy";
  EXPECT_EQ(run.dataFolder, kData);
  EXPECT_EQ(Events("download retry"), std::vector<std::string>{"download retry 77"});
  EXPECT_EQ(Events("busy"), (std::vector<std::string>{"busy on", "busy off"}));

  // The mark makes every later fetch return at once, as does a removal.
  FetchMediaBlock(c, "WEB1\\");
  store.Set("REMOVE", "TRUE");
  FetchMediaBlock(c, "WEB2\\");
  EXPECT_EQ(media.downloads, 2);
}

TEST_F(WebMediaTest, FailedExtractionsAskAndFreshCopiesReplaceRejectedLocalCopies) {
  // A local copy beside the setup that does not extract: the user asks for
  // a fresh copy, which is downloaded; the local copy stays.
  host.files["c:\\setup\\WEB1.7zip"] = "DAMAGED";
  const std::string block = std::string(kData) + "WEB1\\";
  host.files[block + "0\\a.txt"] = "left by an interrupted run";
  host.extractAnswers = {ExtractRetry::kDownload};
  FetchMediaBlock(c, "WEB1\\");
  EXPECT_EQ(media.extracted,
            (std::vector<std::string>{"c:\\setup\\WEB1.7zip", run.webMedia.archive}));
  EXPECT_EQ(media.downloads, 1);
  EXPECT_EQ(host.files["c:\\setup\\WEB1.7zip"], "DAMAGED");
  EXPECT_EQ(run.webMedia.rejected, std::vector<std::string>{"C:\\SETUP\\WEB1.7ZIP"});
  EXPECT_EQ(host.files[block + "0\\a.txt"], "A");

  // A download that does not extract, then Cancel: the archive is kept for
  // the next run, and the fetch fails with the extraction message.
  run.webMedia.archive = std::string(kData) + "WEB2.7zip";
  media.served = "DAMAGED";
  host.extractAnswers = {ExtractRetry::kExtract, ExtractRetry::kCancel};
  try {
    FetchMediaBlock(c, "WEB2\\");
    FAIL() << "the fetch went through";
  } catch (const MediaFetchError& error) {
    EXPECT_STREQ(error.what(), "Unable to extract installation data downloaded from the web");
  }
  EXPECT_EQ(Events("extract retry").size(), 3u);
  EXPECT_EQ(host.files[run.webMedia.archive], "DAMAGED");
  EXPECT_EQ(host.files.count(std::string(kData) + "WEB2\\{R}"), 0u);
}

TEST_F(WebMediaTest, FailuresEndTheRunWithTheirMessage) {
  struct Case {
    const char* name;
    bool silent;
    bool serviceThere;
    const char* question;  // the retry dialog asked, "" for none
  };
  for (const Case& x : std::vector<Case>{{"silent", true, true, ""},
                                         {"service", false, true, "download retry 77"},
                                         {"http", false, false, "proxy retry 77 proxy:8080"}}) {
    WebMediaWorld t;
    t.state.commandLine.silent = x.silent;
    t.media.downloadFailures = 5;
    t.media.serviceThere = x.serviceThere;
    t.run.webMedia.proxy = {"proxy", "8080", "", ""};
    EXPECT_FALSE(FetchMediaFor(t.c, "WEB1\\")) << x.name;
    EXPECT_TRUE(t.run.endRun);
    const std::vector<std::string> asked = t.Events(x.serviceThere ? "download" : "proxy");
    EXPECT_EQ(asked, std::string(x.question).empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{x.question})
        << x.name;
    const std::vector<std::string> boxes = t.Events("box ");
    if (x.silent) {
      EXPECT_TRUE(boxes.empty());
    } else {
      EXPECT_EQ(boxes, std::vector<std::string>{
                           "box 77 Tavrel|Unable to download installation data from the web 16"});
    }
    EXPECT_EQ(t.media.connects, x.serviceThere ? 0 : 2) << x.name;  // HEAD, GET
  }
}

TEST_F(WebMediaTest, OfflineMediaAndMergeModulesMoveIntoTheDataFolder) {
  // The data folder beside the engine has no "offline": the engine's own
  // folder holds it.
  host.files["c:\\setup\\offline\\0\\a.cab"] = "a";
  host.files["c:\\setup\\offline\\0\\b.cab"] = "b";
  host.files["c:\\setup\\offline\\1\\c.cab"] = "c";
  host.files["c:\\setup\\mergemod\\x\\y.msm"] = "y";
  host.files[std::string(kData) + "offline\\0\\b.cab"] = "copied before";
  EXPECT_TRUE(FetchMediaFor(c, "OFFLINE\\"));

  EXPECT_EQ(host.files[std::string(kData) + "offline\\0\\a.cab"], "a");
  EXPECT_EQ(host.files[std::string(kData) + "offline\\0\\b.cab"], "copied before");
  EXPECT_EQ(host.files[std::string(kData) + "offline\\1\\c.cab"], "c");
  EXPECT_EQ(host.files[std::string(kData) + "x\\y.msm"], "y");
  EXPECT_EQ(host.files.count("c:\\setup\\offline\\0\\a.cab"), 0u) << "moved, not copied";
  EXPECT_EQ(host.files.count("c:\\setup\\offline\\0\\b.cab"), 1u) << "left where it was";
  EXPECT_EQ(host.files.count(std::string(kData) + "OFFLINE\\{R}"), 1u);

  // A file that can be moved nowhere stops the copy, and the fetch fails.
  host.files.erase(std::string(kData) + "OFFLINE\\{R}");
  host.files["c:\\setup\\offline\\2\\d.cab"] = "d";
  media.stuck.insert("c:\\setup\\offline\\2\\d.cab");
  EXPECT_FALSE(FetchMediaFor(c, "OFFLINE\\"));
  EXPECT_EQ(Events("box "),
            std::vector<std::string>{
                "box 77 Tavrel|Unable to copy installation data to local folders 16"});
  EXPECT_EQ(media.removedFolders.back(), std::string(kData) + "OFFLINE\\");
}

TEST_F(WebMediaTest, WorkersReportEachFileWithItsPercentage) {
  WorkerProgress progress;
  media.watch = &progress;
  host.files["c:\\setup\\data\\offline\\a.cab"] = "a";
  host.files["c:\\setup\\data\\offline\\b.cab"] = "b";
  host.files["c:\\setup\\data\\offline\\c.cab"] = "c";
  host.files["c:\\setup\\data\\mergemod\\y.msm"] = "y";
  host.folders.insert("c:\\setup\\data\\offline");
  media.unmovable.insert("c:\\setup\\data\\offline\\c.cab");
  EXPECT_TRUE(CopyOfflineMedia(media, host, messages, {state.dataFolder, kData, 0}, progress));
  EXPECT_EQ(media.watched,
            (std::vector<std::string>{"a.cab, 1% complete", "b.cab, 26% complete",
                                      "c.cab, 51% complete", "y.msm, 76% complete"}));
  EXPECT_EQ(host.files["c:\\setup\\data\\offline\\c.cab"], "c") << "copied, not moved";
  EXPECT_EQ(host.files[std::string(kData) + "offline\\c.cab"], "c");
  EXPECT_EQ(host.files[std::string(kData) + "y.msm"], "y");

  media.watched.clear();
  host.files["c:\\dl\\WEB1.7zip"] = "GOOD";
  const ExtractionJob job{
      "c:\\dl\\WEB1.7zip", false, kData, "c:\\t\\tvl1\\", state.script.webMediaSourceFolders, 0};
  EXPECT_TRUE(ExtractMediaArchive(media, host, messages, job, progress));
  EXPECT_EQ(media.watched,
            (std::vector<std::string>{"a.txt, 26% complete", "b.txt, 51% complete",
                                      "c.txt, 76% complete", "readme.txt, 100% complete"}));
}

}  // namespace
}  // namespace tavrel
