#include "walk/walk_driver.h"
