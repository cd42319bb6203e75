#pragma once

// Internal to URLSession: a response body written to a file as it arrives.

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/core/Error.h"
#include "Platform/core/FileDescriptor.h"
#include "Platform/http/internal/URLSessionTransfer.h"

#include <unistd.h>

namespace Platform::detail {

// Writes each body to `path` from its start (a later response replaces an earlier one's
// bytes), so memory stays at libcurl's buffer whatever the size. Past `maximumSize` the
// transfer fails with dataLengthExceedsMaximum; a failed write with the FileError.
class FileBodySink final : public TransferBodySink {
public:
    FileBodySink(std::string path, std::optional<std::uint64_t> maximumSize)
        : path_(std::move(path)), maximumSize_(maximumSize) {}

    // Creates or truncates the file (mode 0600). Null on success.
    [[nodiscard]] ErrorPtr open();
    void begin(std::optional<std::uint64_t> expectedLength) override;
    bool write(const char* bytes, std::size_t size) override;
    ErrorPtr failure() const override { return failure_; }
    // Closes the file; a failed close (delayed write errors) is the task's failure.
    [[nodiscard]] ErrorPtr close();
    std::uint64_t length() const noexcept { return length_; }

private:
    bool fail(ErrorPtr error);

    std::string path_;
    std::optional<std::uint64_t> maximumSize_;
    FileDescriptor fd_;
    std::uint64_t length_ = 0;
    ErrorPtr failure_;
};

}  // namespace Platform::detail
