// SPDX-License-Identifier: MIT
// A check of a binary property list's strings before libplist reads it.
//
// libplist 2.2 keeps keys and strings as C strings beside their length and
// asserts that the two agree when a key is handed out (dictionary
// iteration) or a string is copied out: a binary list whose key or string
// holds a zero character aborts every program that walks it. XML cannot
// carry that character at all, so no profile list holds one.
#pragma once

#include <string_view>

namespace zv {

/// True when `data` starts with the binary property-list magic "bplist00"
/// (libplist reads everything else as XML).
bool IsBinaryPropertyList(std::string_view data);

/// True when some ASCII or UTF-16 string object of the binary property list
/// `data` (keys are such objects too) holds a zero character. Looks only
/// at objects that the trailer's offset table locates inside `data`; a
/// list too damaged to be walked gives false and is left to libplist,
/// which refuses it.
bool BinaryPropertyListHoldsZeroCharacter(std::string_view data);

}  // namespace zv
