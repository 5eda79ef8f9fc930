// The page the browser runs when the menu entry is chosen, and the routines that
// put it in place.
#pragma once

#include <string_view>
#include <vector>

#include "platform/platform_services.h"

namespace ruvo {

// The page's 52 lines, without line ends.
std::vector<Text> HandlerPageLines();

// Makes the install folder; an existing folder, or one that cannot be made, is no
// failure here: writing the page then says what is wrong. True when this call made it.
bool CreateInstallFolder(FileSystem& files);

// Writes the page in full or not at all. `madeFolder`, when given, tells whether the
// install folder was made here, so that a failed install takes back only that.
FileResult WriteHandlerPage(FileSystem& files, bool* madeFolder = nullptr);

}  // namespace ruvo
