#pragma once

// Internal to URLSession: a request body read from part of an open file as it goes out.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/FileDescriptor.h"
#include "Platform/http/internal/URLSessionTransfer.h"

namespace Platform::detail {

// libcurl pulls the bytes through pread, so memory stays at its upload buffer, and seeks
// back when it must send the body again (a redirect, a retry on a fresh connection).
class FileBodySource final : public TransferBodySource {
public:
    FileBodySource(std::shared_ptr<const FileDescriptor> file, std::uint64_t offset, std::uint64_t length)
        : file_(std::move(file)), offset_(offset), length_(length) {}

    CURLcode attach(CURL* easy) override;
    std::optional<std::uint64_t> size() const override { return length_; }
    std::optional<std::string> invalidReason() const override;
    ErrorPtr failure() const override { return failure_; }

private:
    static std::size_t onRead(char* buffer, std::size_t size, std::size_t count, void* self);
    static int onSeek(void* self, curl_off_t offset, int origin);
    std::size_t read(char* buffer, std::size_t capacity);

    std::shared_ptr<const FileDescriptor> file_;
    std::uint64_t offset_;
    std::uint64_t length_;
    // Per attempt.
    std::uint64_t position_ = 0;
    ErrorPtr failure_;
};

}  // namespace Platform::detail
