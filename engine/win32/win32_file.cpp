#include "engine/win32/win32_file.h"

namespace tavrel {

Win32File::Win32File(const std::string& path, DWORD access, DWORD disposition)
    : file_(CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}

}  // namespace tavrel
