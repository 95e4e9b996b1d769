#pragma once
// The texts the program shows: each string id of the language files named once, with its
// English text, which serves when no language file is in force or the file lacks the id.
// Free of <windows.h>.

namespace tessard {

struct TextId {
  int id;
  const wchar_t* english;
};

namespace text {

inline constexpr TextId kOk{1, L"OK"};
inline constexpr TextId kTokenInserted{10000, L"Orvane-CA Token is inserted!"};
inline constexpr TextId kTokenRemoved{10001, L"Orvane-CA Token is removed!"};
inline constexpr TextId kPublicKey{10002, L"Public Key"};
inline constexpr TextId kPrivateKey{10003, L"Private Key"};
inline constexpr TextId kCertificate{10004, L"Certificate"};
inline constexpr TextId kSaving{10005, L"Saving %s, please wait..."};
inline constexpr TextId kSaved{10006, L"%s is saved successfully!"};
inline constexpr TextId kSaveFailed{10007, L"Failed to save %s!"};
inline constexpr TextId kGeneratingKeyPair{10008, L"Generating key pair, please wait..."};
inline constexpr TextId kKeyPairGenerated{10009, L"Generated key pair successfully!"};
inline constexpr TextId kKeyPairFailed{10010, L"Failed to generated key pair!"};
inline constexpr TextId kLowLevelInitialising{10011, L"Low level initializing the USBKey, please wait..."};
inline constexpr TextId kLowLevelInitialised{10012, L"USBKey is Low level initialized successfully!"};
inline constexpr TextId kLowLevelInitFailed{10013, L"Failed to low loevel initialize USBKey!"};
inline constexpr TextId kInitialising{10014, L"initializing the USBKey, please wait..."};
inline constexpr TextId kInitialised{10015, L"USBKey is initialized successfully!"};
inline constexpr TextId kInitFailed{10016, L"Failed to initialize USBKey!"};
inline constexpr TextId kCertificateExpires{
    10019, L"One certificate or more in the token is to be expired(or already expired). Please remember to update."};
inline constexpr TextId kManager{11000, L"Manager"};
inline constexpr TextId kModuleFailed{11001, L"Failed to load PKCS#11 library, please check your installation"};
inline constexpr TextId kMonitorFailed{11002,
                                       L"Can not start USBKey monitor, the certificate register works unperfectly"};
inline constexpr TextId kCaptionFormat{11003, L"%s"};
inline constexpr TextId kEnglish{11111, L"English"};
inline constexpr TextId kVietnamese{11112, L"Vietnamese"};
inline constexpr TextId kLanguageSwitched{
    11113, L"Switch the language successfully!You need to restart your computer to complete this operation."};
inline constexpr TextId kLanguageSwitchFailed{11114, L"Switch the language failure"};
inline constexpr TextId kCache{11115, L"Cache"};
inline constexpr TextId kNonCache{11116, L"NonCache"};
inline constexpr TextId kCacheSwitchFailed{11117, L"Change Cache option failed"};
inline constexpr TextId kCacheSwitched{
    11118, L"Switch the Cache option successfully!You need to restart your computer to complete this operation."};

}  // namespace text
}  // namespace tessard
