#include "LoadRun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "Common/auth/TarnUser.h"
#include "Common/local/NotificationNames.h"
#include "Platform/notification/DistributedNotificationCenter.h"

namespace TestSupport {

namespace {

std::int64_t peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6));
    }
    return 0;
}

constexpr std::int64_t failuresPerNotification = 501;

}  // namespace

LoadRunResult runLoad(const Common::WebConnection& connection, const LoadRunOptions& options) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::int64_t completed = 0;
        std::int64_t failures = 0;
        std::int64_t notifications = 0;
        std::int64_t peakAfterFirstTenth = 0;
    };
    auto shared = std::make_shared<Shared>();
    auto counts = std::make_shared<std::vector<std::atomic<int>>>(static_cast<std::size_t>(options.calls));
    auto& center = Platform::DistributedNotificationCenter::shared();
    const auto token = center.addObserver(Common::QuilloExceededErrorLimit, [shared](const std::string&) {
        std::lock_guard lock(shared->mutex);
        ++shared->notifications;
        shared->changed.notify_all();
    });
    Common::WebConnection::resetFailureCount();

    const auto started = std::chrono::steady_clock::now();
    const std::int64_t tenth = std::max<std::int64_t>(options.calls / 10, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < options.threads; ++t) {
        threads.emplace_back([&, t] {
            auto window = std::make_shared<std::counting_semaphore<>>(options.windowPerThread);
            for (std::int64_t id = t; id < options.calls; id += options.threads) {
                window->acquire();
                connection.makeAPICall(Common::WebService::AuthenticatedUserParameter(), std::nullopt, false,
                                       [shared, counts, window, id, tenth](auto result) {
                                           (*counts)[static_cast<std::size_t>(id)].fetch_add(1);
                                           {
                                               std::lock_guard lock(shared->mutex);
                                               if (!result) ++shared->failures;
                                               if (++shared->completed == tenth) shared->peakAfterFirstTenth = peakResidentKiB();
                                               shared->changed.notify_all();
                                           }
                                           window->release();
                                       });
            }
            // Hold the window until this thread's calls are done with it.
            for (int i = 0; i < options.windowPerThread; ++i) window->acquire();
        });
    }
    for (auto& thread : threads) thread.join();

    LoadRunResult result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    {
        std::unique_lock lock(shared->mutex);
        shared->changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return shared->completed == options.calls &&
                   shared->notifications >= shared->failures / failuresPerNotification;
        });
        result.failures = shared->failures;
        result.notifications = shared->notifications;
        result.peakKiBAfterFirstTenth = shared->peakAfterFirstTenth;
    }
    result.peakKiBAtEnd = peakResidentKiB();
    center.removeObserver(token);
    for (const auto& count : *counts) result.notCompletedOnce += count.load() != 1;
    return result;
}

}  // namespace TestSupport
