#include "localisation/host_text_convert.h"

namespace tessard {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The length of the sequence a lead byte announces, 0 for a byte that cannot lead.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Decodes one sequence at `at`; advances by the bytes used (at least one).
char32_t DecodeUtf8(std::string_view bytes, size_t& at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const size_t length = SequenceLength(lead);
  if (length == 0 || at + length > bytes.size()) {
    ++at;
    return kReplacement;
  }
  char32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[at + i]);
    if ((next & 0xC0) != 0x80) {
      at += i;
      return kReplacement;
    }
    code = code << 6 | (next & 0x3F);
  }
  at += length;
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
  return code;
}

// UTF-16 code units even where wchar_t is wider, as the program sees text on Windows.
void AppendUtf16(std::wstring& text, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    text += static_cast<wchar_t>(0xD800 + (code >> 10));
    text += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    return;
  }
  text += static_cast<wchar_t>(code);
}

}  // namespace

std::wstring HostToWide(std::string_view bytes, unsigned codePage) {
  std::wstring text;
  text.reserve(bytes.size());
  if (codePage == 65001) {
    for (size_t at = 0; at < bytes.size();) AppendUtf16(text, DecodeUtf8(bytes, at));
  } else {
    for (const char byte : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
  }
  return text.substr(0, text.find(L'\0'));
}

}  // namespace tessard
