// SSH logins against a real OpenSSH sshd on 127.0.0.1: the known-hosts
// question and file, expected fingerprints, password and key
// authentication, and the shell on a "korvex" PTY.
#include "login_driver.h"

#include "net/knownhosts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace logintest;

namespace {

const std::string question = "Are you sure you want to continue connecting yes/no?";

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// SHA-1 of the key blob in a .pub file, as "xx:xx:...".
std::string fingerprintOf(const std::string& pubFile)
{
    std::string hex;
    kvxtest::runCommand("awk '{print $2}' '" + pubFile + "' | base64 -d | sha1sum | cut -c1-40", &hex);
    std::string out;
    for (size_t i = 0; i + 1 < hex.size() && i < 40; i += 2) {
        if (!out.empty()) out += ':';
        out += hex.substr(i, 2);
    }
    return out;
}

struct SshEnv : LoginEnv {
    kvxtest::SshServer server;
    std::string knownHosts;
    int dialogs = 0;
    std::string password = kvxtest::TEST_PASSWORD;
    int32_t answer = PID_YES;

    SshEnv(const std::string& name) : LoginEnv(name)
    {
        knownHosts = dir + "/known_hosts";
        std::ofstream(knownHosts).close();
        cfgSetString("Hosts", "SSHKnownHostsFile", knownHosts.c_str());
        headlessSetBoxPolicy([this](const HeadlessBox& b) {
            return (b.flags & 0xF) == PMB_YESNO ? answer : PID_OK;
        });
        headlessSetDialogPolicy([this](PDlgForm& dialog) {
            ++dialogs;
            for (int i = 0; i < dialog.count; ++i)
                if (dialog.controls[i].kind == PCtlKind::Password)
                    std::snprintf(dialog.controls[i].text, (size_t)dialog.controls[i].textSize, "%s", password.c_str());
            return (int32_t)PID_OK;
        });
    }

    bool start(const kvxtest::SshServerOptions& options)
    {
        if (!kvxtest::startSshServer(server, options)) return false;
        cfgSetString("Hosts", "H00", "127.0.0.1");
        cfgSetString("Hosts", "SSHPort00", std::to_string(server.port).c_str());
        return true;
    }

    int login()
    {
        LIBSSH2_SESSION* session = nullptr;
        int s = comHostLogin("127.0.0.1", kvxtest::TEST_USER, KVX_DESC_SSH, host.wnd, &session);
        if (s >= 0) {
            host.d = comNewDescriptor(KVX_DESC_SSH, s, session);
            host.loginAtWrite = true;
        }
        EXPECT_EQ(s >= 0, session != nullptr);
        return s;
    }

    // The shell answers on the PTY the login asked for.
    void expectShell()
    {
        ASSERT_NE(host.d, nullptr);
        ASSERT_TRUE(pumpUntil([&] { return host.loginResult != -100; }));
        ASSERT_EQ(host.loginResult, 1) << boxTexts();
        ASSERT_TRUE(runShell(host, "echo TERM=$TERM user=$(id -un) size=$(stty size):end\n",
                             std::string("TERM=korvex user=") + kvxtest::TEST_USER + " size=24 80:end"))
            << host.received << boxTexts();
    }

    void logout()
    {
        if (!host.d) return;
        korvexClose(host.d);
        destroy(host.d);
        host.d = nullptr;
        host.loginResult = -100;
        host.received.clear();
    }

    std::vector<HeadlessBox> questions() const
    {
        std::vector<HeadlessBox> q;
        for (const auto& b : headlessBoxes())
            if ((b.flags & 0xF) == PMB_YESNO) q.push_back(b);
        return q;
    }

    bool boxShown(const std::string& text) const
    {
        for (const auto& b : headlessBoxes())
            if (b.text == text) return true;
        return false;
    }
};

bool knownByKeygen(const std::string& file, std::string* line)
{
    return kvxtest::runCommand("ssh-keygen -F 127.0.0.1 -f '" + file + "'", line) == 0;
}

} // namespace

