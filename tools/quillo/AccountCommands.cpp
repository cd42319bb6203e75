// login, logout, whoami: the sign-in kept in the library's keychain and shared settings.
#include <cstdio>

#include <termios.h>
#include <unistd.h>

#include "Common/auth/Credential.h"
#include "Common/auth/CredentialParameter.h"
#include "Common/auth/KeychainManager.h"
#include "Common/auth/OAuthManager.h"
#include "Common/auth/SharedContainerDefaults.h"
#include "Common/auth/TarnUser.h"
#include "Common/connection/OAuthErrorBody.h"
#include "Common/connection/RailsError.h"
#include "Platform/core/RawValues.h"
#include "tools/quillo/Commands.h"
#include "tools/quillo/Failure.h"

namespace QuilloCli {

namespace {

// Longer input than this is not a password.
constexpr std::size_t maximumPasswordLength = 4096;

// Turns echo off for the life of the value and puts it back however the read ends.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

// One line of standard input without its line end.
std::string readLine() {
    std::string line;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
        if (line.size() == maximumPasswordLength) throw CliError::usage("the password is longer than 4096 bytes");
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Prompted without echo on a terminal; otherwise the first line of standard input, so
// scripts can pipe it in without it showing in the process list.
std::string readPassword() {
    std::string password;
    if (::isatty(STDIN_FILENO)) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        {
            EchoOff quiet(STDIN_FILENO);
            password = readLine();
        }
        std::fputc('\n', stderr);
    } else {
        password = readLine();
    }
    if (password.empty()) throw CliError::usage("no password given");
    return password;
}

std::shared_ptr<const Common::TarnUser> fetchUser(const Context& context) {
    return context.connection().makeAPICall(Common::WebService::AuthenticatedUserParameter(), std::nullopt, false).get();
}

template <class E>
nlohmann::json optionalRaw(const std::optional<E>& value) {
    if (!value) return nullptr;
    return std::string(Platform::rawValue(*value));
}

void showUser(const Context& context, const Common::TarnUser& user) {
    const auto& out = context.output();
    if (out.isJSON()) {
        out.json({{"id", user.id()},
                  {"account_id", user.accountId()},
                  {"login", user.login() ? nlohmann::json(*user.login()) : nlohmann::json(nullptr)},
                  {"name", user.name() ? nlohmann::json(*user.name()) : nlohmann::json(nullptr)},
                  {"role", optionalRaw(user.role())},
                  {"type", optionalRaw(user.type())},
                  {"environment", environmentName(context.backend().domain())},
                  {"server", context.baseURL().absoluteString()}});
        return;
    }
    const auto orDash = [](const auto& value) { return value ? std::string(*value) : std::string("-"); };
    const auto rawOrDash = [](const auto& value) { return value ? std::string(Platform::rawValue(*value)) : std::string("-"); };
    out.fields({{"Login", orDash(user.login())},
                {"Name", orDash(user.name())},
                {"User ID", std::to_string(user.id())},
                {"Account ID", std::to_string(user.accountId())},
                {"Role", rawOrDash(user.role())},
                {"Type", rawOrDash(user.type())},
                {"Environment", environmentName(context.backend().domain())},
                {"Server", context.baseURL().absoluteString()}});
}

struct LoginOptions {
    std::string user;
    std::optional<std::string> onetimeToken;
    std::optional<std::string> enterprise;
};

void login(Context& context, const LoginOptions& options) {
    using Common::WebService::CredentialParameter;
    const auto& backend = context.backend();
    const auto body = CredentialParameter::dataForCreate(backend.clientID(), backend.clientSecret(),
                                                         {options.user, readPassword()}, options.enterprise,
                                                         options.onetimeToken);
    std::shared_ptr<const Common::Credential> credential;
    try {
        credential = context.connection().makeAPICall(CredentialParameter(), body, false).get();
    } catch (const Common::RailsError& error) {
        if (const auto oauth = Common::OAuthErrorBody::from(error); oauth && oauth->isInvalidGrant()) {
            throw CliError(ExitCode::authentication, "wrong user name or password");
        }
        throw;
    }
    // Keychain first: the manager loads the selected domain's credential from there.
    context.keychain().setCredential(*credential, context.domain());
    context.selectDomain();
    auto& settings = context.settings();
    settings.setAccount(options.user);
    settings.setCredential(credential);
    context.oauth().setCredential(credential);
    context.remember();
    // A credential that arrives already expired is refreshed before its first use.
    context.requireSignIn();
    const auto user = fetchUser(context);
    settings.setCurrentUser(user);
    if (context.output().isJSON()) {
        showUser(context, *user);
    } else {
        context.output().line("Signed in as " + user->login().value_or(credential->login()) + " (" +
                              environmentName(backend.domain()) + ", " + context.baseURL().absoluteString() + ")");
    }
}

void logout(Context& context) {
    context.keychain().removeCredential();
    auto& settings = context.settings();
    settings.setCredential(nullptr);
    settings.setCurrentUser(nullptr);
    settings.setAccount(std::nullopt);
    context.oauth().setCredential(nullptr);
    if (context.output().isJSON()) {
        context.output().json({{"signed_in", false}});
    } else {
        context.output().line("Signed out");
    }
}

void whoami(Context& context) {
    context.requireSignIn();
    const auto user = fetchUser(context);
    context.settings().setCurrentUser(user);
    showUser(context, *user);
}

}  // namespace

void addAccountCommands(Commands& commands) {
    auto options = std::make_shared<LoginOptions>();
    auto* loginCommand = commands.add("login", "Sign in; the password is prompted for, or read from standard input",
                                      [options](Context& context) { login(context, *options); });
    loginCommand->add_option("user,--user", options->user, "User name")->required();
    loginCommand->add_option("--onetime-token", options->onetimeToken, "One-time token of two-step sign-in");
    loginCommand->add_option("--enterprise", options->enterprise, "Enterprise account to sign in to");

    commands.add("logout", "Remove the sign-in from the keychain and the shared settings", logout);
    commands.add("whoami", "Show the signed-in user", whoami);
}

}  // namespace QuilloCli
