#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix and builds a C program against
# the installed libzvplist through its pkg-config file, then runs it.
# Usage: install_check.sh BUILD_DIR C_SOURCE
set -eu
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" --component zvplist >/dev/null
pc_dir=$(dirname "$(find "$prefix" -name zvplist.pc)")
test -f "$prefix/include/zvplist.h"
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs zvplist)
lib_dir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir zvplist)
cc -std=c11 -Wall -Wextra -Wpedantic -Werror -o "$prefix/c_api" "$source" $flags -ldl
LD_LIBRARY_PATH=$lib_dir "$prefix/c_api" "$lib_dir/libzvplist.so.1"
