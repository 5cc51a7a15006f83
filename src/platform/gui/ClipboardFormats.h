#pragma once
// The process's registered clipboard formats: names to numbers. Registered
// formats are numbered from 0xC000 on; a name registered again (in any
// letter case) gets its first number back. The standard formats 1-16 are
// known by name without registration.
#include <string>

#include "platform/core/Types.h"

namespace px {

constexpr Word CF_TEXT = 1;
constexpr Word CF_BITMAP = 2;
constexpr Word CF_UNICODETEXT = 13;
constexpr Word CF_HDROP = 15;
constexpr Word FirstRegisteredClipboardFormat = 0xC000;

// The number of a format name, registered on first use; 0 for an empty name
// or when the numbers run out.
Word RegisterClipboardFormat(const std::string& name);
// The number of a registered name (any letter case) without registering it;
// 0 when the name is not registered.
Word FindClipboardFormat(const std::string& name);
// The name of a format number: the standard names for 1-16, the registered
// name from 0xC000; "" for any other number.
std::string GetClipboardFormatName(Word format);

}  // namespace px
