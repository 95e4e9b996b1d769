// Arbitrary bytes as a language file: decoding, parsing, the settings and lookups.

#include <cstddef>
#include <cstdint>
#include <string>

#include "localisation/host_text_convert.h"
#include "localisation/multi_language.h"

namespace {

class BytesAsFile : public zeph::LanguagePlatform {
 public:
  explicit BytesAsFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::optional<std::string> ReadFile(const std::wstring&) override { return bytes_; }
  std::wstring ExecutablePath() override { return L"C:\\Tokens\\tessard.exe"; }
  uint16_t UserDefaultLanguage() override { return 1066; }
  zeph::MultiByteToWide Converter() override { return tessard::HostToWide; }

 private:
  std::string bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytesAsFile platform(std::string(reinterpret_cast<const char*>(data), size));
  zeph::MultiLanguage store(platform);
  for (const int32_t id : {1, 10000, 10019, 11003}) zeph::LocalisedText(store, id, L"english");
  zeph::CurrentLanguageNumber(store);
  store.GetInt(L"FontHeight", -1);
  return 0;
}
