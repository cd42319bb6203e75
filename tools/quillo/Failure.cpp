#include "tools/quillo/Failure.h"

#include <filesystem>

#include "Common/auth/CredentialRefresh.h"
#include "Common/auth/KeychainError.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/connection/CloudianError.h"
#include "Common/connection/HTTPStatusCode.h"
#include "Common/connection/RailsError.h"
#include "Common/connection/UncategorizedError.h"
#include "Platform/archive/ArchiveError.h"
#include "Platform/defaults/UserDefaultsError.h"
#include "Platform/files/FileError.h"
#include "Platform/http/URLError.h"
#include "Platform/keychain/KeychainError.h"

namespace QuilloCli {

namespace {

template <class... E>
bool isAny(const std::exception& error) noexcept {
    return (... || (dynamic_cast<const E*>(&error) != nullptr));
}

}  // namespace

ExitCode exitCodeFor(const std::exception& error) noexcept {
    if (const auto* own = dynamic_cast<const CliError*>(&error)) return own->code();
    // The pipeline fails a call without a usable credential like a 401 of the server.
    if (const auto* rails = dynamic_cast<const Common::RailsError*>(&error)) {
        return rails->statusCode() == Common::HTTPStatusCode::unauthorized ? ExitCode::authentication
                                                                           : ExitCode::serverRefusal;
    }
    if (isAny<Common::CredentialRefreshError, Common::UncategorizedError>(error)) return ExitCode::authentication;
    if (isAny<Common::CloudianError>(error)) return ExitCode::serverRefusal;
    if (isAny<Platform::URLError>(error)) return ExitCode::network;
    if (isAny<Common::KeychainError, Platform::KeychainError, Common::SharedDefaultsError, Platform::UserDefaultsError,
              Platform::ArchiveError>(error)) {
        return ExitCode::storage;
    }
    if (isAny<Platform::FileError, std::filesystem::filesystem_error>(error)) return ExitCode::localFile;
    return ExitCode::other;
}

std::string messageFor(const std::exception& error) {
    std::string text = error.what();
    if (const auto* library = dynamic_cast<const Platform::Error*>(&error)) {
        if (auto reason = library->failureReason(); reason && !reason->empty() && *reason != text) {
            text += " (" + *reason + ")";
        }
    }
    return text;
}

}  // namespace QuilloCli
