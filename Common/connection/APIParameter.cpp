#include "Common/connection/APIParameter.h"

namespace Common {

std::string APIParameter::httpRequestLine() const {
    std::string line(Platform::rawValue(method()));
    line += ' ';
    line += endpoint();
    const char* separator = "?";
    for (const auto& item : queryItems_) {
        line += separator;
        line += item.description();
        separator = "&";
    }
    return line;
}

std::string fillingIdentifier(std::string_view endpointTemplate, std::string_view identifier) {
    constexpr std::string_view placeholder = ":id";
    std::string path;
    path.reserve(endpointTemplate.size() + identifier.size());
    std::size_t from = 0;
    for (auto at = endpointTemplate.find(placeholder); at != std::string_view::npos;
         at = endpointTemplate.find(placeholder, from)) {
        path.append(endpointTemplate.substr(from, at - from));
        path.append(identifier);
        from = at + placeholder.size();
    }
    path.append(endpointTemplate.substr(from));
    return path;
}

}  // namespace Common
