#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>

#include "Common/auth/SharedConstants.h"
#include "Common/local/ExtensionServiceChannel.h"
#include "Common/local/LogExport.h"
#include "Common/local/internal/ExtensionServiceMessages.h"
#include "Platform/bundle/Bundle.h"
#include "Platform/files/FileURL.h"
#include "Platform/ipc/IPCError.h"
#include "Platform/ipc/internal/MessageFrame.h"
#include "Platform/log/Logger.h"
#include "tests/platform/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBusTestSupport.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using namespace std::chrono_literals;
using Common::ExtensionService;
using Common::Transfer;
using Platform::IPCError;
using TestSupport::ChildProcess;

using TestSupport::TemporaryFolder;

// Two transfers named after the call's arguments, and this process's log.
class TwoTransfers : public ExtensionService {
public:
    explicit TwoTransfers(std::filesystem::path folder) : folder_(std::move(folder)) {}
    void currentTransfers(const std::string& type, const std::string& action, TransfersCompletion completion) override {
        const auto kind = Platform::fromRawValue<Common::TarnEventActionType>(action).value_or(Common::TarnEventActionType::unknown);
        completion(std::vector{std::make_shared<Transfer>("1", "0", type + "-a", kind),
                               std::make_shared<Transfer>("2", "0", type + "-b", kind)},
                   nullptr);
    }
    void exportLog(ExportLogCompletion completion) override {
        const Platform::Logger logger(Platform::Logger::defaultSubsystem(), "Extension");
        logger.error("Upload of %{public}s failed", "a.txt");
        logger.notice("Signed in as %{private}s", "alice");
        const auto file = folder_ / Common::exportLogFilename;
        Common::exportOSLog(file);
        completion(Platform::fileURL(file, Platform::FileURLKind::file), nullptr);
    }

private:
    std::filesystem::path folder_;
};

template <class T>
T await(std::future<T>& future) {
    if (future.wait_for(30s) != std::future_status::ready) throw std::runtime_error("no answer in 30 s");
    return future.get();
}

struct TransfersAnswer {
    std::optional<std::vector<std::shared_ptr<Transfer>>> transfers;
    Platform::ErrorPtr error;
};

TransfersAnswer askTransfers(ExtensionService& service) {
    std::promise<TransfersAnswer> promise;
    auto future = promise.get_future();
    service.currentTransfers("upload", "rename", [&](auto transfers, Platform::ErrorPtr error) {
        promise.set_value({std::move(transfers), std::move(error)});
    });
    return await(future);
}

std::optional<IPCError::Code> ipcCode(const Platform::ErrorPtr& error) {
    const auto* ipc = dynamic_cast<const IPCError*>(error.get());
    return ipc ? std::optional(ipc->code()) : std::nullopt;
}

// The extension's process: listens at the socket the parent names (empty: the usual
// path), says 'R', stops when told, then says 'S'. A named listener serves TwoTransfers
// and holds the bus name; the bare ones answer without it, with an empty reply, with a
// log file where transfers belong, or by dying.
enum class Listener { named, bare, wrongClass, dies };

void listen(const std::string& socket, Listener kind) {
    const std::filesystem::path path = socket.empty() ? Common::extensionServiceSocketPath() : std::filesystem::path(socket);
    Platform::Bundle::setMain(Platform::Bundle{"com.example.extension", {}});
    {
        std::optional<Common::ExtensionServiceListener> named;
        std::optional<Platform::MessageListener> bare;
        if (kind == Listener::named) {
            named.emplace(std::make_shared<TwoTransfers>(path.parent_path()), path);
        } else {
            bare.emplace(path, Common::extensionServiceInterface(), [kind](const std::string& selector, const Platform::Data&, auto reply) {
                if (kind == Listener::dies) ::_exit(0);
                Common::detail::ServiceReply answer{.selector = selector};
                if (kind == Listener::wrongClass) answer.logFile = Common::detail::ArchivedURL{"file:///tmp/x"};
                reply(Platform::KeyedArchiver::archivedData(answer, true));
            });
        }
        ASSERT_TRUE(ChildProcess::tell('R'));
        (void)ChildProcess::hear(60s);
    }
    ASSERT_TRUE(ChildProcess::tell('S'));
    (void)ChildProcess::hear(60s);
}

