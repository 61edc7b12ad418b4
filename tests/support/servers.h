#pragma once
// Real host daemons for the login tests, on 127.0.0.1 and free ports:
// inetutils telnetd and Debian's in.rlogind behind scripts/test-servers/
// inetd.py, and OpenSSH sshd with host keys generated for the run. All of
// them need root (CI runs as root). A start that fails returns false with
// the reason in `error`; tests must fail on it, never skip.
#include <string>
#include <sys/types.h>

namespace kvxtest {

// The account the hosts let in: password for SSH, ~/.rhosts for rlogin.
constexpr const char* TEST_USER = "korvextest";
constexpr const char* TEST_PASSWORD = "Korvex-Test-1";

// Creates or refreshes the test account (scripts/test-servers/account.sh).
bool ensureTestAccount(std::string* error);

struct TestServer {
    pid_t pid = -1;
    int port = 0;
    std::string dir;        // the run's own files (configuration, keys, logs)
    std::string log;        // the daemon's standard error
    std::string error;      // why the start failed

    TestServer() = default;
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;
    ~TestServer() { stop(); }
    // SIGTERM, then waits for the process; safe to call twice.
    void stop();
};

// telnetd with --exec-login=/bin/sh for every connection.
bool startTelnetServer(TestServer& server, const std::string& name = "telnetd");
// in.rlogind for every connection; logs the test account in through .rhosts.
bool startRloginServer(TestServer& server, const std::string& name = "rlogind");

enum : unsigned {
    SSH_HOSTKEY_RSA = 0x1,
    SSH_HOSTKEY_ED25519 = 0x2,
};
struct SshServerOptions {
    unsigned hostKeys = SSH_HOSTKEY_RSA;
    bool password = true;               // PasswordAuthentication
    bool publicKey = true;              // PubkeyAuthentication, key in clientKey
    bool keyboardInteractive = false;   // through PAM
};
struct SshServer : TestServer {
    std::string rsaHostKey;     // private key files; ".pub" beside them
    std::string ed25519HostKey;
    std::string clientKey;      // private key of the test account (no pass phrase)
};
bool startSshServer(SshServer& server, const SshServerOptions& options, const std::string& name = "sshd");

// A free TCP port on 127.0.0.1 (bound once, then released).
int freeLocalPort();
// Runs a shell command; returns its exit status (-1 when it could not run)
// and its standard output in *out when given.
int runCommand(const std::string& command, std::string* out = nullptr);

} // namespace kvxtest
