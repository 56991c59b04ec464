// Turning a folder's packed streams back into its output: the table of known coders and the
// plumbing that chains them along the folder's bind pairs.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "tvl/core/byte_source.h"
#include "tvl/core/sevenzip_archive.h"
#include "tvl/core/status.h"

namespace tvl::sevenzip {

// Whether an extraction can decode this folder. Checked for every folder before anything is
// written, so an archive we cannot read leaves the target untouched.
Status CheckFolderSupported(const Folder& folder);

// The folder's output, exactly Folder::UnpackSize() bytes long; a decoder that runs dry early
// is reported as a corrupt archive. Throws ArchiveError. With `decode_ahead`, a large folder's
// decompression runs in a thread of its own, ahead of the caller's reads.
std::unique_ptr<InStream> OpenFolder(ByteSource& source, const Archive& archive,
                                     std::size_t folder_index, bool decode_ahead = false);

}  // namespace tvl::sevenzip
