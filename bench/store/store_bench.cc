// SPDX-License-Identifier: MIT
// Writing three full profile lists (500 used slots each) to the profile
// property list and reading them back, beside libplist's bare work on the
// same structure: building the nodes, serialising to XML, writing the file
// (the same atomic replacement), reading it back, parsing, freeing. Each
// side also timed in its write and read halves.
//
// Usage: store_bench [benchmark flags] [FILE]
// FILE (default: a file in $TMPDIR) is where the store writes; it is left
// in place for run_store_bench to time Python's plistlib on it.
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/fixed_field.h"
#include "platform/whole_file.h"
#include "store/profile_plist_xml.h"
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

// Where the store's time goes: the XML text made in memory, the same text
// decoded from memory, and the file replacement alone (fsync included).
void BM_StoreSerialiseOnly(benchmark::State& state) {
  const FullLists& source = Source();
  for (auto _ : state) {
    std::string xml;
    zv::AppendProfileListXml(source.lists[0], source.lists[1], source.lists[2], &xml);
    benchmark::DoNotOptimize(xml.data());
  }
}
BENCHMARK(BM_StoreSerialiseOnly)->Unit(benchmark::kMillisecond);

void BM_StoreDecodeOnly(benchmark::State& state) {
  const FullLists& source = Source();
  std::string xml;
  zv::AppendProfileListXml(source.lists[0], source.lists[1], source.lists[2], &xml);
  auto classes = std::make_unique<zv::ProfileClasses>();
  for (auto _ : state) {
    std::string copy = xml;
    if (!zv::DecodeXmlProfileList(&copy, classes.get())) {
      state.SkipWithError("fast reader left the file undecided");
      break;
    }
    benchmark::DoNotOptimize(classes.get());
  }
}
BENCHMARK(BM_StoreDecodeOnly)->Unit(benchmark::kMillisecond);

void BM_FileReplaceOnly(benchmark::State& state) {
  const FullLists& source = Source();
  std::string xml, error;
  zv::AppendProfileListXml(source.lists[0], source.lists[1], source.lists[2], &xml);
  const std::string path = g_file + ".replace";
  for (auto _ : state) {
    if (!zv::ReplaceFileContents(path, xml, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_FileReplaceOnly)->Unit(benchmark::kMillisecond);

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

// libplist's write half: build the nodes, serialise, write the file as the
// store does (same atomic replacement, fsync included), free.
bool LibplistWrite(const BareKeys& keys, const FullLists& source, const std::string& path) {
  plist_t root = BuildBare(keys, source);
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  std::string error;
  const bool ok = xml != nullptr && zv::ReplaceFileContents(path, std::string_view(xml, length), &error);
  plist_to_xml_free(xml);
  plist_free(root);
  return ok;
}

// libplist's read half: read the file back, parse, free.
bool LibplistRead(const std::string& path) {
  std::string data, error;
  if (!zv::ReadWholeFile(path, &data, &error)) return false;
  plist_t parsed = nullptr;
  plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &parsed);
  benchmark::DoNotOptimize(parsed);
  if (parsed == nullptr) return false;
  plist_free(parsed);
  return true;
}

const BareKeys& Keys() {
  static const BareKeys keys;
  return keys;
}

std::string BareFile() { return g_file + ".libplist"; }

void BM_LibplistBare(benchmark::State& state) {
  const std::string path = BareFile();
  for (auto _ : state) {
    if (!LibplistWrite(Keys(), Source(), path) || !LibplistRead(path)) {
      state.SkipWithError("libplist round trip failed");
      break;
    }
  }
}
BENCHMARK(BM_LibplistBare)->Unit(benchmark::kMillisecond);

// libplist's work without the file: build, serialise, parse, free; set
// beside the store's XML text and decoding alone.
void BM_LibplistMemoryOnly(benchmark::State& state) {
  for (auto _ : state) {
    plist_t root = BuildBare(Keys(), Source());
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
BENCHMARK(BM_LibplistMemoryOnly)->Unit(benchmark::kMillisecond);

void BM_LibplistBareWrite(benchmark::State& state) {
  const std::string path = BareFile();
  for (auto _ : state) {
    if (!LibplistWrite(Keys(), Source(), path)) {
      state.SkipWithError("libplist write failed");
      break;
    }
  }
}
BENCHMARK(BM_LibplistBareWrite)->Unit(benchmark::kMillisecond);

void BM_LibplistBareRead(benchmark::State& state) {
  const std::string path = BareFile();
  for (auto _ : state) {
    if (!LibplistRead(path)) {
      state.SkipWithError("libplist read failed");
      break;
    }
  }
}
BENCHMARK(BM_LibplistBareRead)->Unit(benchmark::kMillisecond);

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
  if (ZVPListWriteProfile_All(&source.lists[0], &source.lists[1], &source.lists[2]) != 0 ||
      !LibplistWrite(Keys(), source, BareFile())) {
    std::fprintf(stderr, "store_bench: cannot write %s\n", g_file.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  std::remove(BareFile().c_str());
  benchmark::Shutdown();
  std::fprintf(stderr, "profile list left in %s\n", g_file.c_str());
  return 0;
}
