#pragma once
// Typed owners for crypt32's stores and certificate contexts, and a range over a store's
// certificates that keeps crypt32's hand-over of the previous context inside itself.

#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/unique_resource.h"

namespace tessard {

inline BOOL CloseCertStore(HCERTSTORE store) { return ::CertCloseStore(store, 0); }

using UniqueCertStore = UniqueResource<HCERTSTORE, &CloseCertStore>;
using UniqueCertContext = UniqueResource<PCCERT_CONTEXT, &::CertFreeCertificateContext>;

// for (PCCERT_CONTEXT cert : StoreCertificates(store)) ... Each step hands the previous
// context back to CertEnumCertificatesInStore, which frees it; leaving the loop early
// frees the current one.
class StoreCertificates {
 public:
  explicit StoreCertificates(HCERTSTORE store) noexcept : store_(store) {}

  class Iterator {
   public:
    Iterator() noexcept = default;
    explicit Iterator(HCERTSTORE store) noexcept : store_(store) { Advance(); }
    Iterator(Iterator&& other) noexcept : store_(other.store_), current_(std::exchange(other.current_, nullptr)) {}
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;
    ~Iterator() {
      if (current_) ::CertFreeCertificateContext(current_);
    }

    PCCERT_CONTEXT operator*() const noexcept { return current_; }
    Iterator& operator++() noexcept {
      Advance();
      return *this;
    }
    bool operator!=(std::nullptr_t) const noexcept { return current_ != nullptr; }

   private:
    void Advance() noexcept { current_ = store_ ? ::CertEnumCertificatesInStore(store_, current_) : nullptr; }

    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT current_ = nullptr;
  };

  Iterator begin() const noexcept { return Iterator(store_); }
  std::nullptr_t end() const noexcept { return nullptr; }

 private:
  HCERTSTORE store_;
};

// Deletes certificates of an open store that were picked during an enumeration. Deleting
// the enumerated context itself, even through a duplicate, can leave the enumeration
// stepping from an unlinked entry (Wine's crypt32 then never ends), so the picks are held
// as duplicates and deleted once the enumeration is over.
class DeferredDeletion {
 public:
  DeferredDeletion() = default;
  DeferredDeletion(const DeferredDeletion&) = delete;
  DeferredDeletion& operator=(const DeferredDeletion&) = delete;
  ~DeferredDeletion() { DeleteAll(); }

  void Pick(PCCERT_CONTEXT enumerated) {
    if (PCCERT_CONTEXT duplicate = ::CertDuplicateCertificateContext(enumerated)) picked_.push_back(duplicate);
  }

  // CertDeleteCertificateFromStore frees the context it is given, whatever its result.
  void DeleteAll() noexcept {
    for (PCCERT_CONTEXT certificate : picked_) ::CertDeleteCertificateFromStore(certificate);
    picked_.clear();
  }

 private:
  std::vector<PCCERT_CONTEXT> picked_;
};

}  // namespace tessard