TEST(SshHost, UnknownRsaHostAsksAddsKeyAndIsKnownNextTime)
{
    SshEnv env("login-ssh-unknown");
    ASSERT_TRUE(env.start({})) << env.server.error;

    ASSERT_GE(env.login(), 0) << boxTexts();
    auto q = env.questions();
    ASSERT_EQ(q.size(), 1u) << boxTexts();
    EXPECT_EQ(q[0].caption, "SSH");
    EXPECT_EQ(q[0].text, "The authenticity of host '127.0.0.1' can't be established.\nThe host was not found in file " +
                             env.knownHosts + "\nRSA key fingerprint: " + fingerprintOf(env.server.rsaHostKey + ".pub") +
                             "\n\n" + question);
    EXPECT_TRUE(env.boxShown("Warning: Permanently added '127.0.0.1' (RSA) to list of known hosts")) << boxTexts();
    env.expectShell();

    std::string line;
    ASSERT_TRUE(knownByKeygen(env.knownHosts, &line)) << slurp(env.knownHosts);
    EXPECT_NE(line.find("127.0.0.1 ssh-rsa "), std::string::npos) << line;
    EXPECT_NE(line.find(std::string("Added by KORVEX user ") + kvxtest::TEST_USER), std::string::npos) << line;

    env.logout();
    headlessClearBoxes();
    ASSERT_GE(env.login(), 0) << boxTexts();
    EXPECT_TRUE(headlessBoxes().empty()) << boxTexts();
    env.expectShell();
}

TEST(SshHost, Ed25519KeyIsWrittenAndNamedWithItsType)
{
    SshEnv env("login-ssh-ed25519");
    ASSERT_TRUE(env.start({.hostKeys = kvxtest::SSH_HOSTKEY_ED25519})) << env.server.error;

    ASSERT_GE(env.login(), 0) << boxTexts();
    auto q = env.questions();
    ASSERT_EQ(q.size(), 1u) << boxTexts();
    EXPECT_NE(q[0].text.find("\nED25519 key fingerprint: " + fingerprintOf(env.server.ed25519HostKey + ".pub") + "\n"),
              std::string::npos)
        << q[0].text;
    EXPECT_TRUE(env.boxShown("Warning: Permanently added '127.0.0.1' (ED25519) to list of known hosts")) << boxTexts();
    std::string line;
    ASSERT_TRUE(knownByKeygen(env.knownHosts, &line)) << slurp(env.knownHosts);
    EXPECT_NE(line.find("127.0.0.1 ssh-ed25519 "), std::string::npos) << line;
    env.logout();

    headlessClearBoxes();
    ASSERT_GE(env.login(), 0) << boxTexts();
    EXPECT_TRUE(env.questions().empty()) << boxTexts();
}

TEST(SshHost, ChangedHostKeyShowsMismatchAndNoEndsWithMinus6)
{
    SshEnv env("login-ssh-changed");
    ASSERT_TRUE(env.start({})) << env.server.error;
    // A known entry for the host with another RSA key.
    std::string other = env.dir + "/other_rsa";
    ASSERT_EQ(kvxtest::runCommand("ssh-keygen -q -N '' -t rsa -f '" + other + "'"), 0);
    std::string blob;
    kvxtest::runCommand("awk '{print $1\" \"$2}' '" + other + ".pub'", &blob);
    std::ofstream(env.knownHosts) << "127.0.0.1 " << blob;
    std::string before = slurp(env.knownHosts);

    env.answer = PID_NO;
    EXPECT_EQ(env.login(), -6);
    auto q = env.questions();
    ASSERT_EQ(q.size(), 1u) << boxTexts();
    EXPECT_NE(q[0].text.find("\nThe host was found but the fingerprint does not match in file " + env.knownHosts + "\n"),
              std::string::npos)
        << q[0].text;
    EXPECT_EQ(slurp(env.knownHosts), before);

    // Yes adds a second entry for the same host.
    env.answer = PID_YES;
    headlessClearBoxes();
    ASSERT_GE(env.login(), 0) << boxTexts();
    std::string lines = slurp(env.knownHosts);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    env.expectShell();
}

