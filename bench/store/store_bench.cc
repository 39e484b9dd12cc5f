// Writing three full profile lists (500 used slots each) to the profile
// property list and reading them back, beside libplist's bare work on the
// same structure: building the nodes, serialising to XML, parsing it back.
//
// Usage: store_bench [benchmark flags] [FILE]
// FILE (default: a file in $TMPDIR) is where the store writes; it is left
// in place for run_store_bench to time Python's plistlib on it.
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fixed_field.h"
#include "store/zvplist.h"

namespace {

std::string g_file;

// Three lists with every slot used, names of realistic length.
struct FullLists {
  ProfileList lists[3];
  FullLists() {
    std::memset(lists, 0, sizeof lists);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
        ProfileRecord& r = lists[c].slots[i];
        r.IndexOnDevice = i + 1;
        r.InMenu = 1 + i % 6;
        r.ProfileClass = 1 + c;
        r.Location = 4 + i % 2;
        char text[32];
        std::snprintf(text, sizeof text, "ZV_PHOTO_GLOSSY_%05d.icc", c * 1000 + i);
        zv::CopyToField(r.FileName, text);
        std::snprintf(text, sizeof text, "Photo Paper Glossy Premium %03d", i);
        zv::CopyToField(r.ProfileName, text);
      }
      lists[c].iNum = ZV_PROFILE_SLOTS;
    }
  }
};

// The lists every benchmark writes, built once.
const FullLists& Source() {
  static const FullLists source;
  return source;
}

void BM_StoreWriteAndRead(benchmark::State& state) {
  const FullLists& source = Source();
  static ProfileList read_back[3];
  ZV_PLIST_PROFILE_PATH = g_file.data();
  for (auto _ : state) {
    if (ZVPListWriteProfile_All(&source.lists[0], &source.lists[1], &source.lists[2]) != 0) {
      state.SkipWithError("ZVPListWriteProfile_All failed");
      break;
    }
    std::memset(read_back, 0, sizeof read_back);
    if (ZVPListReadProfile_All(&read_back[0], &read_back[1], &read_back[2]) != 0) {
      state.SkipWithError("ZVPListReadProfile_All failed");
      break;
    }
    benchmark::DoNotOptimize(read_back);
  }
}
BENCHMARK(BM_StoreWriteAndRead)->Unit(benchmark::kMillisecond);

void BM_StoreWrite(benchmark::State& state) {
  const FullLists& source = Source();
  ZV_PLIST_PROFILE_PATH = g_file.data();
  for (auto _ : state) {
    if (ZVPListWriteProfile_All(&source.lists[0], &source.lists[1], &source.lists[2]) != 0) {
      state.SkipWithError("ZVPListWriteProfile_All failed");
      break;
    }
  }
}
BENCHMARK(BM_StoreWrite)->Unit(benchmark::kMillisecond);

void BM_StoreRead(benchmark::State& state) {
  static ProfileList read_back[3];
  ZV_PLIST_PROFILE_PATH = g_file.data();
  for (auto _ : state) {
    std::memset(read_back, 0, sizeof read_back);
    if (ZVPListReadProfile_All(&read_back[0], &read_back[1], &read_back[2]) != 0) {
      state.SkipWithError("ZVPListReadProfile_All failed");
      break;
    }
    benchmark::DoNotOptimize(read_back);
  }
}
BENCHMARK(BM_StoreRead)->Unit(benchmark::kMillisecond);

// The same structure built with libplist alone, with every key formed
// beforehand, so that only the library's work is timed.
struct BareKeys {
  const char* fields[6] = {"IndexOnDevice", "InMenu", "ProfileClass", "Location", "FileName", "ProfileName"};
  std::vector<std::string> numbered[6];
  BareKeys() {
    for (int f = 0; f < 6; ++f) {
      for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
        char key[48];
        std::snprintf(key, sizeof key, "%s%04d", fields[f], i);
        numbered[f].push_back(key);
      }
    }
  }
};

plist_t BuildBare(const BareKeys& keys, const FullLists& source) {
  plist_t root = plist_new_dict();
  const char* classes[3] = {"RGB", "SIM", "DST"};
  for (int c = 0; c < 3; ++c) {
    const ProfileList& list = source.lists[c];
    plist_t sub[6];
    for (plist_t& s : sub) s = plist_new_dict();
    for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
      const ProfileRecord& r = list.slots[i];
      const int32_t ints[4] = {r.IndexOnDevice, r.InMenu, r.ProfileClass, r.Location};
      for (int f = 0; f < 4; ++f) {
        plist_dict_set_item(sub[f], keys.numbered[f][i].c_str(), plist_new_uint(static_cast<uint64_t>(ints[f])));
      }
      plist_dict_set_item(sub[4], keys.numbered[4][i].c_str(), plist_new_string(r.FileName));
      plist_dict_set_item(sub[5], keys.numbered[5][i].c_str(), plist_new_string(r.ProfileName));
    }
    plist_t class_dict = plist_new_dict();
    plist_dict_set_item(class_dict, "iNum", plist_new_uint(static_cast<uint64_t>(list.iNum)));
    for (int f = 0; f < 6; ++f) plist_dict_set_item(class_dict, keys.fields[f], sub[f]);
    plist_dict_set_item(root, classes[c], class_dict);
  }
  plist_dict_set_item(root, "PlistVersion", plist_new_uint(1));
  return root;
}

void BM_LibplistBare(benchmark::State& state) {
  const FullLists& source = Source();
  static BareKeys keys;
  for (auto _ : state) {
    plist_t root = BuildBare(keys, source);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    plist_t parsed = nullptr;
    plist_from_memory(xml, length, &parsed);
    benchmark::DoNotOptimize(parsed);
    plist_free(parsed);
    plist_to_xml_free(xml);
    plist_free(root);
  }
}
BENCHMARK(BM_LibplistBare)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 1) {
    g_file = argv[1];
  } else {
    const char* tmp = std::getenv("TMPDIR");
    g_file = std::string(tmp && *tmp ? tmp : "/tmp") + "/zv-store-bench-profile.plist";
  }
  // The read benchmark may run first: the file must exist beforehand.
  ZV_PLIST_PROFILE_PATH = g_file.data();
  const FullLists& source = Source();
  if (ZVPListWriteProfile_All(&source.lists[0], &source.lists[1], &source.lists[2]) != 0) {
    std::fprintf(stderr, "store_bench: cannot write %s\n", g_file.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::fprintf(stderr, "profile list left in %s\n", g_file.c_str());
  return 0;
}
