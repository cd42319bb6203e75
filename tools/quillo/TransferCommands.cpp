// download, upload: file contents to and from the service, with a progress bar on a terminal.
#include <charconv>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "Common/auth/SharedConstants.h"
#include "Common/service/Downloader.h"
#include "Common/service/TarnItemParameter.h"
#include "Common/service/Uploader.h"
#include "Platform/container/ApplicationGroupContainer.h"
#include "tools/quillo/Commands.h"
#include "tools/quillo/Failure.h"
#include "tools/quillo/Interrupt.h"
#include "tools/quillo/ItemView.h"
#include "tools/quillo/ProgressBar.h"

namespace QuilloCli {

namespace {

namespace fs = std::filesystem;

// Part size in bytes for the tests, which want many parts from a small file.
constexpr const char* partSizeVariable = "QUILLO_UPLOAD_PART_SIZE";
constexpr std::uint64_t smallestTestPartSize = 64 * 1024;
// How long a cancelled download may take to clean up before the program gives up on it.
constexpr auto cancelGrace = std::chrono::seconds(30);

enum class OnInterrupt {
    // Cancel through the progress: the download removes its temporary file.
    cancel,
    // Leave at once: the upload's journal keeps the stored parts for the next run.
    leaveResumable,
};

// Waits for a transfer, drawing its progress; Ctrl-C stops it as `onInterrupt` says.
template <class T>
T awaitTransfer(const std::shared_ptr<Platform::Progress>& progress, std::future<Platform::Result<T>> done,
                const std::string& label, OnInterrupt onInterrupt) {
    Interrupt::watch();
    ProgressBar bar(stderr, label);
    while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        bar.update(*progress);
        if (!Interrupt::waitFor(ProgressBar::redrawInterval)) continue;
        if (onInterrupt == OnInterrupt::leaveResumable) {
            std::fputs("\nquillo: interrupted; the parts sent so far are kept: run the same command again to resume\n",
                       stderr);
            std::fflush(stderr);
            std::_Exit(static_cast<int>(ExitCode::interrupted));
        }
        progress->cancel();
        (void)done.wait_for(cancelGrace);
        throw CliError(ExitCode::interrupted, "interrupted; nothing was written");
    }
    auto result = done.get();
    if (result) bar.finish();
    return std::move(result).value();
}

template <class T>
std::pair<std::function<void(Platform::Result<T>)>, std::future<Platform::Result<T>>> completion() {
    auto promise = std::make_shared<std::promise<Platform::Result<T>>>();
    auto future = promise->get_future();
    return {[promise](Platform::Result<T> result) { promise->set_value(std::move(result)); }, std::move(future)};
}

struct DownloadOptions {
    std::string item;
    std::optional<std::string> destination;
};

void download(Context& context, const DownloadOptions& options) {
    context.requireSignIn();
    const auto item =
        context.connection().makeAPICall(Common::WebService::TarnItemParameter(options.item), std::nullopt, false).get();
    if (item.type == Common::ItemType::folder) throw CliError::usage(item.name + " is a folder; only files download");
    fs::path target = options.destination.value_or(".");
    if (fs::is_directory(target)) {
        const auto name = fs::path(item.name).filename();
        if (name.empty() || name == "." || name == "..") throw CliError::usage("name the file to write: " + item.name);
        target /= name;
    }
    auto [done, result] = completion<Common::Downloader::Downloaded>();
    const auto progress = Common::Downloader(context.connection()).download(item.id, target.string(), std::move(done));
    const auto file = awaitTransfer(progress, std::move(result), item.name, OnInterrupt::cancel);
    const auto& out = context.output();
    if (out.isJSON()) return out.json({{"id", item.id}, {"path", file.path}, {"bytes", file.length}});
    out.line("Downloaded " + item.name + " to " + file.path + " (" + humanSize(static_cast<std::int64_t>(file.length)) + ")");
}

struct UploadOptions {
    std::string file;
    std::optional<std::string> folder;
    std::optional<std::string> replace;
    std::optional<std::string> name;
    int parallel = 4;
};

fs::path journalPath() {
    return Platform::ApplicationGroupContainer::rootDirectory() / Common::appGroupIdentifier / "Uploads" / "uploads.sqlite";
}

Common::Uploader::Options uploaderOptions(const UploadOptions& options) {
    Common::Uploader::Options settings;
    settings.concurrentParts = options.parallel;
    if (const char* text = std::getenv(partSizeVariable); text && *text) {
        std::uint64_t size = 0;
        const auto end = text + std::strlen(text);
        if (std::from_chars(text, end, size).ptr != end || size < smallestTestPartSize || size > settings.partSize) {
            throw CliError::usage(std::string(partSizeVariable) + " is not a part size from 65536 to 8388608 bytes");
        }
        settings.partSize = settings.minimumPartSize = size;
    }
    return settings;
}

void upload(Context& context, const UploadOptions& options) {
    if (options.folder.has_value() == options.replace.has_value()) {
        throw CliError::usage("give either a destination FOLDER or --replace ITEM");
    }
    std::error_code error;
    const fs::path file = options.file;
    if (!fs::is_regular_file(file, error)) throw CliError(ExitCode::localFile, "no such file: " + options.file);
    const auto size = fs::file_size(file, error);
    if (error) throw CliError(ExitCode::localFile, "cannot read " + options.file + ": " + error.message());
    context.requireSignIn();
    const auto destination =
        options.replace ? Common::UploadDestination::newContents(*options.replace)
                        : Common::UploadDestination::newFile(*options.folder, options.name.value_or(file.filename().string()));
    const Common::Uploader uploader(context.connection(), uploaderOptions(options));
    auto [done, result] = completion<Common::TarnItem>();
    const auto progress = uploader.upload(file, destination, std::move(done));
    const auto uploaded = awaitTransfer(progress, std::move(result), file.filename().string(), OnInterrupt::leaveResumable);
    // The completion's answer has no parent or path; the item as listed has.
    const auto item =
        context.connection().makeAPICall(Common::WebService::TarnItemParameter(uploaded.id), std::nullopt, false).get();
    const auto parts = size == 0 ? 1 : (size + Common::Uploader::partSize(size, uploader.options()) - 1) /
                                           Common::Uploader::partSize(size, uploader.options());
    const auto& out = context.output();
    if (out.isJSON()) {
        auto summary = itemSummary(item);
        summary["parts"] = parts;
        return out.json(summary);
    }
    out.line("Uploaded " + file.filename().string() + " in " + std::to_string(parts) + " part" + (parts == 1 ? "" : "s"));
    showItemFields(out, item);
}

}  // namespace