const TestSupport::ChildRole listeners[] = {
    {"extension-listens", [](const std::string& socket) { listen(socket, Listener::named); }},
    {"extension-listens-bare", [](const std::string& socket) { listen(socket, Listener::bare); }},
    {"extension-answers-wrong-class", [](const std::string& socket) { listen(socket, Listener::wrongClass); }},
    {"extension-dies", [](const std::string& socket) { listen(socket, Listener::dies); }},
    // The application's side, given no path.
    {"extension-caller",
     [](const std::string&) {
         const auto answer = askTransfers(*Common::ExtensionServiceConnection::connect());
         EXPECT_FALSE(answer.error) << answer.error->what();
     }},
};

TEST(ExtensionService, CallsReachTheOtherProcess) {
    TemporaryFolder folder;
    const auto path = folder.path() / "service.sock";
    const auto start = [&](const char* role) {
        auto child = ChildProcess::play({.role = role, .argument = path.string()});
        EXPECT_EQ(child.receive(60s), 'R') << role;
        return child;
    };

    {
        auto child = start("extension-listens");
        const auto service = Common::ExtensionServiceConnection::connect(path);
        const auto answer = askTransfers(*service);
        ASSERT_FALSE(answer.error) << answer.error->what();
        ASSERT_TRUE(answer.transfers && answer.transfers->size() == 2);
        EXPECT_EQ((*answer.transfers)[1]->transferID(), "2");
        EXPECT_EQ((*answer.transfers)[1]->parentID(), "0");
        EXPECT_EQ((*answer.transfers)[1]->name(), "upload-b");
        EXPECT_EQ((*answer.transfers)[1]->action(), "rename");

        std::promise<std::optional<Platform::URL>> exported;
        auto file = exported.get_future();
        service->exportLog([&](auto url, Platform::ErrorPtr error) {
            EXPECT_FALSE(error);
            exported.set_value(std::move(url));
        });
        const auto url = await(file);
        ASSERT_TRUE(url);
        const auto text = TestSupport::readFile(*Platform::filePath(*url));
        // The listener's own lines come first.
        const std::regex lines(R"((?:[^\n]*\n)*\[[-:.T0-9]{23}Z\] \[Extension\] \[ERROR\] Upload of a\.txt failed)"
                               "\n"
                               R"(\[[-:.T0-9]{23}Z\] \[Extension\] \[NOTICE\] Signed in as <private>)");
        EXPECT_TRUE(std::regex_match(text, lines)) << text;
        EXPECT_EQ(child.wait(), 0);
    }
    const struct {
        const char* role;
        IPCError::Code code;
    } failures[] = {
        {"extension-answers-wrong-class", IPCError::Code::classNotAllowed},
        {"extension-dies", IPCError::Code::connectionInterrupted},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.role);
        auto child = start(c.role);
        const auto answer = askTransfers(*Common::ExtensionServiceConnection::connect(path));
        EXPECT_FALSE(answer.transfers);
        EXPECT_EQ(ipcCode(answer.error), c.code) << (answer.error ? answer.error->what() : "no error");
        EXPECT_EQ(child.wait(), 0);
    }
}

TEST(ExtensionServiceOnBus, CallerFindsTheListener) {
    enum class Bus { none, session };
    enum class Place { usual, elsewhere };
    const struct {
        const char* name;
        Bus bus;
        Listener listener;
        Place place;
    } cases[] = {
        {"the bus names a socket elsewhere", Bus::session, Listener::named, Place::elsewhere},
        {"no bus: the usual path", Bus::none, Listener::named, Place::usual},
        {"nobody owns the name: the usual path", Bus::session, Listener::bare, Place::usual},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bus == Bus::session && !TestSupport::hasSessionBus()) {
            EXPECT_FALSE(TestSupport::sessionBusRequired()) << "no session bus";
            continue;
        }
        TemporaryFolder folder;
        // The usual path is in the runtime folder; the bus, if any, comes from its address.
        std::vector<std::pair<std::string, std::string>> environment{{"XDG_RUNTIME_DIR", folder.path().string()}};
        if (c.bus == Bus::none) environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", "");
        auto listener = ChildProcess::play(
            {.role = c.listener == Listener::named ? "extension-listens" : "extension-listens-bare",
             .environment = environment,
             .argument = c.place == Place::elsewhere ? (folder.path() / "elsewhere.sock").string() : ""});
        ASSERT_EQ(listener.receive(60s), 'R');
        EXPECT_EQ(ChildProcess::play({.role = "extension-caller", .environment = environment}).wait(), 0);
        EXPECT_TRUE(listener.send());
        EXPECT_EQ(listener.receive(60s), 'S');
        if (c.bus == Bus::session) {
            const auto bus = Platform::detail::openSessionBus();
            EXPECT_EQ(Platform::detail::busNameState(bus.bus.get(), Common::extensionServiceBusName),
                      Platform::detail::BusNameState::absent)
                << "the name outlived its listener";
        }
        EXPECT_EQ(listener.wait(), 0);
    }
}

