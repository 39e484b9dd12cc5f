// SPDX-License-Identifier: MIT
// Writing three full profile lists (500 used slots each) to the profile
// property list and reading them back, beside libplist's bare work on the
// same structure: building the nodes, serialising to XML, writing the file
// (the same atomic replacement), reading it back, parsing, freeing. Each
// side also timed in its write and read halves.
//
// Two kinds of lists, each in a file of its own: plain ASCII names, and
// names that XML must escape ("<", "&") holding a two-byte character ("é")
// too. Every benchmark runs once per kind; its name ends in "/plain" or
// "/escaped".
//
// Usage: store_bench [benchmark flags] [FOLDER]
// FOLDER (default: $TMPDIR) is where the store writes plain-profile.plist
// and escaped-profile.plist; they are left in place for run_store_bench to
// time Python's plistlib on them.
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/fixed_field.h"
#include "platform/whole_file.h"
#include "store/profile_plist_xml.h"
#include "store/zvplist.h"

namespace {

// The two kinds of lists, each written to a file of its own.
enum class Names { kPlain, kEscaped };
constexpr Names kAllNames[] = {Names::kPlain, Names::kEscaped};

const char* NamesLabel(Names names) { return names == Names::kPlain ? "plain" : "escaped"; }

std::string g_folder;

// Where the store writes the lists of `names`: a path of the process's
// lifetime, as ZV_PLIST_PROFILE_PATH keeps pointing at it.
char* StoreFile(Names names) {
  static std::string files[2] = {g_folder + "/plain-profile.plist", g_folder + "/escaped-profile.plist"};
  return files[static_cast<int>(names)].data();
}

std::string BareFile(Names names) { return std::string(StoreFile(names)) + ".libplist"; }

// Three lists with every slot used, names of realistic length: plain
// ASCII, or with "<", ">" and "&" to escape and a two-byte character ("É",
// "é").
#define PLAIN_FILE_NAME "ZV_PHOTO_GLOSSY_%05d.icc"
#define PLAIN_PROFILE_NAME "Photo Paper Glossy Premium %03d"
#define ESCAPED_FILE_NAME "ZV_<PHOTO>&GLAC\xc3\x89_%05d.icc"
#define ESCAPED_PROFILE_NAME "Papier glac\xc3\xa9 <Premium> & %03d"

struct FullLists {
  ProfileList lists[3];
  explicit FullLists(Names names) {
    const bool escaped = names == Names::kEscaped;
    std::memset(lists, 0, sizeof lists);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
        ProfileRecord& r = lists[c].slots[i];
        r.IndexOnDevice = i + 1;
        r.InMenu = 1 + i % 6;
        r.ProfileClass = 1 + c;
        r.Location = 4 + i % 2;
        char text[32];
        std::snprintf(text, sizeof text, escaped ? ESCAPED_FILE_NAME : PLAIN_FILE_NAME, c * 1000 + i);
        zv::CopyToField(r.FileName, text);
        std::snprintf(text, sizeof text, escaped ? ESCAPED_PROFILE_NAME : PLAIN_PROFILE_NAME, i);
        zv::CopyToField(r.ProfileName, text);
      }
      lists[c].iNum = ZV_PROFILE_SLOTS;
    }
  }
};

// The lists every benchmark of `names` writes, built once.
const FullLists& Source(Names names) {
  static const FullLists plain(Names::kPlain);
  static const FullLists escaped(Names::kEscaped);
  return names == Names::kPlain ? plain : escaped;
}

