#pragma once

#include <QString>

namespace platform {

// The folder that holds the templates' data file and body files. On Windows
// it is the folder of the program file, next to the program as users there
// expect; elsewhere the program's folder is shared and read-only, so it is the
// user's data folder for Letterloom (for example ~/.local/share/Letterloom/
// Letterloom on Linux), which is created by the first Save.
QString applicationDirectory();

} // namespace platform
