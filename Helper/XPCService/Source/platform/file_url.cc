// File URLs parsed with uriparser.
#include "platform/file_url.h"
