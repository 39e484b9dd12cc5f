#include "walk/file_name_check.h"
