// SPDX-License-Identifier: Apache-2.0
// A consumer of the installed library: one call into each kind of public interface (plain
// functions, classes, header templates that call into the library, version macros and symbols).
// Prints "consumer: ok" and exits 0, or names the first check that failed and exits 1.
#include <kelvane/kelvane.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: %s failed\n", what);
    ++failures;
  }
}

std::intptr_t CompareInts(const void* first, const void* element, const char*) {
  const int a = *static_cast<const int*>(first);
  const int b = *static_cast<const int*>(element);
  return (a > b) - (a < b);
}

}  // namespace

int main() {
  static_assert(KELVANE_VERSION == KELVANE_MAKE_VERSION(KELVANE_VERSION_MAJOR,
                                                        KELVANE_VERSION_MINOR,
                                                        KELVANE_VERSION_PATCH));
  const std::string marker = "PROJECT:Kelvane-" + std::to_string(KELVANE_VERSION_MAJOR) + "\n";
  Check(std::strstr(reinterpret_cast<const char*>(KelvaneVersionString), marker.c_str()) != nullptr,
        "version string");
  Check(KelvaneVersionNumber == KELVANE_VERSION_MAJOR + KELVANE_VERSION_MINOR / 10.0,
        "version number");
  Check(std::strcmp(KelvaneVersion(), KELVANE_VERSION_STRING) == 0, "loaded version");

  Check(kelvane::StringFromUtf8("caf\xC3\xA9") == u"caf\u00E9", "StringFromUtf8");
  Check(!kelvane::StringFromUtf8("\xC0\xAF").has_value(), "StringFromUtf8 of an overlong form");
  Check(kelvane::Utf8FromString(u"\U0001F600") == "\xF0\x9F\x98\x80", "Utf8FromString");

  kelvane::CNotice hub;
  std::string heard;
  const char subscriber = 's';
  hub.Subscribe(1, &subscriber,
                kelvane::platform::Block::Of<void(const std::string&)>(
                    [&](const std::string& text) { heard = text; }));
  Check(hub.Post(1, std::string("quote")) == 1 && heard == "quote", "CNotice::Post");

  kelvane::platform::ObjectArray<int> numbers;
  for (int n : {3, 1, 2}) {
    kelvane::NSTools::Insert(numbers, std::make_shared<int>(n), CompareInts, false);
  }
  const int key = 2;
  std::uint32_t index = 0;
  Check(numbers.size() == 3 && *numbers.front() == 1 &&
            kelvane::NSTools::SearchKey(numbers, &key, CompareInts, &index) != nullptr &&
            index == 1,
        "ordered object array");
  Check(kelvane::Archive::loadFromArchive<kelvane::platform::Codable>(nullptr) == nullptr,
        "loadFromArchive");

  const kelvane::ColorRef blue = kelvane::Create::ColorForRGB(0x007AFF);
  Check(blue != nullptr && blue == kelvane::Create::ColorForRGB(0x007AFF, 1.0) &&
            kelvane::Create::rgba(*blue) == 0xFF007AFFu,
        "ColorForRGB");

  const auto url = kelvane::platform::URL::Parse(u"https://[::1]:8443/quotes");
  Check(url && url->host() == u"::1" && url->port() == 8443, "URL");

  if (failures != 0) return 1;
  std::printf("consumer: ok (Kelvane %s)\n", KELVANE_VERSION_STRING);
  return 0;
}
