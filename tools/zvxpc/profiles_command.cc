// SPDX-License-Identifier: MIT
// `zvxpc profiles [--json] FILE` or `zvxpc profiles [--json] --user U
// --model M`: reads a profile property list with the store's whole-file
// reader and prints its three lists, as a table or as one JSON object. A
// list named by user and model lies in --preferences-dir, else in the
// folder the service uses (its status), else in the default folder. Exit
// 0 when the file was read, 1 when the reader failed (with a one-line
// reason on stderr), 2 for a usage error.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fixed_field.h"
#include "platform/one_line_text.h"
#include "store/profile_plist_file.h"
#include "store/zvplist.h"
#include "zvxpc/command_errors.h"
#include "zvxpc/command_prologue.h"
#include "zvxpc/commands.h"
#include "zvxpc/json_text.h"
#include "zvxpc/list_warnings.h"
#include "zvxpc/service_session.h"

namespace zvxpc {
namespace {

constexpr const char* kCommand = "profiles";
constexpr const char* kClassNames[3] = {"RGB", "SIM", "DST"};

struct ProfilesOptions {
  bool json = false;
  bool menu = false;
  std::string file;
  const char* user = nullptr;
  const char* model = nullptr;
  const char* preferences_dir = nullptr;
  ServiceOptions service;
};

// Takes option `c` with its value.
void TakeOption(int c, const char* value, ProfilesOptions* options) {
  switch (c) {
    case 'j': options->json = true; break;
    case 'M': options->menu = true; break;
    case 'u': options->user = value; break;
    case 'm': options->model = value; break;
    case 'p': options->preferences_dir = value; break;
  }
}

// "--json" and the others anywhere; exactly one FILE, or --user and
// --model; "--" ends the options.
Parsed ParseProfilesArguments(int argc, char** argv, ProfilesOptions* options, std::string* error) {
  const auto take = [options](int c, const char* value, std::string*) {
    TakeOption(c, value, options);
    return true;
  };
  const Parsed parsed = ParseOptions(argc, argv,
                                     {{"json", no_argument, nullptr, 'j'},
                                      {"menu", no_argument, nullptr, 'M'},
                                      {"user", required_argument, nullptr, 'u'},
                                      {"model", required_argument, nullptr, 'm'},
                                      {"preferences-dir", required_argument, nullptr, 'p'}},
                                     &options->service, take, error);
  if (parsed != Parsed::kRun) return parsed;
  const bool by_name = options->user != nullptr || options->model != nullptr;
  if (by_name && (options->user == nullptr || options->model == nullptr)) {
    *error = "--user and --model go together";
    return Parsed::kUsageError;
  }
  if (argc - optind != (by_name ? 0 : 1)) {
    *error = by_name ? "a FILE, or --user and --model, not both"
             : argc == optind ? "no FILE (or --user and --model) given"
                              : "one FILE only, not " + std::to_string(argc - optind);
    return Parsed::kUsageError;
  }
  if (!by_name) options->file = argv[optind];
  return Parsed::kRun;
}

// The folder of the lists: --preferences-dir, else the service's; none:
// the default folder.
std::optional<std::string> ListFolder(const ProfilesOptions& options) {
  if (options.preferences_dir != nullptr) return std::string(options.preferences_dir);
  std::string unreachable;
  zvxpc_client* client = ConnectToService(options.service, &unreachable);
  std::optional<std::string> folder;
  if (client != nullptr) {
    folder = ServiceFolder(client, options.service.timeout_ms);
    zvxpc_close(client);
    if (!folder) unreachable = "the service does not name its folder";
  }
  if (!folder) {
    const char* fallback = zvxpc_preferences_dir();
    Report(kCommand, "note: " + unreachable + "; reading the list from the default folder " +
                         (fallback != nullptr ? fallback : "(none)"));
  }
  return folder;
}

// The list's path by the service's naming rule; false with a reason when
// the names cannot name a list.
bool ComposeListPath(ProfilesOptions* options, std::string* error) {
  const std::optional<std::string> folder = ListFolder(*options);
  char* path = zvplist_path(folder ? folder->c_str() : nullptr, options->user, options->model);
  if (path == nullptr) {
    *error = "no profile list can be named by that user and model";
    return false;
  }
  options->file = path;
  std::free(path);
  return true;
}

// True when the slot holds anything the file stores.
bool SlotInUse(const ProfileRecord& slot) {
  return slot.IndexOnDevice != 0 || slot.InMenu != 0 || slot.ProfileClass != 0 || slot.Location != 0 ||
         slot.FileName[0] != '\0' || slot.ProfileName[0] != '\0';
}

void PrintJsonClass(const ProfileList& list) {
  std::printf("{\"iNum\":%d,\"slots\":[", list.iNum);
  const char* separator = "";
  for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
    const ProfileRecord& slot = list.slots[i];
    if (!SlotInUse(slot)) continue;
    std::printf(
        "%s{\"slot\":%d,\"IndexOnDevice\":%d,\"InMenu\":%d,\"State\":\"%s\",\"ProfileClass\":%d,"
        "\"FileName\":%s,\"ProfileName\":%s,\"Location\":%d}",
        separator, i, slot.IndexOnDevice, slot.InMenu, zvplist_state_name(slot.InMenu), slot.ProfileClass,
        JsonString(zv::FieldText(slot.FileName)).c_str(), JsonString(zv::FieldText(slot.ProfileName)).c_str(),
        slot.Location);
    separator = ",";
  }
  std::printf("]}");
}

void PrintJson(const ProfileList* const lists[3]) {
  std::printf("{");
  for (int c = 0; c < 3; ++c) {
    std::printf("%s\"%s\":", c == 0 ? "" : ",", kClassNames[c]);
    PrintJsonClass(*lists[c]);
  }
  std::printf("}\n");
}

void PrintTableClass(const char* name, const ProfileList& list) {
  std::printf("%s  (iNum %d)\n", name, list.iNum);
  std::printf("  %4s %13s %-16s %12s %8s  %-31s  %s\n", "slot", "IndexOnDevice", "InMenu", "ProfileClass",
              "Location", "FileName", "ProfileName");
  bool any = false;
  for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
    const ProfileRecord& slot = list.slots[i];
    if (!SlotInUse(slot)) continue;
    any = true;
    const std::string state = std::to_string(slot.InMenu) + " " + zvplist_state_name(slot.InMenu);
    std::printf("  %4d %13d %-16s %12d %8d  %-31s  %s\n", i, slot.IndexOnDevice, state.c_str(), slot.ProfileClass,
                slot.Location, zv::OneLineText(zv::FieldText(slot.FileName)).c_str(),
                zv::OneLineText(zv::FieldText(slot.ProfileName)).c_str());
  }
  if (!any) std::printf("  (every slot empty)\n");
}

