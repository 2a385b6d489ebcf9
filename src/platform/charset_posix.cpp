#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/charset.h"
#include "platform/charset_internal.h"

namespace obrix {

namespace {

// iconv_open's failure value, (iconv_t)-1.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));  // NOLINT

// Makes `locale` the calling thread's for the life of the scope (none:
// leaves the thread's as it is).
class ThreadLocaleScope {
 public:
  explicit ThreadLocaleScope(locale_t locale)
      : previous_(locale != nullptr ? uselocale(locale) : nullptr) {}
  ThreadLocaleScope(const ThreadLocaleScope&) = delete;
  ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;
  ~ThreadLocaleScope() {
    if (previous_ != nullptr) uselocale(previous_);
  }

 private:
  locale_t previous_;
};

// iconv's converter, with the locale whose transliterations it uses.
struct IconvConverter final : CharsetConverter::Impl {
  iconv_t handle = kNoConverter;
  // A transliterating converter's locale, whose tables iconv reads while it
  // converts; nullptr for the others.
  locale_t translitLocale = nullptr;
  ~IconvConverter() override {
    if (handle != kNoConverter) iconv_close(handle);
    if (translitLocale != nullptr) freelocale(translitLocale);
  }

  std::size_t Run(std::string_view input, std::string& output) override {
    const ThreadLocaleScope locale(translitLocale);
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    // iconv takes a non-const input pointer but never writes through it.
    char* in = const_cast<char*>(input.data());  // NOLINT
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* out = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t result = iconv(handle, &in, &inLeft, &out, &outLeft);
      output.append(buffer, static_cast<std::size_t>(out - buffer));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(handle, nullptr, nullptr, &out, &outLeft);
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    return input.size() - inLeft;
  }
};

}  // namespace

std::optional<CharsetConverter> CharsetConverter::Open(std::string_view to, std::string_view from) {
  auto impl = std::make_unique<IconvConverter>();
  impl->handle = iconv_open(std::string(to).c_str(), std::string(from).c_str());
  if (impl->handle == kNoConverter) return std::nullopt;
  impl->sourceIsUtf8 = from == kCharsetUtf8 || from == "UTF8" || from == "utf-8";
  return CharsetConverter(std::move(impl));
}

std::optional<CharsetConverter> CharsetConverter::OpenTransliterating(std::string_view to,
                                                                      std::string_view from) {
  // glibc's iconv transliterates by the tables of the thread's locale at
  // the time it converts. The C locale's are used whatever the program's
  // locale, so that a text converts the same on every system and in every
  // run: they have the common ones (quotes, dashes, the euro sign), but
  // leave accented letters (S-caron, A-tilde), which other locales would
  // spell without their accents, to the replacement.
  std::optional<CharsetConverter> converter = Open(std::string(to) + "//TRANSLIT", from);
  if (!converter) return std::nullopt;
  auto& made = static_cast<IconvConverter&>(*converter->impl_);
  made.translitLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  if (made.translitLocale == nullptr) return std::nullopt;
  return converter;
}

std::string LocaleCharset() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

std::string ArgumentCharset() { return LocaleCharset(); }

}  // namespace obrix
