#pragma once

#include "compose/compose.h"

// The mail clients as the window hands them to a launch: once ending is set
// (Exit was chosen), every operation fails, so that a launch waiting in a
// yield at that moment stops at its next step and shows nothing.
compose::MailClientFactory stoppedWhenEnding(compose::MailClientFactory clients, const bool *ending);
