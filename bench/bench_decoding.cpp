// Decoding the service's answers into records, against simdjson parsing the same bytes
// without building records (the limit) and a straightforward nlohmann/json decoder of the
// same records (the usual peer).
//
//   bench_decoding [repetitions=20] [profile]
//
// With "profile" it only decodes the listing through the layer, `repetitions` times, for
// a profiler to look at.
//
// Times are the median of the runs, in CPU time of the decoding thread.
#include <simdjson.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "Common/service/LSResponse.h"
#include "Common/service/TarnItem.h"
#include "Platform/json/JSONDecoder.h"
#include "Platform/time/ISO8601DateFormatter.h"

using namespace Common;

namespace {

std::string date(int i) { return "2024-05-" + std::string(i % 28 < 9 ? "0" : "") + std::to_string(i % 28 + 1) + "T09:30:00.123Z"; }

std::string listing(int count) {
    std::string json = R"({"total_count":)" + std::to_string(count) + R"(,"offset":0,"limit":)" + std::to_string(count) +
                       R"(,"entries":[)";
    for (int i = 0; i < count; ++i) {
        if (i) json += ',';
        json += R"({"id":")" + std::to_string(100000 + i) + R"(","name":"quarterly report )" + std::to_string(i) +
                R"(.xlsx","type":")" + (i % 7 ? "file" : "folder") + R"(","size":)" + std::to_string(i * 1013) +
                R"(,"modified_at":")" + date(i) + R"(","home_type":)" + (i % 7 ? "null" : "\"02\"") + "}";
    }
    return json + "]}";
}

std::string permissions() {
    std::string json = "{";
    const char* names[] = {"can_comment", "can_copy", "can_delete", "can_delete_volume", "can_download",
                           "can_edit_contents", "can_edit_metadata", "can_invite", "can_leave_volume", "can_move",
                           "can_preview", "can_rename", "can_rename_volume", "can_send_item_box", "can_share",
                           "can_upload"};
    for (int i = 0; i < 16; ++i) json += std::string(i ? "," : "") + "\"" + names[i] + "\":" + (i % 3 ? "true" : "false");
    return json + "}";
}

