#pragma once

namespace Common::detail {

// The class name a stored credential carries in both stores.
inline constexpr const char* credentialArchiveClassName = "TarnOAuthCredential";

// Makes archives of Credential carry credentialArchiveClassName and that name read back
// as Credential. Both stores call it before every archive or unarchive of a credential,
// so what one process writes another reads, whichever store either touched first.
// Archives under the type's default name, written that way before, still read.
void useCredentialArchiveClassName();

}  // namespace Common::detail
