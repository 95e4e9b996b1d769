// The simulated module keeps the PKCS#11 rules that token access relies on, and its world
// and counters read the same from the module and from the simulator's typed interface.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "tests/win/tokensim_driver.h"
#include "token/pkcs11.h"
#include "token/token_wait.h"

namespace tessard::testing {
namespace {

using tokensim::Entry;

class ModuleRules : public ::testing::Test {
 protected:
  void SetUp() override {
    UseOwnSimulatorWorld();
    module_.reset(::LoadLibraryW(L"tokensim.dll"));
    ASSERT_TRUE(module_);
    auto getList = reinterpret_cast<CK_RV (*)(CK_FUNCTION_LIST**)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "C_GetFunctionList")));
    ASSERT_NE(getList, nullptr);
    ASSERT_EQ(getList(&f_), CKR_OK);
    ASSERT_EQ(AuxList(&aux_), CKR_OK);
    wait_ = WaitEntryOf(aux_);
    ASSERT_NE(wait_, nullptr);
    ASSERT_EQ(f_->C_Initialize(nullptr), CKR_OK);
  }
  void TearDown() override {
    f_->C_Finalize(nullptr);
    EXPECT_EQ(tokensim::OpenSessions(), 0);
  }

  CK_RV AuxList(const void** list) const {
    auto getAux = reinterpret_cast<CK_RV (*)(const void**)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "E_GetAuxFunctionList")));
    return getAux != nullptr ? getAux(list) : CKR_FUNCTION_FAILED;
  }

  CK_SESSION_HANDLE OpenOn(CK_SLOT_ID slot) {
    CK_SESSION_HANDLE session = 0;
    EXPECT_EQ(f_->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
    return session;
  }

  std::vector<CK_OBJECT_HANDLE> Find(CK_SESSION_HANDLE session, std::vector<CK_ATTRIBUTE> templ) {
    EXPECT_EQ(f_->C_FindObjectsInit(session, templ.data(), static_cast<CK_ULONG>(templ.size())), CKR_OK);
    std::vector<CK_OBJECT_HANDLE> found;
    CK_OBJECT_HANDLE object = 0;
    CK_ULONG count = 0;
    while (f_->C_FindObjects(session, &object, 1, &count) == CKR_OK && count == 1) found.push_back(object);
    EXPECT_EQ(f_->C_FindObjectsFinal(session), CKR_OK);
    return found;
  }

  UniqueModule module_;
  CK_FUNCTION_LIST* f_ = nullptr;
  const void* aux_ = nullptr;
  WaitForTokenEventEntry wait_ = nullptr;
};

TEST_F(ModuleRules, AttributesAreReadInTwoCallsAndMissingOnesAreMarked) {
  Sim(tokensim::Insert({.slot = 1,
                        .certificates = {{.der = TestCertificate("user.pem"), .container = "c1", .id = {0x0a, 0x0b}},
                                         {.der = TestCertificate("ca.pem"), .hasContainer = false}}}));
  CK_SESSION_HANDLE session = OpenOn(1);
  CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
  std::vector<CK_OBJECT_HANDLE> certs = Find(session, {{CKA_CLASS, &cls, sizeof cls}});
  ASSERT_EQ(certs.size(), 2u);

  CK_ATTRIBUTE lengths[] = {{CKA_ID, nullptr, 0}, {CKA_VALUE, nullptr, 0}, {CKA_VENDOR_CONTAINER_NAME, nullptr, 0}};
  ASSERT_EQ(f_->C_GetAttributeValue(session, certs[0], lengths, 3), CKR_OK);
  EXPECT_EQ(lengths[0].ulValueLen, 2u);
  EXPECT_EQ(lengths[1].ulValueLen, 446u);  // user.der
  EXPECT_EQ(lengths[2].ulValueLen, 2u);

  char small[1];
  CK_ATTRIBUTE tooSmall[] = {{CKA_VENDOR_CONTAINER_NAME, small, sizeof small}};
  EXPECT_EQ(f_->C_GetAttributeValue(session, certs[0], tooSmall, 1), CKR_BUFFER_TOO_SMALL);
  EXPECT_EQ(tooSmall[0].ulValueLen, CK_UNAVAILABLE_INFORMATION);

  char name[3] = {};
  CK_ATTRIBUTE enough[] = {{CKA_VENDOR_CONTAINER_NAME, name, 2}};
  EXPECT_EQ(f_->C_GetAttributeValue(session, certs[0], enough, 1), CKR_OK);
  EXPECT_STREQ(name, "c1");

  CK_ATTRIBUTE missing[] = {{CKA_ID, nullptr, 0}, {CKA_VENDOR_CONTAINER_NAME, nullptr, 0}};
  EXPECT_EQ(f_->C_GetAttributeValue(session, certs[1], missing, 2), CKR_ATTRIBUTE_TYPE_INVALID);
  EXPECT_NE(missing[0].ulValueLen, CK_UNAVAILABLE_INFORMATION);
  EXPECT_EQ(missing[1].ulValueLen, CK_UNAVAILABLE_INFORMATION);
  EXPECT_EQ(f_->C_CloseSession(session), CKR_OK);
}

