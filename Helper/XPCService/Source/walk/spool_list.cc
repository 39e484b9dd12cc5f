#include "walk/spool_list.h"