void BM_StoreWriteAndRead(benchmark::State& state, Names names) {
  const FullLists& source = Source(names);
  static ProfileList read_back[3];
  ZV_PLIST_PROFILE_PATH = StoreFile(names);
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

void BM_StoreWrite(benchmark::State& state, Names names) {
  const FullLists& source = Source(names);
  ZV_PLIST_PROFILE_PATH = StoreFile(names);
  for (auto _ : state) {
    if (ZVPListWriteProfile_All(&source.lists[0], &source.lists[1], &source.lists[2]) != 0) {
      state.SkipWithError("ZVPListWriteProfile_All failed");
      break;
    }
  }
}

void BM_StoreRead(benchmark::State& state, Names names) {
  static ProfileList read_back[3];
  ZV_PLIST_PROFILE_PATH = StoreFile(names);
  for (auto _ : state) {
    std::memset(read_back, 0, sizeof read_back);
    if (ZVPListReadProfile_All(&read_back[0], &read_back[1], &read_back[2]) != 0) {
      state.SkipWithError("ZVPListReadProfile_All failed");
      break;
    }
    benchmark::DoNotOptimize(read_back);
  }
}

// Where the store's time goes: the XML text made in memory, the same text
// decoded from memory, and the file replacement alone (fsync included).
void BM_StoreSerialiseOnly(benchmark::State& state, Names names) {
  const FullLists& source = Source(names);
  for (auto _ : state) {
    std::string xml;
    zv::AppendProfileListXml(source.lists[0], source.lists[1], source.lists[2], &xml);
    benchmark::DoNotOptimize(xml.data());
  }
}

void BM_StoreDecodeOnly(benchmark::State& state, Names names) {
  const FullLists& source = Source(names);
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

void BM_FileReplaceOnly(benchmark::State& state, Names names) {
  const FullLists& source = Source(names);
  std::string xml, error;
  zv::AppendProfileListXml(source.lists[0], source.lists[1], source.lists[2], &xml);
  const std::string path = std::string(StoreFile(names)) + ".replace";
  for (auto _ : state) {
    if (!zv::ReplaceFileContents(path, xml, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::remove(path.c_str());
}

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

void BM_LibplistBare(benchmark::State& state, Names names) {
  const std::string path = BareFile(names);
  for (auto _ : state) {
    if (!LibplistWrite(Keys(), Source(names), path) || !LibplistRead(path)) {
      state.SkipWithError("libplist round trip failed");
      break;
    }
  }
}

// libplist's work without the file: build, serialise, parse, free; set
// beside the store's XML text and decoding alone.
void BM_LibplistMemoryOnly(benchmark::State& state, Names names) {
  for (auto _ : state) {
    plist_t root = BuildBare(Keys(), Source(names));
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

void BM_LibplistBareWrite(benchmark::State& state, Names names) {
  const std::string path = BareFile(names);
  for (auto _ : state) {
    if (!LibplistWrite(Keys(), Source(names), path)) {
      state.SkipWithError("libplist write failed");
      break;
    }
  }
}

void BM_LibplistBareRead(benchmark::State& state, Names names) {
  const std::string path = BareFile(names);
  for (auto _ : state) {
    if (!LibplistRead(path)) {
      state.SkipWithError("libplist read failed");
      break;
    }
  }
}

// Registers every benchmark once per kind of lists.
void RegisterAll() {
  using Function = void (*)(benchmark::State&, Names);
  const std::pair<const char*, Function> benchmarks[] = {
      {"BM_StoreWriteAndRead", BM_StoreWriteAndRead},   {"BM_StoreWrite", BM_StoreWrite},
      {"BM_StoreRead", BM_StoreRead},                   {"BM_StoreSerialiseOnly", BM_StoreSerialiseOnly},
      {"BM_StoreDecodeOnly", BM_StoreDecodeOnly},       {"BM_FileReplaceOnly", BM_FileReplaceOnly},
      {"BM_LibplistBare", BM_LibplistBare},             {"BM_LibplistMemoryOnly", BM_LibplistMemoryOnly},
      {"BM_LibplistBareWrite", BM_LibplistBareWrite},   {"BM_LibplistBareRead", BM_LibplistBareRead}};
  for (const Names names : kAllNames) {
    for (const auto& [name, function] : benchmarks) {
      const std::string full_name = std::string(name) + "/" + NamesLabel(names);
      benchmark::RegisterBenchmark(full_name.c_str(), function, names)->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 1) {
    g_folder = argv[1];
  } else {
    const char* tmp = std::getenv("TMPDIR");
    g_folder = tmp && *tmp ? tmp : "/tmp";
  }
  // The read benchmarks may run first: the files must exist beforehand.
  for (const Names names : kAllNames) {
    ZV_PLIST_PROFILE_PATH = StoreFile(names);
    const FullLists& source = Source(names);
    if (ZVPListWriteProfile_All(&source.lists[0], &source.lists[1], &source.lists[2]) != 0 ||
        !LibplistWrite(Keys(), source, BareFile(names))) {
      std::fprintf(stderr, "store_bench: cannot write %s\n", StoreFile(names));
      return 1;
    }
  }
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  for (const Names names : kAllNames) {
    std::remove(BareFile(names).c_str());
    std::fprintf(stderr, "profile list left in %s\n", StoreFile(names));
  }
  benchmark::Shutdown();
  return 0;
}