TEST_F(ModuleRules, SearchesMatchEveryAttributeOfTheTemplate) {
  Sim(tokensim::Insert({.slot = 2,
                        .certificates = {{.der = TestCertificate("user.pem"), .key = true, .id = {1}, .encrypt = false},
                                         {.der = TestCertificate("ca.pem"), .key = true, .id = {2}}}}));
  CK_SESSION_HANDLE session = OpenOn(2);
  CK_OBJECT_CLASS keyClass = CKO_PUBLIC_KEY;
  CK_BYTE id = 2;
  std::vector<CK_OBJECT_HANDLE> keys = Find(session, {{CKA_CLASS, &keyClass, sizeof keyClass}, {CKA_ID, &id, 1}});
  ASSERT_EQ(keys.size(), 1u);
  CK_KEY_TYPE type = 0;
  CK_BBOOL encrypt = CK_FALSE;
  CK_ATTRIBUTE read[] = {{CKA_KEY_TYPE, &type, sizeof type}, {CKA_ENCRYPT, &encrypt, sizeof encrypt}};
  EXPECT_EQ(f_->C_GetAttributeValue(session, keys[0], read, 2), CKR_OK);
  EXPECT_EQ(type, CKK_RSA);
  EXPECT_EQ(encrypt, CK_TRUE);

  id = 1;
  keys = Find(session, {{CKA_CLASS, &keyClass, sizeof keyClass}, {CKA_ID, &id, 1}});
  ASSERT_EQ(keys.size(), 1u);
  CK_ATTRIBUTE modulus[] = {{CKA_MODULUS, nullptr, 0}, {CKA_ENCRYPT, &encrypt, sizeof encrypt}};
  EXPECT_EQ(f_->C_GetAttributeValue(session, keys[0], modulus, 2), CKR_OK);
  EXPECT_EQ(modulus[0].ulValueLen, 128u);  // 1024-bit test key
  EXPECT_EQ(encrypt, CK_FALSE);
  EXPECT_EQ(f_->C_CloseSession(session), CKR_OK);
}

TEST_F(ModuleRules, SessionsAreCountedWhereEveryProcessReadsThem) {
  Sim(tokensim::Insert({.slot = 3}));
  CK_SESSION_HANDLE first = OpenOn(3);
  CK_SESSION_HANDLE second = OpenOn(3);
  EXPECT_EQ(tokensim::OpenSessions(), 2);
  EXPECT_EQ(f_->C_CloseSession(first), CKR_OK);
  EXPECT_EQ(f_->C_CloseSession(first), CKR_SESSION_HANDLE_INVALID);
  EXPECT_EQ(tokensim::OpenSessions(), 1);
  EXPECT_EQ(f_->C_CloseSession(second), CKR_OK);
}

TEST_F(ModuleRules, SlotAndTokenInformationFollowTheWorld) {
  Sim(tokensim::Insert({.slot = 4, .reader = "Reader  with  gaps", .initialized = false}));
  CK_SLOT_INFO slot = {};
  ASSERT_EQ(f_->C_GetSlotInfo(4, &slot), CKR_OK);
  std::string description(reinterpret_cast<const char*>(slot.slotDescription), 64);
  EXPECT_EQ(description, "Reader  with  gaps" + std::string(46, ' '));
  EXPECT_NE(slot.flags & CKF_TOKEN_PRESENT, 0u);
  CK_TOKEN_INFO token = {};
  ASSERT_EQ(f_->C_GetTokenInfo(4, &token), CKR_OK);
  EXPECT_EQ(token.flags & CKF_TOKEN_INITIALIZED, 0u);

  Sim(tokensim::Remove(4));
  ASSERT_EQ(f_->C_GetSlotInfo(4, &slot), CKR_OK);
  EXPECT_EQ(slot.flags & CKF_TOKEN_PRESENT, 0u);
  CK_ULONG count = 9;
  EXPECT_EQ(f_->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(f_->C_GetSlotInfo(99, &slot), CKR_SLOT_ID_INVALID);
  EXPECT_EQ(tokensim::Remove(4), tokensim::Outcome::kNoToken);
}

TEST_F(ModuleRules, ArmedFailuresCountCallsAndRunOut) {
  Sim(tokensim::Insert({.slot = 5}));
  Sim(tokensim::Fail(Entry::C_GetTokenInfo, CKR_DEVICE_REMOVED, 1, 2));
  CK_TOKEN_INFO token = {};
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_OK);
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_DEVICE_REMOVED);
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_DEVICE_REMOVED);
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_OK);
  EXPECT_TRUE(tokensim::World().failures.empty()) << "the module's countdown did not reach the world";
}

