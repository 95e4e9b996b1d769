#include "app/progress.h"

namespace tessard {

namespace {

constexpr ProgressStep kStart{ProgressAction::StartBusy, {}, std::nullopt};
constexpr ProgressStep kStop{ProgressAction::StopBusy, {}, std::nullopt};
constexpr ProgressStep kUnregister{ProgressAction::UnregisterCertificates, {}, std::nullopt};

constexpr ProgressStep Notify(const TextId& text) { return {ProgressAction::Notify, text, std::nullopt}; }

std::optional<TextId> SavedItem(uint32_t datum) {
  switch (datum) {
    case 1:
      return text::kCertificate;
    case 2:
      return text::kPublicKey;
    case 3:
      return text::kPrivateKey;
    default:
      return std::nullopt;
  }
}

// The animation step, then the notification of the saved item when the datum names one.
std::vector<ProgressStep> SaveSteps(const ProgressStep& animation, const TextId& pattern, uint32_t datum) {
  std::vector<ProgressStep> steps{animation};
  if (const std::optional<TextId> item = SavedItem(datum)) steps.push_back({ProgressAction::Notify, pattern, item});
  return steps;
}

}  // namespace

std::vector<ProgressStep> ProgressStepsOf(uint32_t code, uint32_t datum) {
  switch (code) {
    case 256:
      return {kStart};
    case 257:
      return {kStop};
    case 258:
      return {};
    case 259:
      return SaveSteps(kStart, text::kSaving, datum);
    case 260:
      return SaveSteps(kStop, text::kSaved, datum);
    case 261:
      return SaveSteps(kStop, text::kSaveFailed, datum);
    case 262:
      return {kStart, Notify(text::kGeneratingKeyPair)};
    case 263:
      return {Notify(text::kKeyPairGenerated), kStop};
    case 264:
      return {Notify(text::kKeyPairFailed), kStop};
    case 265:
      return {kStart, Notify(text::kLowLevelInitialising)};
    case 266:
      return {Notify(text::kLowLevelInitialised), kStop, kUnregister};
    case 267:
      return {Notify(text::kLowLevelInitFailed), kStop, kUnregister};
    case 268:
      return {kStart, Notify(text::kInitialising)};
    case 269:
      return {Notify(text::kInitialised), kStop};
    case 270:
      return {Notify(text::kInitFailed), kStop};
    default:
      return {};
  }
}

}  // namespace tessard
