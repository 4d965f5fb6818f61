// Plays a metafile back into a bitmap: EMF and WMF through the device-context
// calls, EMF+ through the GDI+ facade. The target's size is the picture's
// size in device pixels; the caller clears it first.
#pragma once

#include <string>
#include <string_view>

#include "platform/gdi/Bitmap.h"

namespace velmo::metafile {

// False with the reason when the data is no valid metafile of that kind
// (the validator's verdict) or the target cannot be drawn on.
bool ReplayEmf(std::string_view Data, TBitmap& Target, std::string* Error = nullptr);
bool ReplayWmf(std::string_view Data, TBitmap& Target, std::string* Error = nullptr);
bool ReplayEmfPlus(std::string_view Data, TBitmap& Target, std::string* Error = nullptr);
// By the kind the data is; Target is sized to the picture at 96 DPI and
// made white first.
bool ReplayMetafile(std::string_view Data, TBitmap& Target, std::string* Error = nullptr);

}  // namespace velmo::metafile
