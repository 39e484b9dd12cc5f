#include "store/zvplist.h"
