#include "tests/support/MultiPartServer.h"

#include <openssl/evp.h>

#include <array>
#include <nlohmann/json.hpp>

namespace TestSupport {

namespace {

std::array<unsigned char, 16> digest(const std::string& bytes) {
    std::array<unsigned char, 16> out{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), out.data(), &length, EVP_md5(), nullptr);
    return out;
}

constexpr auto bound = std::chrono::seconds(20);

// The MD5 of `bytes` as lower-case hex and as base64.
std::string md5Hex(const std::string& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : digest(bytes)) text += {digits[byte >> 4], digits[byte & 0xf]};
    return text;
}

std::string md5Base64(const std::string& bytes) {
    const auto sum = digest(bytes);
    std::array<unsigned char, 32> text{};
    const int length = EVP_EncodeBlock(text.data(), sum.data(), static_cast<int>(sum.size()));
    return std::string(reinterpret_cast<const char*>(text.data()), static_cast<std::size_t>(length));
}

}  // namespace

MultiPartServer::MultiPartServer(Faults faults) : faults_(std::move(faults)) {
    using httplib::Request;
    using httplib::Response;
    // Keys need encoding in a query: "+" reads as a blank and "&" splits when sent raw.
    auto open = [this](const Request&, Response& response) {
        std::lock_guard lock(mutex_);
        const auto number = std::to_string(nextUpload_++);
        uploads_[number].key = "up+" + number + "/a b&c";
        response.set_content(nlohmann::json{{"s3key", uploads_[number].key}}.dump(), "application/json");
    };
    auto findUpload = [this](const std::string& key) -> std::pair<std::string, Upload*> {
        for (auto& [number, upload] : uploads_) {
            if (upload.key == key) return {number, &upload};
        }
        return {"", nullptr};
    };
    auto presign = [this, findUpload](const Request& request, Response& response) {
        std::lock_guard lock(mutex_);
        const auto [number, upload] = findUpload(request.get_param_value("s3key"));
        if (!upload) {
            response.status = 404;
            return;
        }
        response.set_content(nlohmann::json{{"url", server_.url("/storage/" + number + "/" +
                                                                 request.get_param_value("part_number") +
                                                                 "?X-Signature=secret")}}
                                 .dump(),
                             "application/json");
    };
    auto complete = [this, findUpload](const Request& request, Response& response) {
        std::lock_guard lock(mutex_);
        const auto body = nlohmann::json::parse(request.body, nullptr, false);
        if (body.is_discarded() || !body.contains("s3key") || !body.contains("etags")) {
            response.status = 400;
            return;
        }
        const auto [number, upload] = findUpload(body["s3key"].get<std::string>());
        if (!upload) {
            response.status = 404;
            return;
        }
        std::string contents;
        int part = 1;
        for (const auto& tag : body["etags"]) {
            const auto stored = upload->parts.find(part++);
            if (stored == upload->parts.end() || tag != "\"" + md5Hex(stored->second) + "\"") {
                response.status = 400;
                return;
            }
            contents += stored->second;
        }
        record_.completedContents = contents;
        uploads_.erase(number);
        const std::string name = body.contains("name") ? body["name"].get<std::string>() : "kept.bin";
        response.set_content(nlohmann::json{{"type", "file"},
                                            {"id", "900"},
                                            {"name", name},
                                            {"size", contents.size()},
                                            {"modified_at", "2024-05-01T09:30:00Z"}}
                                 .dump(),
                             "application/json");
    };
    auto abort = [this, findUpload](const Request& request, Response& response) {
        std::lock_guard lock(mutex_);
        const auto key = request.get_param_value("s3key");
        record_.abortedKeys.push_back(key);
        if (const auto [number, upload] = findUpload(key); upload) uploads_.erase(number);
        response.status = 204;
        changed_.notify_all();
    };
    for (const std::string family : {"multipartupload", "multipartmodify"}) {
        server_.on("POST", "/files/s3/" + family, open);
        server_.on("GET", "/files/s3/" + family + "/url", presign);
        server_.on("PUT", "/files/s3/" + family, complete);
        server_.on("DELETE", "/files/s3/" + family, abort);
    }
    server_.on("PUT", R"(/storage/(\d+)/(\d+))", [this](const Request& request, Response& response) {
        const std::string number = request.matches[1];
        const int part = std::stoi(request.matches[2]);
        std::unique_lock lock(mutex_);
        record_.partPuts.push_back(part);
        record_.mostPutsAtOnce = std::max(record_.mostPutsAtOnce, ++inFlight_);
        changed_.notify_all();
        if (inFlight_ >= faults_.awaitedConcurrency) concurrencySeen_ = true;
        changed_.wait_for(lock, bound, [&] { return concurrencySeen_; });
        --inFlight_;
        auto fail = [&](int status, const std::string& code) {
            response.status = status;
            if (faults_.retryAfter) response.set_header("Retry-After", *faults_.retryAfter);
            response.set_content("<?xml version=\"1.0\"?><Error><Code>" + code + "</Code><Message>refused</Message></Error>",
                                 "application/xml");
        };
        if (part == faults_.heldPart) {
            held_ = true;
            changed_.notify_all();
            changed_.wait_for(lock, bound, [&] { return released_; });
            return fail(503, "SlowDown");
        }
        if (faults_.alwaysFailing.first == part) return fail(faults_.alwaysFailing.second, "InternalError");
        if (auto& statuses = faults_.partStatuses[part]; !statuses.empty()) {
            const int status = statuses.front();
            statuses.erase(statuses.begin());
            return fail(status, "ServiceUnavailable");
        }
        if (request.get_header_value("Content-MD5") != md5Base64(request.body)) return fail(400, "BadDigest");
        const auto upload = uploads_.find(number);
        if (upload == uploads_.end()) return fail(404, "NoSuchUpload");
        upload->second.parts[part] = request.body;
        response.set_header("ETag", "\"" + md5Hex(faults_.wrongETags ? request.body + "x" : request.body) + "\"");
    });
}

}  // namespace TestSupport
