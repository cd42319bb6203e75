#pragma once

#include <unistd.h>

#include "Platform/core/UniqueHandle.h"

namespace Platform {

// An owned file descriptor (or socket), closed when it goes.
using FileDescriptor = UniqueHandle<int, &::close, -1>;

}  // namespace Platform