TEST(SshHost, ExpectedFingerprintAddsKeyWithoutAskingAndIsCleared)
{
    SshEnv env("login-ssh-expected");
    ASSERT_TRUE(env.start({})) << env.server.error;
    std::string fp = fingerprintOf(env.server.rsaHostKey + ".pub");
    ASSERT_EQ(fp.size(), 59u);
    cfgSetString("Hosts", "SSHFingerprint00", fp.c_str());

    ASSERT_GE(env.login(), 0) << boxTexts();
    EXPECT_TRUE(env.questions().empty()) << boxTexts();
    EXPECT_TRUE(knownByKeygen(env.knownHosts, nullptr));
    char left[64];
    cfgGetString("Hosts", "SSHFingerprint00", "", left, sizeof left);
    EXPECT_STREQ(left, "");
    EXPECT_EQ(slurp(env.ini).find("SSHFingerprint00"), std::string::npos) << slurp(env.ini);
    env.expectShell();
}

TEST(SshHost, WrongExpectedFingerprintStillAsks)
{
    SshEnv env("login-ssh-wrongfp");
    ASSERT_TRUE(env.start({})) << env.server.error;
    cfgSetString("Hosts", "SSHFingerprint00", "00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:00:11:22:33");
    env.answer = PID_NO;
    EXPECT_EQ(env.login(), -6);
    EXPECT_EQ(env.questions().size(), 1u) << boxTexts();
}

TEST(SshHost, MissingKnownHostsFileFailsWithReadMessage)
{
    SshEnv env("login-ssh-nofile");
    ASSERT_TRUE(env.start({})) << env.server.error;
    std::string missing = env.dir + "/no/such/file";
    cfgSetString("Hosts", "SSHKnownHostsFile", missing.c_str());
    EXPECT_EQ(env.login(), -6);
    ASSERT_FALSE(headlessBoxes().empty());
    EXPECT_EQ(headlessBoxes()[0].text.rfind("The known host file " + missing + " cannot be read\n", 0), 0u)
        << boxTexts();
    EXPECT_EQ(headlessBoxes()[0].caption, "SSH");
}

TEST(SshHost, ThreeWrongPasswordsGiveMinus7)
{
    SshEnv env("login-ssh-badpw");
    ASSERT_TRUE(env.start({})) << env.server.error;
    env.password = "not-the-password";
    EXPECT_EQ(env.login(), -7);
    EXPECT_EQ(env.dialogs, 3);
    ASSERT_FALSE(headlessBoxes().empty());
    const HeadlessBox& last = headlessBoxes().back();
    EXPECT_EQ(last.caption, "ERROR");
    EXPECT_EQ(last.text.rfind("Authentication by SSH public key failed [", 0), 0u) << boxTexts();
    ASSERT_FALSE(headlessDialogs().empty());
    EXPECT_EQ(headlessDialogs()[0].id, 119);
    EXPECT_EQ(headlessDialogs()[0].title, "SSH Username & Password");
}

TEST(SshHost, CancelAtFirstPromptGivesMinus7)
{
    SshEnv env("login-ssh-cancel");
    ASSERT_TRUE(env.start({})) << env.server.error;
    headlessSetDialogPolicy([&](PDlgForm&) {
        ++env.dialogs;
        return (int32_t)PID_CANCEL;
    });
    EXPECT_EQ(env.login(), -7);
    EXPECT_EQ(env.dialogs, 1);
}

