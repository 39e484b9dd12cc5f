#include "walk/walk_driver.h"

// Placeholder until the walk driver lands: refuses every walk as a usage
// error.
int mib_walk(int, char**) { return -1; }
