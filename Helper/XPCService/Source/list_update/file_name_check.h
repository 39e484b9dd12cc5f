// SPDX-License-Identifier: MIT
// The profile file-name check: may a name stand in a profile list?
#pragma once

#include <cstdint>

/// True (1) when `name` is non-null, non-empty, has at most 27 characters
/// before its first dot and at most 3 after it (27 without a dot), and
/// every character passes FileNameFilter. Independent of the locale.
uint8_t bJudgement8point3Format(const char* name);

/// True (1) when the character `c` (a byte passed as a signed char value)
/// may appear in a profile file name: ASCII letters and digits and
/// ! # $ % & ' ( ) - . ^ _ ` { } ~.
uint8_t FileNameFilter(int c);
