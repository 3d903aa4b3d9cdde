// Built only by the test layering_is_enforced, which passes when this file
// does not build: the store's library cannot see the window's headers.
#include "app/form1.h"
