// Opening the file a package names once it is extracted.
#pragma once

#include <string>

namespace ombrell {

// Starts the file: an .exe directly, any other file with the program the
// shell associates with it (Notepad when there is none). Waits for it to
// end when asked. A file that cannot be started is passed over.
void RunFile(const std::string& file, const std::string& parameters, bool wait,
             const std::string& windowsFolder);

}  // namespace ombrell
