#include "Common/auth/internal/CredentialArchiveName.h"

#include "Common/auth/Credential.h"
#include "Platform/archive/KeyedArchiver.h"
#include "Platform/archive/KeyedUnarchiver.h"

namespace Common::detail {

void useCredentialArchiveClassName() {
    Platform::KeyedArchiver::setClassName<Credential>(credentialArchiveClassName);
    Platform::KeyedUnarchiver::setClass<Credential>(credentialArchiveClassName);
}

}  // namespace Common::detail
