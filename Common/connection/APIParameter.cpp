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

bool isAcceptablePathIdentifier(std::string_view identifier) {
    // Only the escapes of '.', '/' and '\\' matter here; every other byte stays as it is.
    std::string plain;
    plain.reserve(identifier.size());
    for (std::size_t i = 0; i < identifier.size(); ++i) {
        if (identifier[i] == '%' && identifier.size() - i >= 3) {
            const char high = identifier[i + 1];
            const char low = static_cast<char>(identifier[i + 2] | 0x20);
            const char decoded = high == '2' && low == 'e' ? '.' : high == '2' && low == 'f' ? '/'
                               : high == '5' && low == 'c' ? '\\' : '\0';
            if (decoded != '\0') {
                plain += decoded;
                i += 2;
                continue;
            }
        }
        plain += identifier[i];
    }
    return !plain.empty() && plain != "." && plain != ".." && plain.find_first_of("/\\") == std::string::npos;
}

}  // namespace Common
