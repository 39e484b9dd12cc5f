// SPDX-License-Identifier: MIT
// The spool list: which cells it keeps, where, and how.
#include "walk/spool_list.h"

#include <gtest/gtest.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/fixed_field.h"

namespace {

// One variable as the library hands it over, owning its OID and value.
class Cell {
 public:
  Cell(std::vector<oid> name, u_char type) : name_(std::move(name)) {
    variable_.type = type;
    variable_.name = name_.data();
    variable_.name_length = name_.size();
  }
  static Cell Integer(std::vector<oid> name, long value, u_char type = ASN_INTEGER) {
    Cell cell(std::move(name), type);
    cell.integer_ = value;
    cell.variable_.val.integer = &cell.integer_;
    cell.variable_.val_len = sizeof cell.integer_;
    return cell;
  }
  static Cell Octets(std::vector<oid> name, const std::string& bytes) {
    Cell cell(std::move(name), ASN_OCTET_STR);
    cell.bytes_.assign(bytes.begin(), bytes.end());
    cell.variable_.val_len = cell.bytes_.size();
    return cell;
  }
  // Hands the cell to the spool the way the walk does.
  void Spool() {
    variable_.name = name_.data();
    if (variable_.type == ASN_INTEGER || variable_.type == ASN_GAUGE) variable_.val.integer = &integer_;
    if (variable_.type == ASN_OCTET_STR) variable_.val.string = bytes_.data();
    vSpoolPlist(name_.data(), name_.size(), &variable_, 0);
  }

 private:
  std::vector<oid> name_;
  long integer_ = 0;
  std::vector<u_char> bytes_;
  netsnmp_variable_list variable_{};
};

std::vector<oid> CellOid(int column, oid row, oid instance = 1) {
  std::vector<oid> name = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 1, 6, 13, 1, 1};
  name.push_back(static_cast<oid>(column));
  name.push_back(instance);
  name.push_back(row);
  return name;
}

bool SpoolIsZero() {
  static const ProfileList zero{};
  return std::memcmp(&PlistForSpool, &zero, sizeof zero) == 0;
}

class SpoolListTest : public ::testing::Test {
 protected:
  void SetUp() override { vSpoolPlist(nullptr, 0, nullptr, 1); }
};

TEST_F(SpoolListTest, EachColumnLandsInItsFieldAndColumnSixIsNotRead) {
  Cell::Integer(CellOid(2, 3), 4).Spool();
  Cell::Octets(CellOid(3, 3), "Glossy").Spool();
  Cell::Octets(CellOid(4, 3), "GLOSSY.ICC").Spool();
  Cell::Integer(CellOid(5, 3), 3).Spool();
  Cell::Integer(CellOid(6, 3), 99).Spool();
  Cell::Integer(CellOid(7, 3), 1).Spool();
  const ProfileRecord& entry = PlistForSpool.slots[2];
  EXPECT_EQ(entry.Location, 4);
  EXPECT_EQ(zv::FieldText(entry.ProfileName), "Glossy");
  EXPECT_EQ(zv::FieldText(entry.FileName), "GLOSSY.ICC");
  EXPECT_EQ(entry.ProfileClass, 3);
  EXPECT_EQ(entry.ProfileAvailability, 1);
  EXPECT_EQ(entry.IndexOnDevice, 0);  // no index cell came: counted nowhere
  EXPECT_EQ(PlistForSpool.iNum, 0);
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    if (slot == 2) continue;
    EXPECT_EQ(PlistForSpool.slots[slot].ProfileClass, 0) << slot;
  }
}

// An index cell fills the entry of its row and counts; rows left out leave
// their entries empty, and no entry gets a menu state.
TEST_F(SpoolListTest, IndexCellsFillTheEntriesOfTheirRowsAndCount) {
  for (oid row : {1, 2, 5}) Cell::Integer(CellOid(1, row), static_cast<long>(row) * 10).Spool();
  EXPECT_EQ(PlistForSpool.slots[0].IndexOnDevice, 10);
  for (int slot = 0; slot < 5; ++slot) EXPECT_EQ(PlistForSpool.slots[slot].InMenu, 0) << slot;
  EXPECT_EQ(PlistForSpool.slots[1].IndexOnDevice, 20);
  EXPECT_EQ(PlistForSpool.slots[2].IndexOnDevice, 0);
  EXPECT_EQ(PlistForSpool.slots[3].IndexOnDevice, 0);
  EXPECT_EQ(PlistForSpool.slots[4].IndexOnDevice, 50);
  EXPECT_EQ(PlistForSpool.iNum, 3);
}

TEST_F(SpoolListTest, ValuesOfAnotherTypeAreDropped) {
  Cell::Octets(CellOid(3, 1), "Kept").Spool();
  Cell::Integer(CellOid(3, 1), 5).Spool();               // profile name sent as INTEGER
  Cell(CellOid(3, 1), SNMP_NOSUCHINSTANCE).Spool();      // exception value
  Cell(CellOid(4, 1), SNMP_ENDOFMIBVIEW).Spool();
  Cell(CellOid(5, 1), ASN_NULL).Spool();
  Cell::Integer(CellOid(1, 1), 7, ASN_GAUGE).Spool();    // another integer type
  Cell::Octets(CellOid(2, 1), "4").Spool();              // source type as text
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[0].ProfileName), "Kept");
  EXPECT_EQ(PlistForSpool.slots[0].FileName[0], '\0');
  EXPECT_EQ(PlistForSpool.slots[0].IndexOnDevice, 0);
  EXPECT_EQ(PlistForSpool.slots[0].Location, 0);
  EXPECT_EQ(PlistForSpool.iNum, 0);
}

