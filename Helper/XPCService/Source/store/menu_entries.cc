// SPDX-License-Identifier: MIT
// The print dialog's menu as the profile lists give it: which menu states
// it shows, the entries of one class that it shows, and the states' names.
#include <cerrno>
#include <iterator>

#include "store/zvplist.h"

namespace {

// The names of the states, in the order of enum ZVInMenu.
constexpr const char* kAllStateNames[] = {"empty", "listed", "reported", "kept", "kept-reported", "client",
                                          "kept-missing"};
static_assert(std::size(kAllStateNames) == ZV_INMENU_KEPT_MISSING + 1);

}  // namespace

extern "C" {

int zvplist_in_menu(int32_t in_menu) {
  return in_menu == ZV_INMENU_REPORTED || in_menu == ZV_INMENU_KEPT_REPORTED || in_menu == ZV_INMENU_CLIENT;
}

int zvplist_menu(const ProfileList* list, int* slots, int max_slots) {
  if (list == nullptr || (slots == nullptr && max_slots > 0)) {
    errno = EINVAL;
    return -1;
  }
  int shown = 0;
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    if (!zvplist_in_menu(list->slots[slot].InMenu)) continue;
    if (shown < max_slots) slots[shown] = slot;
    ++shown;
  }
  return shown;
}

const char* zvplist_state_name(int32_t in_menu) {
  if (in_menu < 0 || in_menu > ZV_INMENU_KEPT_MISSING) return "unknown";
  return kAllStateNames[in_menu];
}

}  // extern "C"