std::string items(int count) {
    const auto perms = permissions();
    std::string json = "[";
    for (int i = 0; i < count; ++i) {
        if (i) json += ',';
        const auto id = std::to_string(200000 + i);
        json += R"({"type":"file","id":")" + id + R"(","name":"design )" + id + R"(.pdf","modified_at":")" + date(i) +
                R"(","size":)" + std::to_string(i * 4099) + R"(,"home":false,)" +
                R"("parent":{"id":"77","name":"Team","type":"folder","modified_at":")" + date(i + 1) + R"("},)" +
                R"("path_collection":{"total_count":3,"entries":[)" +
                R"({"id":"0","name":"root","type":"folder","is_volume":false,"is_archive":false,"modified_at":")" +
                date(i) + R"("},)" +
                R"({"id":"77","name":"Team","type":"folder","is_volume":true,"is_archive":false,"modified_at":")" +
                date(i) + R"("},)" + R"({"id":")" + id +
                R"(","name":"x","type":"file","is_volume":false,"is_archive":false,"modified_at":")" + date(i) +
                R"("}]},)" + R"("volumes":[{"id":5,"item_id":"77","name_without_prefix":"Team","modified_at":")" +
                date(i) + R"(","volume_users":{"total_count":1,"entries":[{"user_id":9,"permissions":)" + perms +
                R"(}]},"my_permissions":)" + perms + R"(,"my_role":2}],"ext":"pdf"})";
    }
    return json + "]";
}

// --- The usual peer: nlohmann/json, wire keys read directly ---------------------------

Platform::Date peerDate(const nlohmann::json& value) {
    const auto& text = value.get_ref<const std::string&>();
    if (auto d = Platform::ISO8601DateFormatter::withFractionalSeconds().date(text)) return *d;
    if (auto d = Platform::ISO8601DateFormatter::internetDateTime().date(text)) return *d;
    throw std::runtime_error("bad date");
}

ItemType peerType(const nlohmann::json& value) {
    const auto& text = value.get_ref<const std::string&>();
    if (text == "file") return ItemType::file;
    if (text == "folder") return ItemType::folder;
    throw std::runtime_error("bad type");
}

template <class T, class F>
std::optional<T> optionalOf(const nlohmann::json& object, const char* key, F read) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    return read(*it);
}

LSResponse peerListing(const std::string& text) {
    const auto json = nlohmann::json::parse(text);
    LSResponse response;
    response.totalCount = json.at("total_count").get<std::uint64_t>();
    response.offset = json.at("offset").get<std::uint64_t>();
    response.limit = json.at("limit").get<std::uint64_t>();
    for (const auto& e : json.at("entries")) {
        response.entries.push_back(LSItem{
            .id = e.at("id").get<std::string>(),
            .name = e.at("name").get<std::string>(),
            .type = peerType(e.at("type")),
            .size = optionalOf<std::int64_t>(e, "size", [](const auto& v) { return v.template get<std::int64_t>(); }),
            .modifiedAt = optionalOf<Platform::Date>(e, "modified_at", peerDate),
            .homeType = optionalOf<std::string>(e, "home_type", [](const auto& v) { return v.template get<std::string>(); }),
        });
    }
    return response;
}

TarnVolumePermissions peerPermissions(const nlohmann::json& p) {
    return {p.at("can_comment").get<bool>(),       p.at("can_copy").get<bool>(),
            p.at("can_delete").get<bool>(),        p.at("can_delete_volume").get<bool>(),
            p.at("can_download").get<bool>(),      p.at("can_edit_contents").get<bool>(),
            p.at("can_edit_metadata").get<bool>(), p.at("can_invite").get<bool>(),
            p.at("can_leave_volume").get<bool>(),  p.at("can_move").get<bool>(),
            p.at("can_preview").get<bool>(),       p.at("can_rename").get<bool>(),
            p.at("can_rename_volume").get<bool>(), p.at("can_send_item_box").get<bool>(),
            p.at("can_share").get<bool>(),         p.at("can_upload").get<bool>()};
}

std::vector<TarnItem> peerItems(const std::string& text) {
    const auto json = nlohmann::json::parse(text);
    std::vector<TarnItem> out;
    out.reserve(json.size());
    auto getInt = [](const auto& v) { return v.template get<std::int64_t>(); };
    for (const auto& e : json) {
        TarnItem item;
        item.type = peerType(e.at("type"));
        item.id = e.at("id").get<std::string>();
        item.name = e.at("name").get<std::string>();
        item.modifiedAt = optionalOf<Platform::Date>(e, "modified_at", peerDate);
        item.size = optionalOf<std::int64_t>(e, "size", getInt);
        item.home = e.value("home", false);
        item.parent = optionalOf<TarnParentItem>(e, "parent", [](const auto& p) {
            return TarnParentItem{p.at("id").template get<std::string>(), p.at("name").template get<std::string>(),
                                  peerType(p.at("type")), peerDate(p.at("modified_at"))};
        });
        item.pathCollection = optionalOf<APICollectionResponse<TarnPath>>(e, "path_collection", [](const auto& c) {
            APICollectionResponse<TarnPath> path{c.at("total_count").template get<std::int64_t>(), {}};
            for (const auto& p : c.at("entries")) {
                path.entries.push_back(TarnPath{p.at("id").template get<std::string>(),
                                                p.at("name").template get<std::string>(), peerType(p.at("type")),
                                                p.at("is_volume").template get<bool>(),
                                                p.at("is_archive").template get<bool>(), peerDate(p.at("modified_at"))});
            }
            return path;
        });
        item.volumes = optionalOf<std::vector<TarnVolume>>(e, "volumes", [&](const auto& list) {
            std::vector<TarnVolume> volumes;
            for (const auto& v : list) {
                TarnVolume volume;
                volume.id = optionalOf<std::int64_t>(v, "id", getInt);
                volume.itemId = v.at("item_id").template get<std::string>();
                volume.nameWithoutPrefix = v.at("name_without_prefix").template get<std::string>();
                volume.modifiedAt = optionalOf<Platform::Date>(v, "modified_at", peerDate);
                volume.volumeUsers = optionalOf<TarnVolumeUsers>(v, "volume_users", [&](const auto& u) {
                    TarnVolumeUsers users{optionalOf<std::int64_t>(u, "total_count", getInt), std::vector<TarnVolumeUser>{}};
                    for (const auto& entry : u.at("entries")) {
                        users.entries->push_back(TarnVolumeUser{optionalOf<std::int64_t>(entry, "user_id", getInt),
                                                                optionalOf<TarnVolumePermissions>(entry, "permissions", peerPermissions)});
                    }
                    return users;
                });
                volume.myPermissions = optionalOf<TarnVolumePermissions>(v, "my_permissions", peerPermissions);
                volume.myRole = optionalOf<std::int64_t>(v, "my_role", getInt);
                volumes.push_back(std::move(volume));
            }
            return volumes;
        });
        item.ext = optionalOf<std::string>(e, "ext", [](const auto& v) { return v.template get<std::string>(); });
        out.push_back(std::move(item));
    }
    return out;
}

// CPU time of this thread: other processes on a shared machine take the processor away
// for whole time slices, which wall time would count against whichever run they hit.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Median CPU seconds of `repetitions` runs of `work`.
double median(int repetitions, const std::function<std::size_t()>& work) {
    std::vector<double> seconds;
    std::size_t sink = 0;
    for (int i = 0; i < repetitions; ++i) {
        const double start = threadSeconds();
        sink += work();
        seconds.push_back(threadSeconds() - start);
    }
    if (sink == 0) std::puts("(nothing decoded)");
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

void compare(const char* name, std::size_t entries, int repetitions, const std::string& bytes,
             const std::function<std::size_t(const std::string&)>& ours,
             const std::function<std::size_t(const std::string&)>& peer) {
    simdjson::dom::parser parser;
    const simdjson::padded_string padded(bytes);
    const double limit = median(repetitions, [&] { return parser.parse(padded).is_object() ? 1u : 2u; });
    const double library = median(repetitions, [&] { return ours(bytes); });
    const double nlohmann = median(repetitions, [&] { return peer(bytes); });
    auto rate = [&](double s) { return static_cast<double>(entries) / s; };
    std::printf("%s (%zu entries, %.1f MB)\n", name, entries, static_cast<double>(bytes.size()) / 1e6);
    std::printf("  simdjson parse only (limit)   %12.0f entries/s  %8.2f ms\n", rate(limit), limit * 1e3);
    std::printf("  Common decoding layer         %12.0f entries/s  %8.2f ms  %.2f of the limit\n", rate(library),
                library * 1e3, limit / library);
    std::printf("  nlohmann/json decoder (peer)  %12.0f entries/s  %8.2f ms  library is %.1fx the peer\n",
                rate(nlohmann), nlohmann * 1e3, nlohmann / library);
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const auto decoder = Platform::JSONDecoder::forAPIResponse();

    // Received bodies keep spare capacity for the parser's padding; so do these.
    std::string listingBytes = listing(10000);
    listingBytes.reserve(listingBytes.size() + 64);
    std::string itemBytes = items(1000);
    itemBytes.reserve(itemBytes.size() + 64);

    // Both decoders must agree before their speed means anything.
    if (decoder.decodeInPlace<LSResponse>(listingBytes) != peerListing(listingBytes) ||
        decoder.decodeInPlace<std::vector<TarnItem>>(itemBytes) != peerItems(itemBytes)) {
        std::fprintf(stderr, "bench_decoding: the two decoders disagree\n");
        return 1;
    }
    if (argc > 2 && std::string_view(argv[2]) == "profile") {
        std::size_t entries = 0;
        for (int i = 0; i < repetitions; ++i) entries += decoder.decodeInPlace<LSResponse>(listingBytes).entries.size();
        return entries == 0 ? 1 : 0;
    }
    compare("listing answer", 10000, repetitions, listingBytes,
            [&](const std::string& b) { return decoder.decodeInPlace<LSResponse>(b).entries.size(); },
            [](const std::string& b) { return peerListing(b).entries.size(); });
    compare("search-sized answer of full items", 1000, repetitions, itemBytes,
            [&](const std::string& b) { return decoder.decodeInPlace<std::vector<TarnItem>>(b).size(); },
            [](const std::string& b) { return peerItems(b).size(); });
    return 0;
}
