#include "app/progress.h"

#include <gtest/gtest.h>

#include <string>

namespace tessard {
namespace {

// One letter per step, in order: S start, T stop, U unregister, N<id> notify, I<id> its item.
std::string Steps(uint32_t code, uint32_t datum = 0) {
  std::string text;
  for (const ProgressStep& step : ProgressStepsOf(code, datum)) {
    switch (step.action) {
      case ProgressAction::StartBusy:
        text += "S ";
        break;
      case ProgressAction::StopBusy:
        text += "T ";
        break;
      case ProgressAction::UnregisterCertificates:
        text += "U ";
        break;
      case ProgressAction::Notify:
        text += "N" + std::to_string(step.text.id) + " ";
        if (step.item) text += "I" + std::to_string(step.item->id) + " ";
        break;
    }
  }
  return text;
}

TEST(ProgressSteps, SaveReportsNameTheItemOfTheirDatumOrOnlyAnimate) {
  EXPECT_EQ(Steps(259, 1), "S N10005 I10004 ");
  EXPECT_EQ(Steps(260, 3), "T N10006 I10003 ");
  EXPECT_EQ(Steps(261, 2), "T N10007 I10002 ");
  for (uint32_t datum : {0u, 4u, 7u}) {
    EXPECT_EQ(Steps(259, datum), "S ") << datum;
    EXPECT_EQ(Steps(260, datum), "T ") << datum;
  }
  // A wiped token's certificates leave once the wipe is announced and the icon is still.
  EXPECT_EQ(Steps(266), "N10012 T U ");
  EXPECT_EQ(Steps(255), "");
  EXPECT_EQ(Steps(271), "");
}

}  // namespace
}  // namespace tessard