TEST(SshHost, PasswordOnSecondAttemptLogsIn)
{
    SshEnv env("login-ssh-retry");
    ASSERT_TRUE(env.start({})) << env.server.error;
    headlessSetDialogPolicy([&](PDlgForm& dialog) {
        ++env.dialogs;
        const char* pw = env.dialogs == 1 ? "wrong" : kvxtest::TEST_PASSWORD;
        for (int i = 0; i < dialog.count; ++i)
            if (dialog.controls[i].kind == PCtlKind::Password)
                std::snprintf(dialog.controls[i].text, (size_t)dialog.controls[i].textSize, "%s", pw);
        return (int32_t)PID_OK;
    });
    ASSERT_GE(env.login(), 0) << boxTexts();
    EXPECT_EQ(env.dialogs, 2);
    env.expectShell();
}

TEST(SshHost, PublicKeyLogsInWithoutDialog)
{
    SshEnv env("login-ssh-key");
    ASSERT_TRUE(env.start({.password = false})) << env.server.error;
    cfgSetString("Hosts", "SSHKeyFile", env.server.clientKey.c_str());
    ASSERT_GE(env.login(), 0) << boxTexts();
    EXPECT_EQ(env.dialogs, 0);
    env.expectShell();
}

TEST(SshHost, NoUsableMethodGivesMinus8)
{
    SshEnv env("login-ssh-nomethod");
    // Only public keys, and no key file configured.
    ASSERT_TRUE(env.start({.password = false})) << env.server.error;
    EXPECT_EQ(env.login(), -8);
    EXPECT_TRUE(env.boxShown("No supported SSH authentication methods found")) << boxTexts();
}

TEST(SshHost, KeyboardInteractiveAnswersThePromptWithThePassword)
{
    SshEnv env("login-ssh-kbdint");
    ASSERT_TRUE(env.start({.password = false, .keyboardInteractive = true})) << env.server.error;
    ASSERT_GE(env.login(), 0) << boxTexts() << slurp(env.server.log);
    EXPECT_EQ(env.dialogs, 1);
    env.expectShell();
}

TEST(SshHost, EndOfFilePostsCloseOnce)
{
    SshEnv env("login-ssh-eof");
    ASSERT_TRUE(env.start({})) << env.server.error;
    ASSERT_GE(env.login(), 0) << boxTexts();
    EXPECT_EQ(env.screen.writable, 1);
    env.expectShell();
    ASSERT_TRUE(sendText(env.host, "exit\n"));
    ASSERT_TRUE(pumpUntil([&] { return env.host.closed; })) << env.host.received;
    // Reads after the end see it again; the close is not posted again.
    uint8_t buf[64];
    for (int i = 0; i < 3; ++i) korvexRead(env.host.d, buf, sizeof buf);
    while (platPump(0) > 0) {
    }
    EXPECT_EQ(env.host.closeEvents, 1);
    EXPECT_EQ(env.host.d->closePosted, 1);
}

TEST(SshFingerprint, TextAndExpectedForms)
{
    uint8_t hash[SSH_FINGERPRINT_LEN];
    for (int i = 0; i < SSH_FINGERPRINT_LEN; ++i) hash[i] = (uint8_t)(i * 13 + 1);
    char text[SSH_FINGERPRINT_TEXT];
    sshFingerprintText(hash, text);
    EXPECT_STREQ(text, "01:0e:1b:28:35:42:4f:5c:69:76:83:90:9d:aa:b7:c4:d1:de:eb:f8");
    EXPECT_TRUE(sshFingerprintMatches(text, hash));
    EXPECT_TRUE(sshFingerprintMatches("01-0E-1B-28-35-42-4F-5C-69-76-83-90-9D-AA-B7-C4-D1-DE-EB-F8", hash));
    EXPECT_FALSE(sshFingerprintMatches("01:0e:1b", hash));
    EXPECT_FALSE(sshFingerprintMatches("", hash));
    EXPECT_FALSE(sshFingerprintMatches("01:0e:1b:28:35:42:4f:5c:69:76:83:90:9d:aa:b7:c4:d1:de:eb:f9", hash));
}
