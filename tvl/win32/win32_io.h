// The Windows side of extraction: the archive read through a file handle, and a destination
// folder that receives files under temporary names until their checksum has held.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/win32/handle_owner.h"
#include "tvl/core/archive_extractor.h"
#include "tvl/core/byte_source.h"

namespace tvl::win32 {

// nullopt when the text does not convert (invalid for the code page).
std::optional<std::wstring> AnsiToWide(const char* text);
std::optional<std::wstring> Utf8ToWide(std::string_view text);
// Characters the code page lacks become its default character.
std::string WideToAnsi(std::wstring_view text);

class FileSource final : public ByteSource {
 public:
  // Null when the file cannot be opened.
  static std::unique_ptr<FileSource> Open(const std::wstring& path);

  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override;

 private:
  FileSource(common::KernelHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}

  common::KernelHandle file_;
  std::uint64_t size_;
};

class FolderSink final : public ExtractSink {
 public:
  // `root` may be relative and may lack its trailing backslash.
  explicit FolderSink(std::wstring_view root);

  bool PrepareRoot() override;
  bool CreateFolder(std::string_view path) override;
  std::unique_ptr<FileWriter> BeginFile(std::string_view path) override;

 private:
  std::optional<std::wstring> FullPath(std::string_view path) const;

  std::wstring root_;  // absolute, extended-length form, ends with '\'
};

}  // namespace tvl::win32
