// tvlc, the setup compiler: reads a setup source and writes a complete setup
// folder. Exit codes: 0 done, 1 bad input (with its message), 2 usage.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "tvlc/core/setup_builder.h"
#include "tvlc/core/source_error.h"
#include "tvlc/linux/posix_build_port.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tvlc SOURCE OUTDIR --bin FOLDER [--library DLL]\n"
    "  SOURCE   the setup source (UTF-8 text)\n"
    "  OUTDIR   the setup folder to write; an existing one is replaced when the\n"
    "           new one is complete, and left as it was otherwise\n"
    "  --bin    the folder holding tvlstub.exe and tvl.dll\n"
    "  --library  another tvl.dll to ship\n";

int Usage(std::string_view problem) {
  std::fprintf(stderr, "tvlc: %.*s\n%.*s", static_cast<int>(problem.size()), problem.data(),
               static_cast<int>(kUsage.size()), kUsage.data());
  return 2;
}

std::string Absolute(const std::string& path) {
  return std::filesystem::absolute(path).lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  tavrel::tvlc::BuildRequest request;
  std::string positional[2];
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return 0;
    }
    if (argument == "--bin" || argument == "--library") {
      if (i + 1 == argc) return Usage(std::string(argument) + " needs a value");
      (argument == "--bin" ? request.bin : request.library) = Absolute(argv[++i]);
    } else if (argument.starts_with("-")) {
      return Usage("unknown option " + std::string(argument));
    } else if (count == 2) {
      return Usage("too many arguments");
    } else {
      positional[count++] = argument;
    }
  }
  if (count != 2) return Usage("a source file and an output folder are needed");
  if (request.bin.empty()) return Usage("--bin is needed");
  try {
    request.sourceShown = positional[0];
    request.source = Absolute(positional[0]);
    std::string output = positional[1];
    while (output.size() > 1 && output.back() == '/') output.pop_back();
    request.output = Absolute(output);
    tavrel::tvlc::PosixBuildPort port;
    tavrel::tvlc::BuildSetup(request, port);
  } catch (const tavrel::tvlc::SourceError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tvlc: %s\n", error.what());
    return 1;
  }
  std::printf("%s\n", request.output.c_str());
  return 0;
}
