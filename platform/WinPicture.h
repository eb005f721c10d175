// Stored pictures on Win32: the program's picture resources, decompressed
// by Windows itself, and bitmaps to show them.
#pragma once

#include <windows.h>

#include <optional>

#include "assets/Picture.h"

namespace setup::win {

// The picture stored as resource id (RCDATA) of the program; nullopt when it
// is missing or damaged.
std::optional<picture::Image> LoadStoredPicture(int id);

// A bitmap of the image's pixels, for the screen; nullptr on failure.
HBITMAP MakeBitmap(const picture::Image& image);

}  // namespace setup::win
