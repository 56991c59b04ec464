#include "engine/win32/win32_media_port.h"

#include <windows.h>

namespace tavrel {

// Placeholders until the port is written: nothing is downloaded, extracted
// or moved.
ServiceDownload Win32MediaPort::DownloadToCache(const std::string&, ServiceProgressSink&) {
  return {ServiceDownload::Outcome::kUnavailable, "", "not written yet"};
}

std::unique_ptr<NetConnection> Win32MediaPort::Connect(const std::string&, std::uint16_t, int,
                                                       const StillWanted&) {
  return nullptr;
}

std::int64_t Win32MediaPort::FileSize(const std::string&) {
  return -1;
}

std::unique_ptr<DownloadFile> Win32MediaPort::OpenForWritingAt(const std::string&, std::uint64_t) {
  return nullptr;
}

std::vector<std::string> Win32MediaPort::FilesIn(const std::string&) {
  return {};
}

std::vector<std::string> Win32MediaPort::FilesBelow(const std::string&) {
  return {};
}

bool Win32MediaPort::MoveFileTo(const std::string&, const std::string&) {
  return false;
}

bool Win32MediaPort::CopyFileTo(const std::string&, const std::string&) {
  return false;
}

bool Win32MediaPort::RemoveEmptyFolder(const std::string&) {
  return false;
}

bool Win32MediaPort::CreateEmptyFile(const std::string&) {
  return false;
}

bool Win32MediaPort::ExtractArchive(const std::string&, const std::string&,
                                    const ExtractProgress&) {
  return false;
}

void Win32MediaPort::Wake(std::intptr_t window) {
  PostMessageA(reinterpret_cast<HWND>(window), WM_NULL, 0, 0);
}

}  // namespace tavrel
