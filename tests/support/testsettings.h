#pragma once

// The settings store of a test process: never the user's own.

#include <QSettings>

namespace testsupport {

// The user's settings as the program keeps them.
QSettings userSettings();

// Gives this process a settings store of its own, in a new folder, and
// empties it (on Windows, where the store is the registry, Letterloom's
// section of the user's key is emptied instead: the tests run in a throwaway
// Wine prefix or account). Call it before each test.
void isolateSettings();

} // namespace testsupport
