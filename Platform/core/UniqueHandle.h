#pragma once

// One owner for every C handle the library holds (curl handles and URLs, file
// descriptors, sqlite statements...), instead of a deleter struct per file.
//
//   using CurlURL = Platform::UniqueHandle<CURLU*, &curl_url_cleanup>;
//   CurlURL url(curl_url());
//   if (!url) return std::nullopt;
//   curl_url_set(url.get(), CURLUPART_URL, text, 0);
//
// File descriptors have theirs: Platform/core/FileDescriptor.h.

#include <utility>

namespace Platform {

template <class Handle, auto Release, Handle Null = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    [[nodiscard]] Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Null; }

    // Gives up ownership without releasing.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Null); }

    void reset(Handle handle = Null) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != Null) static_cast<void>(Release(old));
    }

private:
    Handle handle_ = Null;
};

}  // namespace Platform
