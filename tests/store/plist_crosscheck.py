#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Independent reader and writer of profile property lists (Python's
plistlib), driven by plist_crosscheck_test.

  plist_crosscheck.py check FILE
      Loads FILE, checks that it has exactly the profile list structure
      (top-level "RGB", "SIM", "DST", "PlistVersion" 1; per class "iNum"
      and six dictionaries of 500 numbered entries of the right types) and
      prints one line per class, then one line per slot that is not all
      zero: "CLASS SLOT IndexOnDevice InMenu ProfileClass Location
      FileName|ProfileName". Exit 1 with a reason on stderr otherwise.

  plist_crosscheck.py write FILE VARIANT
      Writes a hand-made profile list: VARIANT is "sparse" (XML) or
      "sparse-binary".
"""
import plistlib
import sys

CLASSES = ("RGB", "SIM", "DST")
INT_FIELDS = ("IndexOnDevice", "InMenu", "ProfileClass", "Location")
TEXT_FIELDS = ("FileName", "ProfileName")


def fail(reason):
    print(reason, file=sys.stderr)
    sys.exit(1)


def check_class(name, cls):
    if set(cls) != {"iNum", *INT_FIELDS, *TEXT_FIELDS}:
        fail(f"{name}: keys {sorted(cls)}")
    if type(cls["iNum"]) is not int:
        fail(f"{name}: iNum is {type(cls['iNum']).__name__}")
    for field in INT_FIELDS + TEXT_FIELDS:
        sub = cls[field]
        want_type = int if field in INT_FIELDS else str
        if set(sub) != {f"{field}{i:04d}" for i in range(500)}:
            fail(f"{name}/{field}: {len(sub)} keys, not the 500 numbered ones")
        for key, value in sub.items():
            if type(value) is not want_type:
                fail(f"{name}/{field}/{key}: {type(value).__name__}")
            if want_type is int and not -2**31 <= value < 2**31:
                fail(f"{name}/{field}/{key}: {value} outside 32 bits")


def check(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"<?xml"):
        fail("not an XML property list")
    top = plistlib.loads(data, fmt=plistlib.FMT_XML)
    if set(top) != {*CLASSES, "PlistVersion"} or top["PlistVersion"] != 1:
        fail(f"top level: {sorted(top)}")
    for name in CLASSES:
        check_class(name, top[name])
    for name in CLASSES:
        cls = top[name]
        print(f"{name} iNum {cls['iNum']}")
        for i in range(500):
            ints = [cls[f][f"{f}{i:04d}"] for f in INT_FIELDS]
            texts = [cls[f][f"{f}{i:04d}"] for f in TEXT_FIELDS]
            if any(ints) or any(texts):
                print(name, i, *ints, "|".join(texts))


def numbered(field, slots, value):
    # Keys in descending order: the reader must not rely on key order.
    return {f"{field}{i:04d}": value(i) for i in sorted(slots, reverse=True)}


def sparse_class(with_count):
    slots = (0, 1, 2, 7)
    cls = {
        "Location": numbered("Location", slots, lambda i: 4 + i % 2),
        "ProfileName": numbered("ProfileName", slots, lambda i: f"Profil \u00e9 {i}"),
        "FileName": numbered("FileName", slots, lambda i: f"F{i}.icc"),
        "ProfileClass": numbered("ProfileClass", slots, lambda i: -i - 1),
        "InMenu": numbered("InMenu", slots, lambda i: 2),
        "IndexOnDevice": numbered("IndexOnDevice", slots, lambda i: 100 + i),
        "Comment": "added by a client",
    }
    cls["InMenu"]["InMenu7"] = 9          # not a numbered key
    cls["InMenu"]["InMenu0500"] = 9       # beyond the last slot
    if with_count:
        cls["iNum"] = 4
    return cls


def write(path, variant):
    top = {"Extra": [1, 2, 3]}
    top["DST"] = sparse_class(True)
    top["SIM"] = sparse_class(True)
    top["RGB"] = sparse_class(False)      # no "iNum"
    top["SIM"]["InMenu"]["InMenu0001"] = "2"             # wrong type
    top["SIM"]["FileName"]["FileName0002"] = 17          # wrong type
    fmt = plistlib.FMT_BINARY if variant == "sparse-binary" else plistlib.FMT_XML
    with open(path, "wb") as f:
        plistlib.dump(top, f, fmt=fmt, sort_keys=False)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "check":
        check(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    else:
        fail(__doc__)


if __name__ == "__main__":
    main()
