#include "walk/merge.h"
