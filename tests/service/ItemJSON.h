#pragma once

// Compact builders of the service's item JSON for table-driven tests.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

namespace ItemJSON {

// An item; optional members left unset are left out of the JSON.
struct Shape {
    std::string type = "folder";
    std::string id = "42";
    std::string name = "report.csv";
    std::optional<std::string> parent;   // the parent's id
    std::optional<std::string> path;     // one char per path entry: 'V' a volume folder, '-' not
    std::optional<std::string> home;     // raw JSON
    std::optional<std::string> volumes;  // raw JSON
    std::optional<std::string> extra;    // raw members, e.g. R"("size":5)"
};

inline std::string item(const Shape& s) {
    const std::string date = R"("modified_at":"2024-01-01T00:00:00Z")";
    std::string json = R"({"type":")" + s.type + R"(","id":")" + s.id + R"(","name":")" + s.name +
                       R"(","modified_at":"2024-05-01T09:30:00.250Z")";
    if (s.home) json += R"(,"home":)" + *s.home;
    if (s.parent) json += R"(,"parent":{"id":")" + *s.parent + R"(","name":"up","type":"folder",)" + date + "}";
    if (s.volumes) json += R"(,"volumes":)" + *s.volumes;
    if (s.path) {
        json += R"(,"path_collection":{"total_count":)" + std::to_string(s.path->size()) + R"(,"entries":[)";
        for (std::size_t i = 0; i < s.path->size(); ++i) {
            json += std::string(i ? "," : "") + R"({"id":"p)" + std::to_string(i) + R"(","name":"p","type":"folder",)" +
                    R"("is_volume":)" + ((*s.path)[i] == 'V' ? "true" : "false") + R"(,"is_archive":false,)" + date + "}";
        }
        json += "]}";
    }
    return json + (s.extra ? "," + *s.extra : "") + "}";
}

// One volume per role; an absent role leaves `my_role` out.
inline std::string volumes(std::initializer_list<std::optional<std::int64_t>> roles) {
    std::string json = "[";
    int n = 0;
    for (const auto& role : roles) {
        const auto number = std::to_string(++n);
        json += std::string(n > 1 ? "," : "") + R"({"id":)" + number + R"(,"item_id":"v)" + number +
                R"(","name_without_prefix":"Project )" + number + '"';
        json += (role ? R"(,"my_role":)" + std::to_string(*role) : std::string()) + "}";
    }
    return json + "]";
}

}  // namespace ItemJSON
