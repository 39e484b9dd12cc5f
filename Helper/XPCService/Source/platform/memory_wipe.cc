// SPDX-License-Identifier: MIT
#include "platform/memory_wipe.h"

#include <string.h>

namespace zv {

void WipeBytes(void* data, std::size_t size) {
  if (data != nullptr) ::explicit_bzero(data, size);
}

void WipeString(std::string* text) {
  WipeBytes(text->data(), text->capacity());
  text->clear();
}

void WipeStrings(std::vector<std::string>* texts) {
  for (std::string& text : *texts) WipeString(&text);
  texts->clear();
}

}  // namespace zv
