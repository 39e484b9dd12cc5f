// Property-list layer over libplist: read, parse, serialise, write.
#include "platform/property_list.h"