void addTransferCommands(Commands& commands) {
    auto fetched = std::make_shared<DownloadOptions>();
    auto* downloadCommand =
        commands.add("download", "Fetch a file; it appears at DEST only once complete (Ctrl-C leaves nothing behind)",
                     [fetched](Context& context) { download(context, *fetched); });
    downloadCommand->add_option("item", fetched->item, "File ID")->required();
    downloadCommand->add_option("dest", fetched->destination, "File or folder to write to (default: here, the file's name)");

    auto sent = std::make_shared<UploadOptions>();
    auto* uploadCommand = commands.add("upload", "Send a local file as a new file in FOLDER, or as new contents with --replace",
                                       [sent](Context& context) { upload(context, *sent); });
    uploadCommand->footer(
        "An interrupted upload resumes: the parts stored are journalled in " + journalPath().string() +
        ", so running the same command on the unchanged file sends only the parts still missing.");
    uploadCommand->add_option("file", sent->file, "Local file")->required();
    uploadCommand->add_option("folder", sent->folder, "Destination folder ID (0: the personal folder)");
    uploadCommand->add_option("--replace", sent->replace, "File ID whose contents to replace");
    uploadCommand->add_option("--name", sent->name, "Name of the new file (default: the local file's)");
    uploadCommand->add_option("--parallel", sent->parallel, "Parts sent at once")->check(CLI::Range(1, 16))->capture_default_str();
}

}  // namespace QuilloCli
