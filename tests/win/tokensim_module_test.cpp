// The simulated module keeps the PKCS#11 rules that token access relies on.

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

class ModuleRules : public ::testing::Test {
 protected:
  void SetUp() override {
    UseOwnSimulatorWorld();
    module_.reset(::LoadLibraryW(L"tokensim.dll"));
    ASSERT_TRUE(module_);
    auto getList = reinterpret_cast<CK_RV (*)(CK_FUNCTION_LIST**)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "C_GetFunctionList")));
    auto getAux = reinterpret_cast<CK_RV (*)(const void**)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "E_GetAuxFunctionList")));
    ASSERT_NE(getList, nullptr);
    ASSERT_NE(getAux, nullptr);
    ASSERT_EQ(getList(&f_), CKR_OK);
    ASSERT_EQ(getAux(&aux_), CKR_OK);
    wait_ = WaitEntryOf(aux_);
    ASSERT_NE(wait_, nullptr);
    ASSERT_EQ(f_->C_Initialize(nullptr), CKR_OK);
  }
  void TearDown() override {
    f_->C_Finalize(nullptr);
    EXPECT_EQ(OpenSessions(), 0);
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
  Sim("insert --slot 1 --cert " + TestCertificate("user.pem") + " --container c1 --id 0a0b" + " --cert " +
      TestCertificate("ca.pem") + " --no-container");
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
  Sim("insert --slot 2 --cert " + TestCertificate("user.pem") + " --key --id 01 --encrypt 0 --cert " +
      TestCertificate("ca.pem") + " --key --id 02");
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

TEST_F(ModuleRules, SessionsAreCountedAcrossProcesses) {
  Sim("insert --slot 3");
  CK_SESSION_HANDLE first = OpenOn(3);
  CK_SESSION_HANDLE second = OpenOn(3);
  EXPECT_EQ(OpenSessions(), 2);
  EXPECT_EQ(f_->C_CloseSession(first), CKR_OK);
  EXPECT_EQ(f_->C_CloseSession(first), CKR_SESSION_HANDLE_INVALID);
  EXPECT_EQ(OpenSessions(), 1);
  EXPECT_EQ(f_->C_CloseSession(second), CKR_OK);
}

TEST_F(ModuleRules, SlotAndTokenInformationFollowTheWorld) {
  Sim("insert --slot 4 --reader \"Reader  with  gaps\" --uninitialized");
  CK_SLOT_INFO slot = {};
  ASSERT_EQ(f_->C_GetSlotInfo(4, &slot), CKR_OK);
  std::string description(reinterpret_cast<const char*>(slot.slotDescription), 64);
  EXPECT_EQ(description, "Reader  with  gaps" + std::string(46, ' '));
  EXPECT_NE(slot.flags & CKF_TOKEN_PRESENT, 0u);
  CK_TOKEN_INFO token = {};
  ASSERT_EQ(f_->C_GetTokenInfo(4, &token), CKR_OK);
  EXPECT_EQ(token.flags & CKF_TOKEN_INITIALIZED, 0u);

  Sim("remove --slot 4");
  ASSERT_EQ(f_->C_GetSlotInfo(4, &slot), CKR_OK);
  EXPECT_EQ(slot.flags & CKF_TOKEN_PRESENT, 0u);
  CK_ULONG count = 9;
  EXPECT_EQ(f_->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(f_->C_GetSlotInfo(99, &slot), CKR_SLOT_ID_INVALID);
}

TEST_F(ModuleRules, ArmedFailuresCountCallsAndRunOut) {
  Sim("insert --slot 5");
  Sim("fail --call C_GetTokenInfo --rv 32 --after 1 --times 2");
  CK_TOKEN_INFO token = {};
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_OK);
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_DEVICE_REMOVED);
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_DEVICE_REMOVED);
  EXPECT_EQ(f_->C_GetTokenInfo(5, &token), CKR_OK);
}

TEST_F(ModuleRules, WaitDeliversEventsOfAnotherProcessAndKeepsUntouchedData) {
  Sim("insert --slot 6");
  Sim("event --slot 6 --code 5 --data 42");
  Sim("event --slot 6 --code 7");
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
}

TEST_F(ModuleRules, FinalizeFromAnotherThreadEndsAPendingWait) {
  CK_RV result = CKR_OK;
  std::thread waiter([&] {
    CK_SLOT_ID slot = 0;
    CK_ULONG code = 0, data = 0;
    result = wait_(0, &slot, &code, &data, nullptr);
  });
  ::Sleep(200);
  EXPECT_EQ(f_->C_Finalize(nullptr), CKR_OK);
  waiter.join();
  EXPECT_EQ(result, CKR_CRYPTOKI_NOT_INITIALIZED);
  EXPECT_EQ(f_->C_Initialize(nullptr), CKR_OK);
}

TEST_F(ModuleRules, ListShowsObjectsAndTheAuxiliaryListCanLoseItsWaitEntry) {
  Sim("insert --slot 7 --reader R7 --cert " + TestCertificate("user.der") + " --key --container box --id 0c " +
      "--friendly Me");
  TokensimRun run = Tokensim("list --slot 7");
  EXPECT_NE(run.output.find("slot 7 present initialized reader \"R7\""), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("certificate container \"box\" id 0c friendly \"Me\""), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("public-key container \"box\" id 0c encrypt 1"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("sessions 0"), std::string::npos) << run.output;

  EXPECT_NE(Tokensim("insert --slot 8 --cert " + TestCertificate("missing.pem")).exitCode, 0u);
  EXPECT_EQ(Tokensim("list --slot 8").output.find("slot 8"), std::string::npos);

  Sim("shape --aux-wait 0");
  auto getAux = reinterpret_cast<CK_RV (*)(const void**)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), "E_GetAuxFunctionList")));
  const void* aux = nullptr;
  ASSERT_EQ(getAux(&aux), CKR_OK);
  EXPECT_EQ(WaitEntryOf(aux), nullptr);
}

}  // namespace
}  // namespace tessard::testing
