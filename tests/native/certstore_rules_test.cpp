// The platform-free decisions of certificate registration: the RSA modulus reader, the
// rules that pick "MY" entries to delete, the expiry limit and ATR matching.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "certstore/certificate_encoding.h"
#include "certstore/expiry_rules.h"
#include "certstore/removal_rules.h"
#include "certstore/rsa_modulus.h"
#include "token/atr_match.h"

namespace tessard {
namespace {

using Bytes = std::vector<std::uint8_t>;

// DER length octets: short form below 0x80, else the fewest big-endian bytes.
Bytes Length(std::size_t n) {
  if (n < 0x80) return {static_cast<std::uint8_t>(n)};
  if (n <= 0xFF) return {0x81, static_cast<std::uint8_t>(n)};
  return {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

Bytes Tagged(std::uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  const Bytes length = Length(content.size());
  out.insert(out.end(), length.begin(), length.end());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Pattern(std::size_t n, std::uint8_t first) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(first + i * 7);
  return out;
}

Bytes RsaPublicKey(const Bytes& modulusContent) {
  return Tagged(0x30, Concat(Tagged(0x02, modulusContent), Tagged(0x02, {0x01, 0x00, 0x01})));
}

TEST(RsaModulus, ReadsModuliOfEverySizeAndDropsOneLeadingZero) {
  for (std::size_t bits : {512u, 1024u, 2048u, 4096u}) {
    const Bytes modulus = Pattern(bits / 8, 0xC1);
    EXPECT_EQ(ReadRsaModulus(RsaPublicKey(Concat({0x00}, modulus))), modulus) << bits;
  }
  const Bytes small = Pattern(16, 0x11);
  EXPECT_EQ(ReadRsaModulus(RsaPublicKey(small)), small);
}

TEST(RsaModulus, RefusesKeysThatAreNotAnRsaSequence) {
  // An EC key's bits are an uncompressed point, 0x04 first.
  EXPECT_FALSE(ReadRsaModulus(Concat({0x04}, Pattern(64, 1))));
  EXPECT_FALSE(ReadRsaModulus(Tagged(0x30, Tagged(0x04, Pattern(8, 1)))));
  EXPECT_FALSE(ReadRsaModulus(Bytes{}));
  EXPECT_FALSE(ReadRsaModulus(Bytes{0x30}));
}

TEST(RsaModulus, NeverFollowsALengthPastTheEnd) {
  const Bytes key = RsaPublicKey(Concat({0x00}, Pattern(256, 0x80)));
  for (std::size_t cut = 0; cut < key.size(); ++cut) {
    const Bytes truncated(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(cut));
    // Cut inside the modulus: nothing; cut only in the exponent: the modulus is whole.
    const auto modulus = ReadRsaModulus(truncated);
    if (modulus) {
      EXPECT_EQ(modulus->size(), 256u) << cut;
    }
  }
  // INTEGER claiming 0xFFFF bytes with two length bytes, and a SEQUENCE header longer than the input.
  EXPECT_FALSE(ReadRsaModulus(Bytes{0x30, 0x82, 0x00, 0x08, 0x02, 0x82, 0xFF, 0xFF, 0x01, 0x02}));
  EXPECT_FALSE(ReadRsaModulus(Bytes{0x30, 0x84, 0x00, 0x00}));
}

TEST(RsaModulus, RefusesThreeLengthBytes) {
  const Bytes content = Pattern(300, 3);
  Bytes integer{0x02, 0x83, 0x00, 0x01, 0x2C};
  integer = Concat(integer, content);
  EXPECT_FALSE(ReadRsaModulus(Tagged(0x30, integer)));
}

TEST(RemovalRules, ContainerPathIsBoundedAt260Characters) {
  EXPECT_EQ(BuildContainerPath(L"Reader 0", L"c1"), L"\\\\.\\Reader 0\\c1");
  // 4 + reader + 1 + container: 259 still fits, 260 does not.
  EXPECT_TRUE(BuildContainerPath(std::wstring(250, L'r'), L"cccc"));
  EXPECT_FALSE(BuildContainerPath(std::wstring(250, L'r'), L"ccccc"));
}

const Registration kOurs{{L"SN01", L"\\\\.\\Reader; key 0\\c1", L"Orvane-CA CSP V3.0"},
                         {L"Orvane-CA CSP V3.0", L"c1", 2}};

PersonalEntry AsWritten(const Registration& registration) {
  return {OwnershipMark(registration.owner), registration.keyProvider};
}

TEST(RemovalRules, TheMarkNamesTheTokenTheKeyAndTheProviderAndReadsBack) {
  EXPECT_EQ(OwnershipMark(kOurs.owner),
            L"Tessard; token SN01; key \\\\.\\Reader; key 0\\c1; provider Orvane-CA CSP V3.0");
  EXPECT_EQ(ReadOwnershipMark(OwnershipMark(kOurs.owner)), kOurs.owner);
  for (const wchar_t* other :
       {L"", L"Tessard", L"Tessard; token SN01", L"Written by Tessard; token 1; key k; provider p"}) {
    EXPECT_FALSE(ReadOwnershipMark(other)) << other;
  }
}

// Only an entry still as Tessard wrote it goes: the mark of this token and key, and the same
// key-provider information; a purge, without records, checks the information against the mark.
TEST(RemovalRules, AnEntryGoesOnlyAsTessardWroteIt) {
  EXPECT_TRUE(WrittenBy(AsWritten(kOurs), kOurs));
  EXPECT_TRUE(MarkedAsWritten(AsWritten(kOurs)));
  Registration otherToken = kOurs;
  otherToken.owner.serialNumber = L"SN02";
  EXPECT_FALSE(WrittenBy(AsWritten(otherToken), kOurs));
  EXPECT_TRUE(MarkedAsWritten(AsWritten(otherToken)));
  for (const KeyProviderEntry& changed :
       {KeyProviderEntry{L"Microsoft Smart Card Key Storage Provider", L"c1", 2},
        KeyProviderEntry{L"Orvane-CA CSP V3.0", L"c2", 2}, KeyProviderEntry{L"Orvane-CA CSP V3.0", L"1", 2}}) {
    const PersonalEntry taken{OwnershipMark(kOurs.owner), changed};
    EXPECT_FALSE(WrittenBy(taken, kOurs)) << changed.providerName << changed.containerName;
    EXPECT_FALSE(MarkedAsWritten(taken)) << changed.providerName << changed.containerName;
  }
  EXPECT_FALSE(WrittenBy({std::nullopt, kOurs.keyProvider}, kOurs)) << "no mark";
  EXPECT_FALSE(MarkedAsWritten({L"a description of the user's", kOurs.keyProvider}));
}

TEST(RemovalRules, EarlierVersionsLeftUnmarkedEntriesOfTheProductsProvider) {
  const wchar_t kProduct[] = L"Orvane-CA CSP V3.0";
  EXPECT_TRUE(LeftByEarlierVersion({std::nullopt, KeyProviderEntry{L"orvane-ca csp v3.0", L"c", 1}}, kProduct));
  EXPECT_TRUE(LeftByEarlierVersion({L"the user's", KeyProviderEntry{kProduct, L"c", 1}}, kProduct));
  EXPECT_FALSE(LeftByEarlierVersion(AsWritten(kOurs), kProduct)) << "marked: the mark decides";
  EXPECT_FALSE(LeftByEarlierVersion(
      {std::nullopt, KeyProviderEntry{L"Microsoft Base Smart Card Crypto Provider", L"c", 1}}, kProduct));
}

// Under the base smart-card provider the system's key storage entries of the token's
// container go too; a container that is only part of the path is another program's.
TEST(RemovalRules, TheSystemsKeyStorageEntriesOfTheKeyGoUnderTheBaseProvider) {
  Registration base = kOurs;
  base.keyProvider.providerName = base.owner.providerName = L"Microsoft Base Smart Card Crypto Provider";
  const wchar_t kStorage[] = L"Microsoft Smart Card Key Storage Provider";
  EXPECT_TRUE(MadeBySystemForKey({kStorage, L"c1", 1}, base));
  EXPECT_TRUE(MadeBySystemForKey({kStorage, base.owner.containerPath, 1}, base));
  EXPECT_FALSE(MadeBySystemForKey({kStorage, L"c1", 1}, kOurs)) << "not under the base provider";
  for (const wchar_t* other : {L"Reader", L"0", L"c", L"", L"Reader; key 0\\c1"}) {
    EXPECT_FALSE(MadeBySystemForKey({kStorage, other, 1}, base)) << other;
  }
}

constexpr std::uint64_t kDay = 86'400ull * 10'000'000ull;

TEST(ExpiryRules, LimitIsNowPlusWholeDaysInUtc) {
  const std::uint64_t now = 133'000'000'000'000'000ull;
  EXPECT_EQ(ExpiryLimit(now, 0), now);
  EXPECT_EQ(ExpiryLimit(now, 30), now + 30 * kDay);
  EXPECT_FALSE(ExpiryLimit(now, -1));
  EXPECT_EQ(ExpiryLimit(now, 2'000'000'000), std::numeric_limits<std::uint64_t>::max()) << "saturates";
}

TEST(ExpiryRules, NotAfterAtTheLimitCounts) {
  const std::uint64_t limit = *ExpiryLimit(133'000'000'000'000'000ull, 0);
  EXPECT_TRUE(ExpiresBy(limit, limit));
  EXPECT_TRUE(ExpiresBy(limit - 1, limit));
  EXPECT_FALSE(ExpiresBy(limit + 1, limit));
}

TEST(AtrMatch, MaskDecidesWhichBytesMustBeEqual) {
  const Bytes card{0x3B, 0x8F, 0x80, 0x01, 0x80};
  EXPECT_TRUE(MatchAtr(card, card, Bytes(5, 0xFF)));
  EXPECT_FALSE(MatchAtr(Bytes{0x3B, 0x8F, 0x80, 0x01, 0x81}, card, Bytes(5, 0xFF)));
  EXPECT_TRUE(MatchAtr(Bytes{0x3B, 0x8F, 0x00, 0x00, 0x80}, card, Bytes{0xFF, 0xFF, 0x00, 0x00, 0xFF}));
  EXPECT_TRUE(MatchAtr(Bytes(5, 0), card, Bytes(5, 0)));
  EXPECT_FALSE(MatchAtr(card, card, Bytes(5, 0)));
}

TEST(AtrMatch, ShortMaskCountsAsZeroAndLengthsMustAgree) {
  const Bytes card{0x3B, 0x8F, 0x80, 0x01};
  EXPECT_TRUE(MatchAtr(Bytes{0x3B, 0x8F, 0x00, 0x00}, card, Bytes{0xFF, 0xFF}));
  EXPECT_FALSE(MatchAtr(card, card, Bytes{0xFF, 0xFF}));
  EXPECT_FALSE(MatchAtr(Bytes{0x3B, 0x8F, 0x80}, card, Bytes(4, 0xFF))) << "prefix of another length";
}

TEST(AtrMatch, LongAtrsAreComparedInFullUpTo36Bytes) {
  Bytes card = Pattern(36, 0x3B);
  EXPECT_TRUE(MatchAtr(card, card, Bytes(36, 0xFF)));
  Bytes other = card;
  other[35] ^= 1;
  EXPECT_FALSE(MatchAtr(other, card, Bytes(36, 0xFF)));
  card.push_back(0);
  EXPECT_FALSE(MatchAtr(card, card, Bytes(37, 0xFF)));
}

TEST(RsaModulus, BitsCountFromTheFirstSetBit) {
  EXPECT_EQ(RsaModulusBits(Bytes{0x05}), 3u) << "a one-byte modulus";
  EXPECT_EQ(RsaModulusBits(Concat({0x80}, Pattern(63, 1))), 512u);
  EXPECT_EQ(RsaModulusBits(Concat({0x00, 0x7F}, Pattern(63, 1))), 511u) << "leading zeros do not count";
  EXPECT_EQ(RsaModulusBits(Bytes{}), 0u);
  EXPECT_EQ(RsaModulusBits(Bytes{0, 0}), 0u);
}

TEST(CertificateEncoding, EndsWhereTheOuterSequenceEnds) {
  const Bytes certificate = Tagged(0x30, Pattern(300, 3));
  const Bytes trailed = Concat(certificate, Pattern(71, 9));
  const auto own = CertificateEncoding(trailed);
  ASSERT_TRUE(own);
  EXPECT_EQ(Bytes(own->begin(), own->end()), certificate) << "the 71 bytes after it are no part of it";
  EXPECT_EQ(CertificateEncoding(certificate)->size(), certificate.size());
}

TEST(CertificateEncoding, RefusesIndefiniteOverlongAndShortLengths) {
  EXPECT_FALSE(CertificateEncoding(Bytes{0x30, 0x80, 0x02, 0x01, 0x00, 0x00, 0x00})) << "indefinite length";
  EXPECT_FALSE(CertificateEncoding(Bytes{0x30, 0x85, 0, 0, 0, 0, 1, 0})) << "five length octets";
  EXPECT_FALSE(CertificateEncoding(Concat({0x30, 0x82, 0x00, 0x04}, Pattern(4, 1)))) << "a leading zero length octet";
  EXPECT_FALSE(CertificateEncoding(Concat({0x30, 0x81, 0x04}, Pattern(4, 1)))) << "long form for a short length";
  EXPECT_FALSE(CertificateEncoding(Bytes{0x30, 0x82, 0x01})) << "length octets cut off";
  EXPECT_FALSE(CertificateEncoding(Concat({0x30, 0x82, 0x01, 0x00}, Pattern(255, 1)))) << "content cut off";
  EXPECT_FALSE(CertificateEncoding(Tagged(0x31, Pattern(4, 1)))) << "not a SEQUENCE";
  EXPECT_FALSE(CertificateEncoding(Bytes{}));
  EXPECT_FALSE(CertificateEncoding(Bytes{0x30}));
}

TEST(CertificateEncoding, FourLengthOctetsThatPassTheInputAreRefusedWithoutWrapping) {
  EXPECT_FALSE(CertificateEncoding(Bytes{0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
  EXPECT_FALSE(DerElementLength(Bytes{0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFA}));
}

}  // namespace
}  // namespace tessard
