#!/bin/sh
# The installed store library as a program outside this tree sees it:
# installs the zvplist component into a temporary prefix, writes a C and a
# C++ program there that include only the installed header and link only
# through `pkg-config zvplist`, runs them against the installed library and
# checks what they print. Between them the programs call every one-class,
# mapping and accessor function, so a name the library does not export
# fails the link.
# Usage: installed_interface_test.sh BUILD_DIR
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" --component zvplist >/dev/null
pc_file=$(find "$work/prefix" -name zvplist.pc)
test -n "$pc_file" || { echo "zvplist.pc was not installed" >&2; exit 1; }
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc_file")
lib_dir=$(pkg-config --variable=libdir zvplist)
flags=$(pkg-config --cflags --libs zvplist)
case $flags in
  *-lplist-2.0*) ;;
  *) echo "pkg-config zvplist does not bring in libplist: $flags" >&2; exit 1 ;;
esac

cat >"$work/client.c" <<'EOF'
/* Writes three lists, reads one class back, maps a list and looks into the
 * file's dictionaries, freeing the copies it is handed. */
#include <stdio.h>
#include <string.h>
#include <zvplist.h>

static ProfileList rgb, sim, dst, back, base, mapped;

int main(int argc, char **argv) {
    plist_t dicts[3] = {NULL, NULL, NULL};
    plist_t sub[6];
    int32_t count = -1;
    uint64_t state = 0;
    int c;
    if (argc != 2) return 2;
    ZV_PLIST_PROFILE_PATH = argv[1];
    strcpy(sim.slots[0].FileName, "c-one.icc");
    sim.slots[0].InMenu = ZV_INMENU_REPORTED;
    sim.slots[0].Location = 4;
    strcpy(sim.slots[1].FileName, "c-two.icc");
    sim.slots[1].InMenu = ZV_INMENU_LISTED;
    sim.iNum = 2;
    printf("write %d\n", (int)ZVPListWriteProfile_All(&rgb, &sim, &dst));
    printf("read SIM %d", (int)ZVPListReadProfile_Dict(&back, ZV_CLASS_SIM));
    printf(" iNum %d %s\n", (int)back.iNum, back.slots[1].FileName);
    printf("read class 3 %d\n", (int)ZVPListReadProfile_Dict(&back, 3));
    strcpy(base.slots[0].FileName, "c-base.icc");
    base.iNum = 1;
    ZVPListMapping_Pap(&base, &back, &mapped, &rgb);
    printf("mapped %d %s %s\n", (int)mapped.iNum, mapped.slots[0].FileName, mapped.slots[1].FileName);
    printf("dictionaries %d\n", (int)ZVPListMappingGetMainDict_FromPlist(&dicts[0], &dicts[1], &dicts[2]));
    printf("SIM fields %d", (int)ZVPListMappingGetSubDict(dicts[1], &sub[0], &sub[1], &sub[2], &sub[3], &sub[4],
                                                          &sub[5], &count));
    plist_get_uint_val(plist_dict_get_item(sub[1], "InMenu0000"), &state);
    printf(" iNum %d InMenu0000 %d\n", (int)count, (int)state);
    for (c = 0; c < 3; ++c) plist_free(dicts[c]);
    return 0;
}
EOF

cat >"$work/client.cc" <<'EOF'
// Replaces one class, reads it filtered, and maps and writes all classes.
#include <zvplist.h>

#include <cstring>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ZV_PLIST_PROFILE_PATH = argv[1];
  auto list = std::make_unique<ProfileList>(), out = std::make_unique<ProfileList>();
  auto empty = std::make_unique<ProfileList>(), filtered = std::make_unique<ProfileList>();
  const int states[] = {ZV_INMENU_REPORTED, ZV_INMENU_KEPT_REPORTED, ZV_INMENU_LISTED};
  for (int i = 0; i < 3; ++i) {
    list->slots[i].InMenu = states[i];
    list->slots[i].Location = 5;
    std::strcpy(list->slots[i].FileName, i == 0 ? "cc-a.icc" : i == 1 ? "cc-b.icc" : "cc-c.icc");
  }
  list->iNum = 3;
  const int32_t written = ZVPListWriteProfile_Dict(list.get(), ZV_CLASS_DST, nullptr, out.get(), nullptr);
  std::cout << "write DST " << written << " SIM iNum " << out->iNum << "\n";
  const int32_t read_filtered = ZVPListReadProfile_Dict_Pap(filtered.get(), ZV_CLASS_DST);
  std::cout << "filtered " << read_filtered << " iNum " << filtered->iNum << " " << filtered->slots[0].FileName
            << " InMenu " << filtered->slots[0].InMenu << "\n";
  auto rgb = std::make_unique<ProfileList>(), sim = std::make_unique<ProfileList>();
  auto dst = std::make_unique<ProfileList>();
  const int32_t mapped = ZVPListMappingProfile_All_Pap(empty.get(), empty.get(), empty.get(), rgb.get(), sim.get(),
                                                       dst.get(), empty.get(), empty.get(), empty.get());
  std::cout << "map " << mapped << " DST iNum " << dst->iNum << "\n";
  std::cout << "map and write "
            << ZVPListWriteProfile_All_Pap(empty.get(), empty.get(), empty.get(), empty.get(), empty.get(),
                                           empty.get())
            << "\n";
  auto back = std::make_unique<ProfileList>();
  const int32_t read_back = ZVPListReadProfile_Dict(back.get(), ZV_CLASS_DST);
  std::cout << "read DST " << read_back << " iNum " << back->iNum << " " << back->slots[1].FileName << "\n";
  return 0;
}
EOF

cd "$work"
# shellcheck disable=SC2086 # the flags are meant to be split into words
cc -std=c99 -Wall -Wextra -Wpedantic -Werror -o client_c client.c $flags
# shellcheck disable=SC2086
c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror -o client_cc client.cc $flags

LD_LIBRARY_PATH=$lib_dir ./client_c "$work/c-profile.plist" >c.out
cat >c.expected <<'EOF'
write 0
read SIM 0 iNum 2 c-two.icc
read class 3 -1
mapped 2 c-one.icc c-base.icc
dictionaries 0
SIM fields 0 iNum 2 InMenu0000 2
EOF
diff -u c.expected c.out

LD_LIBRARY_PATH=$lib_dir ./client_cc "$work/cc-profile.plist" >cc.out
cat >cc.expected <<'EOF'
write DST 0 SIM iNum 0
filtered 0 iNum 2 cc-b.icc InMenu 6
map 0 DST iNum 2
map and write 0
read DST 0 iNum 2 cc-b.icc
EOF
diff -u cc.expected cc.out
echo "installed interface usable from C and C++"
