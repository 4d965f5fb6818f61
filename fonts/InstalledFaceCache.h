// Parsed faces of installed font files, shared read-only by every rasterizer
// of every font collection in the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fonts/TrueTypeParser.h"

namespace velmo {

// The face FaceIndex of File (its data as the platform's face cache gives
// it), parsed with TableOffset once per process for each (file, face index,
// file size, modification time, table offset) and shared. A file that
// changes is parsed anew. Nullptr when the file cannot be read, has no such
// face, or changed while it was being read.
std::shared_ptr<const TPDFTrueTypeParser> InstalledFace(const std::string& File, int FaceIndex,
                                                        uint32_t TableOffset);

}  // namespace velmo
