#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/charset.h"

namespace obrix {

namespace {

// iconv_open's failure value, (iconv_t)-1.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));  // NOLINT

// The length of the character that starts `input`, as far as the source
// set tells: a UTF-8 lead byte gives its sequence length, every other set
// here is one byte a character.
std::size_t CharacterLength(std::string_view input, bool utf8) {
  if (!utf8 || input.empty()) return 1;
  const auto lead = static_cast<unsigned char>(input[0]);
  std::size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return length <= input.size() ? length : input.size();
}

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

}  // namespace

struct CharsetConverter::Impl {
  iconv_t handle = kNoConverter;
  bool sourceIsUtf8 = false;
  // A transliterating converter's locale, whose tables iconv reads while it
  // converts; nullptr for the others.
  locale_t translitLocale = nullptr;
  ~Impl() {
    if (handle != kNoConverter) iconv_close(handle);
    if (translitLocale != nullptr) freelocale(translitLocale);
  }

  // Converts as much of `input` as converts, appending to `output`; the
  // offset where conversion stopped (input.size() when all converted).
  std::size_t Run(std::string_view input, std::string& output) {
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

std::optional<CharsetConverter> CharsetConverter::Open(std::string_view to, std::string_view from) {
  auto impl = std::make_unique<Impl>();
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
  converter->impl_->translitLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  if (converter->impl_->translitLocale == nullptr) return std::nullopt;
  return converter;
}

CharsetConverter::CharsetConverter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CharsetConverter::CharsetConverter(CharsetConverter&& other) noexcept = default;
CharsetConverter& CharsetConverter::operator=(CharsetConverter&& other) noexcept = default;
CharsetConverter::~CharsetConverter() = default;

std::string CharsetConverter::Convert(std::string_view input, char replacement) {
  std::string output;
  output.reserve(input.size());
  while (!input.empty()) {
    const std::size_t done = impl_->Run(input, output);
    if (done >= input.size()) break;
    output += replacement;
    input.remove_prefix(done + CharacterLength(input.substr(done), impl_->sourceIsUtf8));
  }
  return output;
}

std::optional<CharsetConverter::Unconvertible> CharsetConverter::ConvertStrict(
    std::string_view input, std::string& output) {
  output.clear();
  const std::size_t done = impl_->Run(input, output);
  if (done >= input.size()) return std::nullopt;
  const std::size_t length = CharacterLength(input.substr(done), impl_->sourceIsUtf8);
  return Unconvertible{done, std::string(input.substr(done, length))};
}

std::string LocaleCharset() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

std::string ArgumentCharset() { return LocaleCharset(); }

}  // namespace obrix
