#include "platform/collate.h"

#include <unicode/locid.h>
#include <unicode/coll.h>
#include <unicode/uloc.h>

#include <map>
#include <memory>
#include <utility>

namespace platform {
namespace {

// Collators are cached per thread: ICU collators must not be shared between threads
// without cloning, and creating one per comparison is far too slow for sorting.
icu::Collator* CollatorFor(LocaleId lcid, bool ignoreCase) {
  thread_local std::map<std::pair<LocaleId, bool>, std::unique_ptr<icu::Collator>> cache;
  auto key = std::make_pair(lcid, ignoreCase);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second.get();
  std::unique_ptr<icu::Collator> collator;
  std::string name = IcuLocaleName(lcid);
  if (!name.empty()) {
    UErrorCode status = U_ZERO_ERROR;
    collator.reset(icu::Collator::createInstance(icu::Locale(name.c_str()), status));
    if (U_FAILURE(status)) {
      collator.reset();
    } else {
      // Ignoring case keeps accents apart (secondary strength), as NORM_IGNORECASE does.
      collator->setStrength(ignoreCase ? icu::Collator::SECONDARY : icu::Collator::TERTIARY);
    }
  }
  return cache.emplace(key, std::move(collator)).first->second.get();
}

}  // namespace

LocaleId GetUserDefaultLcid() { return kLocaleGerman; }

std::string IcuLocaleName(LocaleId lcid) {
  char name[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = uloc_getLocaleForLCID(lcid, name, sizeof name, &status);
  if (U_FAILURE(status) || length <= 0) return {};
  return std::string(name, static_cast<size_t>(length));
}

int CompareLocale(LocaleId lcid, bool ignoreCase, std::u16string_view a, std::u16string_view b) {
  icu::Collator* collator = CollatorFor(lcid, ignoreCase);
  if (!collator) return -2;
  UErrorCode status = U_ZERO_ERROR;
  UCollationResult r = collator->compare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                                         static_cast<int32_t>(b.size()), status);
  if (U_FAILURE(status)) return -2;
  return r == UCOL_LESS ? -1 : r == UCOL_EQUAL ? 0 : 1;
}

uint32_t LocaleDefaultAnsiCodePage(LocaleId lcid) {
  const LocaleId primary = lcid & 0x3FF;
  switch (lcid) {  // languages whose code page depends on the script or country
    case 0x0804: case 0x1004: return 936;            // Chinese, simplified
    case 0x0404: case 0x0C04: case 0x1404: return 950;  // Chinese, traditional
    case 0x0C1A: case 0x1C1A: case 0x201A: return 1251;  // Serbian and Bosnian, Cyrillic
    case 0x0843: case 0x082C: return 1251;           // Uzbek and Azeri, Cyrillic
    default: break;
  }
  switch (primary) {
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1A: case 0x1B: case 0x1C: case 0x24:
      return 1250;  // Czech, Hungarian, Polish, Romanian, Croatian, Slovak, Albanian, Slovenian
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44:
    case 0x50: case 0x6D:
      return 1251;  // Bulgarian, Russian, Ukrainian, Belarusian, Macedonian, Kazakh, ...
    case 0x08: return 1253;                      // Greek
    case 0x1F: case 0x2C: case 0x43: return 1254;  // Turkish, Azeri, Uzbek (Latin)
    case 0x0D: return 1255;                      // Hebrew
    case 0x01: case 0x20: case 0x29: return 1256;  // Arabic, Urdu, Farsi
    case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    case 0x2A: return 1258;                      // Vietnamese
    case 0x1E: return 874;                       // Thai
    case 0x11: return 932;                       // Japanese
    case 0x12: return 949;                       // Korean
    case 0x04: return 936;
    case 0x39: case 0x45: case 0x46: case 0x47: case 0x48: case 0x49: case 0x4A: case 0x4B:
    case 0x4E: case 0x4F: case 0x37: case 0x2B:
      return 0;  // Indic languages, Georgian, Armenian: Unicode only
    default: return 1252;
  }
}

}  // namespace platform
