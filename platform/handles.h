// Owners of the handles the platform hands out.
//
// Every handle that an operation of the Platform opens has one owner type
// here, and code above the seam lets handles go only through these owners,
// never by calling the matching close operation itself:
//
//   UniqueFile         OpenFile            -> CloseHandle
//   UniqueKey          RegOpenKey/Create   -> RegCloseKey
//   UniqueLibrary      LoadLibrary         -> FreeLibrary
//   UniqueProcess      CreateProcess       -> CloseHandle
//   UniqueEventSource  RegisterEventSource -> DeregisterEventSource
//   UniqueMapping      CreateSharedMemory  -> CloseHandle
//   UniqueView         MapSharedMemory     -> UnmapSharedMemory
//
// An owner is move-only. It remembers the platform that issued its handle
// (the one in use when the owner was made, or the one given), and closes the
// handle there exactly once: when it is destroyed, reset or assigned over.
// release() gives the handle up without closing it.
//
//   UniqueFile file(os);
//   if (os.OpenFile(path, kGenericRead, kShareRead, Disposition::OpenExisting, file.put()) != kOk) ...;
//   os.ReadFile(file.get(), ...);
//   // closed at the end of the scope, or earlier by file.reset()
#pragma once

#include <utility>

#include "platform/seam.h"

namespace qv::platform {

// A handle with the operation that lets it go. Traits provide `type` (the
// handle's type), `kNone` (the value that means "no handle") and
// `Close(Platform&, type)`.
template <typename Traits>
class UniqueHandle {
 public:
  using type = typename Traits::type;

  // Empty, bound to the platform in use now.
  UniqueHandle() noexcept : platform_(&Current()) {}
  // Empty, bound to the given platform.
  explicit UniqueHandle(Platform& platform) noexcept : platform_(&platform) {}
  // Owns `value`, which the platform in use now issued.
  explicit UniqueHandle(type value) noexcept : platform_(&Current()), value_(value) {}
  // Owns `value`, which `platform` issued.
  UniqueHandle(Platform& platform, type value) noexcept : platform_(&platform), value_(value) {}

  ~UniqueHandle() { Close(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  UniqueHandle(UniqueHandle&& other) noexcept
      : platform_(other.platform_), value_(std::exchange(other.value_, Traits::kNone)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      platform_ = other.platform_;
      value_ = std::exchange(other.value_, Traits::kNone);
    }
    return *this;
  }

  type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::kNone; }
  Platform& platform() const noexcept { return *platform_; }

  // Gives the handle up without closing it; the owner is left empty.
  [[nodiscard]] type release() noexcept { return std::exchange(value_, Traits::kNone); }

  // Closes the handle held (if any) and takes `value` in its place. Taking
  // the handle already held changes nothing: it stays open and owned once.
  void reset(type value = Traits::kNone) noexcept {
    if (value == value_) return;
    Close();
    value_ = value;
  }

  // Closes the handle held (if any) and returns the empty storage, for an
  // operation that delivers a new handle through a reference.
  type& put() noexcept {
    reset();
    return value_;
  }

  void swap(UniqueHandle& other) noexcept {
    std::swap(platform_, other.platform_);
    std::swap(value_, other.value_);
  }

 private:
  void Close() noexcept {
    if (value_ != Traits::kNone) Traits::Close(*platform_, std::exchange(value_, Traits::kNone));
  }

  Platform* platform_;
  type value_ = Traits::kNone;
};

namespace handle_traits {

// One traits type per kind, so that a file's owner never passes for a
// process's, though both close with CloseHandle.
struct File {
  using type = Handle;
  static constexpr type kNone = 0;
  static void Close(Platform& p, type h) { p.CloseHandle(h); }
};
struct Key {
  using type = Handle;
  static constexpr type kNone = 0;
  static void Close(Platform& p, type h) { p.RegCloseKey(h); }
};
struct Library {
  using type = Handle;
  static constexpr type kNone = 0;
  static void Close(Platform& p, type h) { p.FreeLibrary(h); }
};
struct Process {
  using type = Handle;
  static constexpr type kNone = 0;
  static void Close(Platform& p, type h) { p.CloseHandle(h); }
};
struct EventSource {
  using type = Handle;
  static constexpr type kNone = 0;
  static void Close(Platform& p, type h) { p.DeregisterEventSource(h); }
};
struct Mapping {
  using type = Handle;
  static constexpr type kNone = 0;
  static void Close(Platform& p, type h) { p.CloseHandle(h); }
};
struct View {
  using type = void*;
  static constexpr type kNone = nullptr;
  static void Close(Platform& p, type v) { p.UnmapSharedMemory(v); }
};

}  // namespace handle_traits

using UniqueFile = UniqueHandle<handle_traits::File>;
using UniqueKey = UniqueHandle<handle_traits::Key>;
using UniqueLibrary = UniqueHandle<handle_traits::Library>;
using UniqueProcess = UniqueHandle<handle_traits::Process>;
using UniqueEventSource = UniqueHandle<handle_traits::EventSource>;
using UniqueMapping = UniqueHandle<handle_traits::Mapping>;
using UniqueView = UniqueHandle<handle_traits::View>;

template <typename Traits>
void swap(UniqueHandle<Traits>& a, UniqueHandle<Traits>& b) noexcept {
  a.swap(b);
}

}  // namespace qv::platform
