// The page the browser runs when the menu entry is chosen, and the routines that
// put it in place.
#pragma once

#include <string_view>
#include <vector>

#include "platform/platform_services.h"

namespace ruvo {

// The page's 52 lines, without line ends.
std::vector<Text> HandlerPageLines();

// Makes the install folder. An existing folder, or one that cannot be made, is no
// failure here: writing the page then fails, and the caller can tell why.
FileResult CreateInstallFolder(FileSystem& files);

// Writes the page in full or not at all. `folder`, when given, receives how making the
// install folder went (Done: it was made here, so that a failed install takes back only
// that; AlreadyExists: it was there).
FileResult WriteHandlerPage(FileSystem& files, FileResult* folder = nullptr);

}  // namespace ruvo
