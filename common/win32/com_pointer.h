// The owner of one reference to a COM object: released exactly once, when
// the owner is reset or goes out of scope; movable, not copyable.
#pragma once

#include <windows.h>
// after windows.h
#include <unknwn.h>

#include <utility>

namespace common {

template <typename Interface>
class ComPointer {
 public:
  ComPointer() = default;
  ~ComPointer() { Reset(); }
  ComPointer(ComPointer&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPointer& operator=(ComPointer&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;

  Interface* Get() const noexcept { return object_; }
  Interface* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  void Reset() noexcept {
    if (Interface* old = std::exchange(object_, nullptr)) old->Release();
  }
  // For a function that hands out a reference through a void** (creation,
  // QueryInterface): what was held is released first.
  void** Receive() noexcept {
    Reset();
    return reinterpret_cast<void**>(&object_);
  }
  // Another interface of the same object; empty when it has none.
  template <typename Other>
  ComPointer<Other> As() const {
    ComPointer<Other> other;
    if (object_ != nullptr) object_->QueryInterface(__uuidof(Other), other.Receive());
    return other;
  }

 private:
  Interface* object_ = nullptr;
};

}  // namespace common
