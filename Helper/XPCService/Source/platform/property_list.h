// Property-list layer over libplist: read, parse, serialise, write.
#pragma once