TEST_F(SpoolListTest, IntegersKeepTheirLowThirtyTwoBitsAsSigned) {
  Cell::Integer(CellOid(5, 1), -1).Spool();
  Cell::Integer(CellOid(5, 2), 0x100000005L).Spool();
  Cell::Integer(CellOid(5, 3), 0xFFFFFFFFL).Spool();
  EXPECT_EQ(PlistForSpool.slots[0].ProfileClass, -1);
  EXPECT_EQ(PlistForSpool.slots[1].ProfileClass, 5);
  EXPECT_EQ(PlistForSpool.slots[2].ProfileClass, -1);
}

TEST_F(SpoolListTest, TextsEndAtTheirFirstZeroByteAndPadWithZeros) {
  Cell::Octets(CellOid(3, 1), "Abc").Spool();
  Cell::Octets(CellOid(3, 2), std::string("AB\0CD", 5)).Spool();
  Cell::Octets(CellOid(4, 3), "").Spool();
  Cell::Octets(CellOid(4, 4), std::string(31, 'F')).Spool();
  const char expected_abc[ZV_PROFILE_NAME_SIZE] = "Abc";
  EXPECT_EQ(std::memcmp(PlistForSpool.slots[0].ProfileName, expected_abc, ZV_PROFILE_NAME_SIZE), 0);
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[1].ProfileName), "AB");
  EXPECT_EQ(PlistForSpool.slots[1].ProfileName[3], '\0');
  const char zero[ZV_PROFILE_NAME_SIZE] = {};
  EXPECT_EQ(std::memcmp(PlistForSpool.slots[2].FileName, zero, ZV_PROFILE_NAME_SIZE), 0);
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[3].FileName), std::string(31, 'F'));
  EXPECT_EQ(PlistForSpool.slots[3].FileName[31], '\0');
}

TEST_F(SpoolListTest, OverlongNamesNeverFillTheWholeField) {
  Cell::Octets(CellOid(4, 1), std::string(32, 'F')).Spool();
  Cell::Octets(CellOid(4, 2), std::string(200, 'G')).Spool();
  Cell::Octets(CellOid(3, 1), std::string(40, 'P')).Spool();
  // 29 ASCII bytes, then a three-byte character across the 31-byte limit.
  Cell::Octets(CellOid(3, 2), std::string(29, 'a') + "\xE2\x82\xAC" + "tail").Spool();
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[0].FileName), "");
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[1].FileName), "");
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[0].ProfileName), std::string(31, 'P'));
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[1].ProfileName), std::string(29, 'a'));
  EXPECT_EQ(PlistForSpool.slots[1].ProfileName[31], '\0');
}

TEST_F(SpoolListTest, CellsWithoutAnEntryWriteNothing) {
  Cell::Integer(CellOid(1, 0), 7).Spool();     // row 0
  Cell::Integer(CellOid(1, 501), 7).Spool();   // beyond the list
  Cell::Integer(CellOid(1, 0xFFFFFFFFUL), 7).Spool();
  std::vector<oid> short_name = CellOid(1, 1);
  short_name.pop_back();
  Cell::Integer(short_name, 7).Spool();       // 17 sub-identifiers
  Cell::Integer({1, 3, 6, 1, 2, 1, 1, 1, 0}, 7).Spool();
  std::vector<oid> other_table = CellOid(1, 1);
  other_table[6] = 32474;
  Cell::Integer(other_table, 7).Spool();
  EXPECT_TRUE(SpoolIsZero());
}

TEST_F(SpoolListTest, LongerOidsUseTheirEighteenthSubidentifier) {
  std::vector<oid> name = CellOid(1, 2);
  name.push_back(9);
  Cell::Integer(name, 11).Spool();
  EXPECT_EQ(PlistForSpool.slots[1].IndexOnDevice, 11);
}

TEST_F(SpoolListTest, RepeatedRowReplacesValuesAndCountsEachIndex) {
  Cell::Integer(CellOid(1, 3, 1), 5).Spool();
  Cell::Integer(CellOid(1, 3, 2), 6).Spool();
  EXPECT_EQ(PlistForSpool.slots[2].IndexOnDevice, 6);
  EXPECT_EQ(PlistForSpool.iNum, 2);
}

TEST_F(SpoolListTest, CountStopsAtTheListSize) {
  for (oid instance = 1; instance <= 3; ++instance) {
    for (oid row = 1; row <= 250; ++row) Cell::Integer(CellOid(1, row, instance), 1).Spool();
  }
  EXPECT_EQ(PlistForSpool.iNum, ZV_PROFILE_SLOTS);
}

TEST_F(SpoolListTest, ClearModeEmptiesEverythingWhateverItIsGiven) {
  Cell::Integer(CellOid(1, 500), 7).Spool();
  Cell::Octets(CellOid(4, 1), "A.ICC").Spool();
  const std::vector<oid> name = CellOid(1, 1);
  netsnmp_variable_list variable{};
  variable.type = ASN_INTEGER;
  vSpoolPlist(name.data(), name.size(), &variable, 1);
  EXPECT_TRUE(SpoolIsZero());
}

}  // namespace
