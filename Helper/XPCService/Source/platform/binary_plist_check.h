// SPDX-License-Identifier: MIT
// Checks of a binary property list before libplist reads it: its strings
// and its nesting.
//
// libplist 2.2 keeps keys and strings as C strings beside their length and
// asserts that the two agree when a key is handed out (dictionary
// iteration) or a string is copied out: a binary list whose key or string
// holds a zero character aborts every program that walks it. XML cannot
// carry that character at all, so no profile list holds one.
#pragma once

#include <cstdint>
#include <string>
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

/// libplist reads a binary list's containers (arrays, sets, dictionaries)
/// by recursion from the top object, once for every reference to them: a
/// chain of 100,000 nested arrays overflows the stack, and a few objects
/// referring to each other twice over grow into billions of nodes. True
/// when the containers reachable from the top object nest at most
/// `max_depth` deep, refer to no container above them, and expand to at
/// most `max_nodes` objects; false with the reason in `*error` otherwise.
/// Walks the objects without recursion, each once. Like the zero check, a
/// list too damaged to be walked gives true and is left to libplist.
bool BinaryPropertyListNestingWithin(std::string_view data, int max_depth, uint64_t max_nodes, std::string* error);

}  // namespace zv