TEST_F(ModuleRules, CallsAreCountedForEveryEntryUntilReset) {
  tokensim::CallCounts before = tokensim::Calls();
  EXPECT_EQ(before[static_cast<size_t>(Entry::C_Initialize)], 1);
  EXPECT_EQ(before[static_cast<size_t>(Entry::E_GetAuxFunctionList)], 1);
  CK_ULONG count = 0;
  EXPECT_EQ(f_->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
  EXPECT_EQ(f_->C_GetSlotList(CK_FALSE, nullptr, nullptr), CKR_ARGUMENTS_BAD);
  EXPECT_EQ(f_->C_Login(0, CKU_USER, nullptr, 0), CKR_FUNCTION_NOT_SUPPORTED);
  tokensim::CallCounts after = tokensim::Calls();
  EXPECT_EQ(after[static_cast<size_t>(Entry::C_GetSlotList)], 2) << "a refused call is a call too";
  EXPECT_EQ(after[static_cast<size_t>(Entry::C_Login)], 1);
  EXPECT_EQ(after[static_cast<size_t>(Entry::C_Logout)], 0);

  tokensim::ResetCalls();
  EXPECT_EQ(tokensim::Calls(), tokensim::CallCounts{});
}

TEST_F(ModuleRules, WaitDeliversEventsOfAnotherProcessAndKeepsUntouchedData) {
  Sim(tokensim::Insert({.slot = 6}));
  Sim(tokensim::Emit(6, 5, 42));
  Sim(tokensim::Emit(6, 7));
  CK_SLOT_ID slot = 0;
  CK_ULONG code = 0, data = 0;
  ASSERT_EQ(wait_(0, &slot, &code, &data, nullptr), CKR_OK);
  EXPECT_EQ(slot, 6u);
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(data, 0u);
  ASSERT_EQ(wait_(0, &slot, &code, &data, nullptr), CKR_OK);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(data, 42u);
  data = 1234;
  ASSERT_EQ(wait_(0, &slot, &code, &data, nullptr), CKR_OK);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(data, 1234u);
  EXPECT_EQ(tokensim::EventsTaken(), 3);
}

TEST_F(ModuleRules, FinalizeFromAnotherThreadEndsAPendingWait) {
  CK_RV result = CKR_OK;
  std::thread waiter([&] {
    CK_SLOT_ID slot = 0;
    CK_ULONG code = 0, data = 0;
    result = wait_(0, &slot, &code, &data, nullptr);
  });
  EXPECT_TRUE(WaitUntil([] { return tokensim::WaitsInProgress() == 1; })) << "the wait never blocked";
  EXPECT_EQ(f_->C_Finalize(nullptr), CKR_OK);
  waiter.join();
  EXPECT_EQ(result, CKR_CRYPTOKI_NOT_INITIALIZED);
  EXPECT_EQ(tokensim::WaitsInProgress(), 0);
  EXPECT_EQ(tokensim::EventsTaken(), 0);
  EXPECT_EQ(f_->C_Initialize(nullptr), CKR_OK);
}

TEST_F(ModuleRules, TheWorldHoldsWhatWasInsertedAndACertificateWithoutItsKeyChangesNothing) {
  std::vector<uint32_t> handles = Sim(tokensim::Insert(
      {.slot = 7,
       .reader = "R7",
       .certificates = {{.der = TestCertificate("user.der"), .key = true, .container = "box", .friendly = "Me"}}}));
  ASSERT_EQ(handles.size(), 2u);
  tokensim::SimState world = tokensim::World();
  const tokensim::SimObject* cert = world.FindObject(7, handles[0]);
  const tokensim::SimObject* key = world.FindObject(7, handles[1]);
  ASSERT_NE(cert, nullptr);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(cert->friendly, (tokensim::Bytes{'M', 0, 'e', 0, 0, 0}));
  EXPECT_EQ(key->objectClass, CKO_PUBLIC_KEY);
  const std::string defaultId = "tokensim-" + std::to_string(handles[0]);
  EXPECT_EQ(key->id, tokensim::Bytes(defaultId.begin(), defaultId.end())) << "a key shares its certificate's id";
  EXPECT_EQ(key->container, (tokensim::Bytes{'b', 'o', 'x'}));

  const tokensim::Bytes notACertificate{0x30, 0x03, 0x02, 0x01, 0x00};
  EXPECT_EQ(tokensim::Insert({.slot = 8, .certificates = {{.der = notACertificate, .key = true}}}).outcome,
            tokensim::Outcome::kNotRsa);
  EXPECT_EQ(tokensim::World().FindSlot(8), nullptr);
}

TEST_F(ModuleRules, TheAuxiliaryListCanLoseItsWaitEntry) {
  Sim(tokensim::Shape(false));
  const void* aux = nullptr;
  ASSERT_EQ(AuxList(&aux), CKR_OK);
  EXPECT_EQ(WaitEntryOf(aux), nullptr);
}

}  // namespace
}  // namespace tessard::testing
