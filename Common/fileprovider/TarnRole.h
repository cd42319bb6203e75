#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "Common/fileprovider/VolumeRole.h"
#include "Platform/core/RawValues.h"

namespace Common {

// The role as the service sends it (`my_role`).
enum class TarnRole : std::int64_t {
    uninvited = -1,
    owner = 0,
    manager = 1,
    editor = 2,
    viewer = 3,
    previewer = 4,
    uploader = 5,
};

// The library's role of the same name.
constexpr VolumeRole volumeRole(TarnRole role) noexcept { return static_cast<VolumeRole>(static_cast<std::int64_t>(role)); }

}  // namespace Common

template <>
struct Platform::RawValues<Common::TarnRole> {
    using R = Common::TarnRole;
    static constexpr std::string_view typeName = "TarnRole";
    static constexpr std::pair<R, std::int64_t> table[] = {
        {R::uninvited, -1}, {R::owner, 0},     {R::manager, 1},  {R::editor, 2},
        {R::viewer, 3},     {R::previewer, 4}, {R::uploader, 5},
    };
};
