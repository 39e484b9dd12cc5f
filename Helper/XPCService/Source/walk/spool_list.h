// SPDX-License-Identifier: MIT
// The spool list: keeps the cells of the device's colour-profile table that
// a walk meets, by row number, in `PlistForSpool` (walk_globals.h).
//
// The table's columns sit at 1.3.6.1.4.1.E.1.1.1.1.6.13.1.1.c (16
// sub-identifiers, E the device maker's enterprise number, c the column).
// A cell adds two sub-identifiers: the 17th is not looked at, the 18th is
// the row number (1 to 500).
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>

#include "report/walk_globals.h"

namespace zv {

/// The device maker's private enterprise number in the table's OIDs.
constexpr oid kProfileTableEnterprise = 32473;
/// Sub-identifiers in a column OID, and in the OID of one cell.
constexpr std::size_t kColumnOidLength = 16;
constexpr std::size_t kCellOidLength = 18;

}  // namespace zv

/// The six column OIDs the spool reads: columns 1, 2, 3, 4, 5 and 7.
/// Column 6 and any other column are not read.
extern const oid iOidIndexOnDevice[zv::kColumnOidLength];        // INTEGER -> IndexOnDevice, counts iNum
extern const oid iOidSourceType[zv::kColumnOidLength];           // INTEGER -> Location
extern const oid iOidProfileName[zv::kColumnOidLength];          // OCTET STRING -> ProfileName
extern const oid iOidFileName[zv::kColumnOidLength];             // OCTET STRING -> FileName
extern const oid iOidProfileClass[zv::kColumnOidLength];         // INTEGER -> ProfileClass
extern const oid iOidProfileAvailability[zv::kColumnOidLength];  // INTEGER -> ProfileAvailability

/// Mode 1 clears every entry of `PlistForSpool` and its `iNum`, ignoring
/// the other arguments. Any other mode stores `variable` when `name` (of
/// `name_length` sub-identifiers) is a cell of one of the six columns and
/// the value has exactly the column's type (INTEGER or OCTET STRING; so
/// exception values and NULLs are dropped): the row number r (1 to 500)
/// selects entry r - 1; an integer keeps its low 32 bits as a signed value;
/// a text keeps its bytes up to the first zero byte. A file name of 32
/// bytes or more is stored empty (no acceptable name is that long); a
/// profile name of 32 bytes or more is cut to at most 31 bytes at a UTF-8
/// character boundary. Every index-column value adds 1 to `iNum`, which
/// stops at 500. Cells of row 0, rows above 500 and OIDs shorter than 18
/// sub-identifiers are dropped. Never writes outside the list; never
/// allocates. A null `name` or `variable` stores nothing.
void vSpoolPlist(const oid* name, std::size_t name_length, const netsnmp_variable_list* variable,
                 int mode);
