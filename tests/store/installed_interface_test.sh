#!/bin/sh
# SPDX-License-Identifier: MIT
# The installed store library as a program outside this tree sees it:
# in the installed tree (the suite installs it once for all such tests),
# writes a C and a C++ program in a folder of its own that include only the installed header and link only
# through `pkg-config zvplist`, runs them against the installed library and
# checks what they print. Between them the programs call every one-class,
# mapping and accessor function, so a name the library does not export
# fails the link (the functions by path are called by the walk client of
# the client library's installed test). The C program is built once more by a CMake project
# through `find_package(zvplist)`, and every symbol the library exports
# carries its version node.
# Usage: installed_interface_test.sh INSTALLED_PREFIX
set -eu
prefix=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pc_file=$(find "$prefix" -name zvplist.pc)
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

# Every exported symbol, and the ones the program binds to, are versioned:
# the first interface under ZVPLIST_1, the thread-safe functions by path
# under ZVPLIST_1.1, the menu's helpers under ZVPLIST_1.2.
unversioned=$(objdump -T "$lib_dir/libzvplist.so.1" |
  awk '$2 == "g" && !($(NF-1) == "ZVPLIST_1" && $NF !~ /^zvplist_/) &&
       !($(NF-1) == "ZVPLIST_1.1" && ($NF ~ /^zvplist_/ || $NF == "ZVPLIST_1.1")) &&
       !($(NF-1) == "ZVPLIST_1.2" && ($NF ~ /^zvplist_/ || $NF == "ZVPLIST_1.2"))')
test -z "$unversioned" || { echo "symbols outside their version node: $unversioned" >&2; exit 1; }
objdump -T client_c | grep -q '(ZVPLIST_1) *ZVPListWriteProfile_All$' ||
  { echo "client_c does not bind to ZVPLIST_1" >&2; exit 1; }

# A CMake project finds the package by its prefix, asks for a compatible
# version, and links through the imported target alone.
mkdir cmake_client
cat >cmake_client/CMakeLists.txt <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(zvplist_consumer C)
find_package(zvplist 0.2 REQUIRED)
add_executable(client_cmake ../client.c)
target_compile_options(client_cmake PRIVATE -Wall -Wextra -Werror)
target_link_libraries(client_cmake PRIVATE zvplist::zvplist)
EOF
cmake -S cmake_client -B cmake_client/build -DCMAKE_PREFIX_PATH="$prefix" >cmake_client/configure.log 2>&1 ||
  { cat cmake_client/configure.log >&2; exit 1; }
cmake --build cmake_client/build >cmake_client/build.log 2>&1 || { cat cmake_client/build.log >&2; exit 1; }
LD_LIBRARY_PATH=$lib_dir cmake_client/build/client_cmake "$work/cmake-profile.plist" >cmake.out
diff -u c.expected cmake.out

# A release of another major version is not offered as compatible.
sed -i 's/zvplist 0.2 REQUIRED/zvplist 1.0 REQUIRED/' cmake_client/CMakeLists.txt
if cmake -S cmake_client -B cmake_client/build-1.0 -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
  echo "find_package(zvplist 1.0) accepted the installed package" >&2
  exit 1
fi
echo "installed interface usable from C, C++ and CMake"