// A raw client: sends `bytes` and reports whether the listener then closed the connection.
bool listenerCloses(const std::filesystem::path& path, const std::string& bytes, bool endWriting) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{.sun_family = AF_UNIX};
    path.native().copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (endWriting) ::shutdown(fd, SHUT_WR);
    pollfd readable{fd, POLLIN, 0};
    char byte = 0;
    const bool closed = ::poll(&readable, 1, 10'000) == 1 && ::recv(fd, &byte, 1, 0) == 0;
    ::close(fd);
    return closed;
}

std::string frame(std::string payload, std::uint8_t head = 0x11) {
    auto bytes = Platform::detail::encodeFrame({.kind = Platform::detail::FrameKind::call, .callID = 1, .payload = std::move(payload)});
    bytes[4] = static_cast<char>(head);
    return bytes;
}

TEST(ExtensionService, BadFramesCloseOnlyTheirConnection) {
    TemporaryFolder folder;
    const auto path = folder.path() / "service.sock";
    Common::ExtensionServiceListener listener(std::make_shared<TwoTransfers>(folder.path()), path);
    const Common::detail::ServiceCall integerArgument{.selector = std::string(ExtensionService::currentTransfersSelector)};
    auto wrongClass = Platform::KeyedArchiver::archivedData(integerArgument, true);
    wrongClass.insert(wrongClass.find(R"("selector")"), R"("0":{"integer":5},)");
    const struct {
        const char* name;
        std::string bytes;
        bool endWriting;
    } cases[] = {
        {"oversized length", std::string("\xff\xff\xff\xff\x11", 5), false},
        {"truncated frame", frame("{}").substr(0, 8), true},
        {"garbage archive", frame("not an archive"), false},
        {"unknown version", frame("{}", 0x71), false},
        {"argument of a class not allowed", frame(wrongClass), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(listenerCloses(path, c.bytes, c.endWriting));
        const auto answer = askTransfers(*Common::ExtensionServiceConnection::connect(path));
        EXPECT_FALSE(answer.error) << "the next client is served";
    }
}

TEST(ExtensionService, AddressIsTakenOnlyFromADeadListener) {
    TemporaryFolder folder;
    const auto path = folder.path() / "service.sock";
    const auto service = std::make_shared<TwoTransfers>(folder.path());
    {
        // A socket file nobody listens on, as a crashed listener leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{.sun_family = AF_UNIX};
        path.native().copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    Common::ExtensionServiceListener live(service, path);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    try {
        Common::ExtensionServiceListener second(service, path);
        ADD_FAILURE() << "a live listener's address was taken";
    } catch (const IPCError& error) {
        EXPECT_EQ(error.code(), IPCError::Code::addressInUse);
    }
    EXPECT_FALSE(askTransfers(*Common::ExtensionServiceConnection::connect(path)).error) << "the first still serves";
}

TEST(ExtensionService, SilentListenerTimesOut) {
    TemporaryFolder folder;
    const auto path = folder.path() / "service.sock";
    Platform::MessageListener silent(path, Common::extensionServiceInterface(), [](auto&&...) {});
    const auto service = Common::ExtensionServiceConnection::connect(path, {.timeout = 200ms});
    EXPECT_EQ(ipcCode(askTransfers(*service).error), IPCError::Code::timedOut);
}

TEST(ExtensionService, SocketPathFollowsTheRuntimeFolder) {
    StoreTestSupport::TemporaryRoot root;
    const std::string file = std::string(Common::extensionServiceName) + ".sock";
    const auto inContainer = root.path() / Common::appGroupIdentifier / file;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    const struct {
        const char* name;
        const char* runtime;  // null: unset
        std::filesystem::path expected;
    } cases[] = {
        {"runtime folder", "/run/user/4242", std::filesystem::path("/run/user/4242") / file},
        {"unset", nullptr, inContainer},
        {"relative runtime folder", "run", inContainer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.runtime) {
            ::setenv("XDG_RUNTIME_DIR", c.runtime, 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
        EXPECT_EQ(Common::extensionServiceSocketPath(), c.expected);
    }
    if (previous) {
        ::setenv("XDG_RUNTIME_DIR", previous->c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
