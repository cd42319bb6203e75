// Arbitrary bytes as the keychain's and the settings' files, whole or written over a
// page of a valid small store. Opening and reading them ends in a status or a typed
// error (a damaged keychain is kept aside and replaced); anything else is a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Platform/container/ApplicationGroupContainer.h"
#include "Platform/defaults/UserDefaults.h"
#include "Platform/keychain/Keychain.h"
#include "Platform/keychain/internal/SQLiteKeychainBackend.h"
#include "Platform/log/LogStore.h"

using Platform::detail::SQLiteKeychainBackend;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* suite = "group.fuzz.stores";
const Platform::StoreOptions noWaiting{.busyTimeout = 20ms};

struct Sandbox {
    fs::path root;
    Sandbox() {
        // Kept log lines would read as leaks to the fuzzer and slow every run down.
        Platform::LogStore::shared().setCapacity(0);
        std::string pattern = (fs::temp_directory_path() / "quillo-fuzz-stores-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        Platform::ApplicationGroupContainer::setRootDirectory(root);
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path keychainFile() const { return root / "Keychains" / "keychain.sqlite"; }
    fs::path settingsFile() const { return root / suite / "Preferences" / (std::string(suite) + ".sqlite"); }
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder holding only `bytes` as `file`.
void place(const fs::path& file, const std::string& bytes) {
    std::error_code ec;
    fs::remove_all(file.parent_path(), ec);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

void useKeychain(const fs::path& file) {
    Platform::Keychain keychain(std::make_shared<Platform::detail::SQLiteKeychainBackend>(file, noWaiting));
    std::vector<Platform::KeychainItem> items;
    (void)keychain.copyMatching({.matchLimit = Platform::KeychainMatchLimit::all, .returnData = true}, items);
    (void)keychain.add({.service = "fuzz", .account = "a", .valueData = "secret"});
    (void)keychain.update({.service = "fuzz"}, {.valueData = "changed"});
    (void)keychain.remove({.service = "fuzz"});
}

void useSettings() {
    try {
        auto defaults = Platform::UserDefaults::suite(suite, noWaiting);
        (void)defaults->dictionaryRepresentation();
        defaults->set(std::int64_t{1}, "k");
        (void)defaults->object("k");
    } catch (const Platform::UserDefaultsError& error) {
        (void)error.what();
    }
}

void exercise(const Sandbox& sandbox, const std::string& bytes) {
    place(sandbox.keychainFile(), bytes);
    useKeychain(sandbox.keychainFile());
    place(sandbox.settingsFile(), bytes);
    useSettings();
}

// Valid stores with a few rows, for the input to damage rather than replace.
struct Templates {
    std::string keychain;
    std::string settings;
    explicit Templates(const Sandbox& sandbox) {
        place(sandbox.keychainFile(), "");
        fs::remove(sandbox.keychainFile());
        {
            Platform::Keychain keychain(std::make_shared<Platform::detail::SQLiteKeychainBackend>(sandbox.keychainFile()));
            for (int i = 0; i < 20; ++i) {
                (void)keychain.add({.service = "s", .account = std::to_string(i), .valueData = std::string(300, 'x')});
            }
        }
        keychain = readFile(sandbox.keychainFile());
        {
            auto defaults = Platform::UserDefaults::suite(suite);
            for (int i = 0; i < 20; ++i) defaults->set(std::string(300, 'y'), "key" + std::to_string(i));
        }
        settings = readFile(sandbox.settingsFile());
    }
};

std::string overlaid(std::string base, const std::uint8_t* data, std::size_t size) {
    if (size < 2 || base.empty()) return base;
    const std::size_t offset = ((std::size_t{data[0]} << 8) | data[1]) * 16 % base.size();
    const std::size_t count = std::min(size - 2, base.size() - offset);
    base.replace(offset, count, reinterpret_cast<const char*>(data + 2), count);
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Sandbox sandbox;
    static const Templates templates(sandbox);
    exercise(sandbox, std::string(reinterpret_cast<const char*>(data), size));

    place(sandbox.keychainFile(), overlaid(templates.keychain, data, size));
    useKeychain(sandbox.keychainFile());
    place(sandbox.settingsFile(), overlaid(templates.settings, data, size));
    useSettings();
    return 0;
}