// The menus as the dialog shows them: per class, the entries it shows in
// their order, as "FILENAME  PROFILENAME" lines or one JSON object.
void PrintMenus(const ProfileList* const lists[3], bool json) {
  if (json) {
    std::printf("%s\n", MenusJson(lists).c_str());
    return;
  }
  for (int c = 0; c < 3; ++c) {
    int slots[ZV_PROFILE_SLOTS];
    const int shown = zvplist_menu(lists[c], slots, ZV_PROFILE_SLOTS);
    std::printf("%s:%s\n", kClassNames[c], shown == 0 ? " (empty menu)" : "");
    for (int i = 0; i < shown; ++i) {
      const ProfileRecord& slot = lists[c]->slots[slots[i]];
      std::printf("  %-31s  %s\n", zv::OneLineText(zv::FieldText(slot.FileName)).c_str(),
                  zv::OneLineText(zv::FieldText(slot.ProfileName)).c_str());
    }
  }
}

void PrintTable(const ProfileList* const lists[3]) {
  for (int c = 0; c < 3; ++c) {
    if (c > 0) std::printf("\n");
    PrintTableClass(kClassNames[c], *lists[c]);
  }
}

// Names the unreadable lists the service kept aside beside the list.
void ReportKeptAside(const std::string& path) {
  for (const std::string& kept : KeptAsideLists(path)) {
    Report(kCommand, "note: the service could not read an earlier list and kept it aside as " + kept);
  }
}

// Reads the list, by its file or its names, and prints it.
int PrintProfiles(ProfilesOptions options) {
  std::string error;
  if (options.file.empty() && !ComposeListPath(&options, &error)) return Fail(kCommand, error, kExitUnreadableFile);
  static ProfileList rgb, sim, dst;  // about 42 KB each, cleared
  std::string reason;
  ReportKeptAside(options.file);
  if (!zv::ReadProfileListFile(options.file.c_str(), &rgb, &sim, &dst, &reason)) {
    // The reason names the file (or the call that failed on it).
    const std::string where = XmlErrorLine(options.file);
    return Fail(kCommand, "cannot read profile list: " + reason + (where.empty() ? "" : " (" + where + ")"),
                kExitUnreadableFile);
  }
  for (const std::string& warning : WrongTypeWarnings(options.file)) Report(kCommand, "warning: " + warning);
  const ProfileList* const lists[3] = {&rgb, &sim, &dst};
  if (options.menu) {
    PrintMenus(lists, options.json);
  } else if (options.json) {
    PrintJson(lists);
  } else {
    PrintTable(lists);
  }
  return std::fflush(stdout) == 0 ? kExitSuccess : Fail(kCommand, "cannot write to standard output");
}

}  // namespace

void PrintProfilesHelp(std::FILE* out) {
  std::fputs(
      "usage: zvxpc profiles [--json] [--menu] FILE\n"
      "       zvxpc profiles [--json] [--menu] [OPTION]... --user U --model M\n"
      "Prints the three lists (RGB, SIM, DST) of the profile property list FILE,\n"
      "or of user U and model M, as a table, or as one JSON object with --json;\n"
      "each entry's menu state by number and name. With --menu: only what the\n"
      "print dialog's menus show (the entries in states 2, 4 and 5), in order.\n"
      "The list of U and M lies in the folder the service uses (asked from it),\n"
      "or in DIR.\n"
      "\n"
      "Options:\n"
      "  --json              print one JSON object\n"
      "  --menu              print the menus only\n"
      "  --user U            the list of user U (with --model)\n"
      "  --model M           the list of model M (with --user)\n"
      "  --preferences-dir DIR  the folder of that list (default: the service's)\n",
      out);
  PrintHelpEnd(out,
               "Exit status: 0 when the list was read, 1 when it is no readable profile\n"
               "list (the reason on standard error), 2 for a usage error.\n");
}

int RunProfiles(int argc, char** argv) {
  return RunCommand(kCommand, argc, argv, ParseProfilesArguments, PrintProfilesHelp, PrintProfiles);
}

}  // namespace zvxpc
