#include "net/knownhosts.h"

#include "common/log.h"
#include "plat/plat.h"
#include "ui/profile.h"

#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Every type libssh2 can negotiate is written with its own name, so that
// the file stays readable by libssh2 and OpenSSH alike.
constexpr std::array<SshKeyType, 6> sshKeyTypes{{
    {LIBSSH2_HOSTKEY_TYPE_RSA, LIBSSH2_KNOWNHOST_KEY_SSHRSA, "ssh-rsa", "RSA"},
    {LIBSSH2_HOSTKEY_TYPE_DSS, LIBSSH2_KNOWNHOST_KEY_SSHDSS, "ssh-dss", "DSA"},
    {LIBSSH2_HOSTKEY_TYPE_ECDSA_256, LIBSSH2_KNOWNHOST_KEY_ECDSA_256, "ecdsa-sha2-nistp256", "ECDSA"},
    {LIBSSH2_HOSTKEY_TYPE_ECDSA_384, LIBSSH2_KNOWNHOST_KEY_ECDSA_384, "ecdsa-sha2-nistp384", "ECDSA"},
    {LIBSSH2_HOSTKEY_TYPE_ECDSA_521, LIBSSH2_KNOWNHOST_KEY_ECDSA_521, "ecdsa-sha2-nistp521", "ECDSA"},
    {LIBSSH2_HOSTKEY_TYPE_ED25519, LIBSSH2_KNOWNHOST_KEY_ED25519, "ssh-ed25519", "ED25519"},
}};

constexpr const char* KH_DEFAULT_NAME = "korvex_knownhosts";
constexpr int KH_TYPEMASK = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = (char)std::tolower((unsigned char)c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The library's last error message, at most 255 characters.
void lastLibError(LIBSSH2_SESSION* session, char (&out)[SSH_LIBERROR_MAX + 1])
{
    char* msg = nullptr;
    int len = 0;
    libssh2_session_last_error(session, &msg, &len, 0);
    std::snprintf(out, sizeof out, "%s", msg ? msg : "");
}

// Formats into a fixed text, cut at its end.
__attribute__((format(printf, 3, 4))) void khFormat(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(out, size, format, args);
    va_end(args);
}

void khBox(const char* text, uint32_t icon)
{
    // No owner: the login blocks the whole program anyway.
    platMessageBox(0, text, "SSH", PMB_OK | icon);
}

} // namespace

const SshKeyType* sshKeyType(int hostKeyType)
{
    for (const auto& t : sshKeyTypes)
        if (t.hostKeyType == hostKeyType) return &t;
    return nullptr;
}

void sshFingerprintText(const uint8_t (&hash)[SSH_FINGERPRINT_LEN], char (&out)[SSH_FINGERPRINT_TEXT])
{
    static constexpr char digits[] = "0123456789abcdef";
    int at = 0;
    for (int i = 0; i < SSH_FINGERPRINT_LEN; ++i) {
        if (i) out[at++] = ':';
        out[at++] = digits[hash[i] >> 4];
        out[at++] = digits[hash[i] & 0xF];
    }
    out[at] = 0;
}

bool sshFingerprintMatches(const char* expected, const uint8_t (&hash)[SSH_FINGERPRINT_LEN])
{
    if (!expected || !expected[0]) return false;
    size_t len = strnlen(expected, SSH_EXPECTED_MAX);
    size_t at = 0;
    for (int i = 0; i < SSH_FINGERPRINT_LEN; ++i) {
        if (i) ++at;    // the separator, whatever it is
        if (at + 2 > len) return false;
        int hi = hexDigit(expected[at]), lo = hexDigit(expected[at + 1]);
        if (hi < 0 || lo < 0 || (uint8_t)(hi * 16 + lo) != hash[i]) return false;
        at += 2;
    }
    return true;
}

int sshKnownHostsFile(char* out, int size)
{
    if (!out || size <= 0) return 0;
    int len = cfgGetString("Hosts", "SSHKnownHostsFile", "", out, size);
    if (len > 0) return len;
    const char* cfg = cfgFile();
    if (!cfg || !cfg[0]) return 0;
    const char* slash = std::strrchr(cfg, '/');
    int dirLen = slash ? (int)(slash - cfg) + 1 : 0;
    int n = std::snprintf(out, (size_t)size, "%.*s%s", dirLen, cfg, KH_DEFAULT_NAME);
    if (n < 0 || n >= size) {
        out[0] = 0;
        return 0;
    }
    if (std::FILE* f = std::fopen(out, "a")) std::fclose(f);
    return n;
}

int sshCheckHostKey(LIBSSH2_SESSION* session, const char* host, const char* userId, const char* expected,
                    int hostIndex, char* description, int descriptionSize)
{
    char file[SSH_PATH_MAX + 1];
    char libError[SSH_LIBERROR_MAX + 1];
    char text[SSH_MESSAGE_MAX];
    if (description && descriptionSize > 0) description[0] = 0;

    int fileLen = sshKnownHostsFile(file, (int)sizeof file);
    LIBSSH2_KNOWNHOSTS* hosts = libssh2_knownhost_init(session);
    if (!hosts || fileLen == 0 || libssh2_knownhost_readfile(hosts, file, LIBSSH2_KNOWNHOST_FILE_OPENSSH) < 0) {
        if (fileLen > 0) {
            lastLibError(session, libError);
            char head[SSH_MESSAGE_MAX];
            khFormat(head, sizeof head, "The known host file %s cannot be read", file);
            khFormat(text, sizeof text, "%s\n%s", head, libError);
        } else {
            khFormat(text, sizeof text, "SSHKnownHostsFile= parameter not defined");
        }
        khBox(text, PMB_ICONWARNING);
        if (hosts) libssh2_knownhost_free(hosts);
        return -6;
    }

    size_t keyLen = 0;
    int keyType = LIBSSH2_HOSTKEY_TYPE_UNKNOWN;
    const char* key = libssh2_session_hostkey(session, &keyLen, &keyType);
    int check = key ? libssh2_knownhost_check(hosts, host, key, keyLen, KH_TYPEMASK, nullptr)
                    : LIBSSH2_KNOWNHOST_CHECK_FAILURE;
    logPrintf("#sshCheckHostKey: host[%s] key type[%d] check[%d]\n", host, keyType, check);
    if (check == LIBSSH2_KNOWNHOST_CHECK_MATCH) {
        libssh2_knownhost_free(hosts);
        return 0;
    }

    uint8_t hash[SSH_FINGERPRINT_LEN] = {};
    if (const char* h = libssh2_hostkey_hash(session, LIBSSH2_HOSTKEY_HASH_SHA1)) std::memcpy(hash, h, sizeof hash);
    char fingerprint[SSH_FINGERPRINT_TEXT];
    sshFingerprintText(hash, fingerprint);

    const SshKeyType* type = sshKeyType(keyType);
    const char* label = type ? type->label : "RSA";
    char line1[SSH_MESSAGE_MAX], reason[SSH_MESSAGE_MAX], keyLine[SSH_MESSAGE_MAX];
    khFormat(line1, sizeof line1, "The authenticity of host '%s' can't be established.", host);
    if (check == LIBSSH2_KNOWNHOST_CHECK_MISMATCH)
        khFormat(reason, sizeof reason, "The host was found but the fingerprint does not match in file %s", file);
    else if (check == LIBSSH2_KNOWNHOST_CHECK_NOTFOUND)
        khFormat(reason, sizeof reason, "The host was not found in file %s", file);
    else
        khFormat(reason, sizeof reason, "Something prevented the SSH known host check to be made in file %s", file);
    khFormat(keyLine, sizeof keyLine, "%s key fingerprint: %s", label, fingerprint);
    khFormat(text, sizeof text, "%s\n%s\n%s\n\n%s", line1, reason, keyLine,
                  "Are you sure you want to continue connecting yes/no?");

    bool yes = sshFingerprintMatches(expected, hash) ||
               platMessageBox(0, text, "SSH", PMB_YESNO | PMB_ICONWARNING) == PID_YES;
    if (!yes) {
        libssh2_knownhost_free(hosts);
        if (description && descriptionSize > 0) khFormat(description, (size_t)descriptionSize, "%s", line1);
        return -6;
    }

    char comment[SSH_MESSAGE_MAX];
    char stamp[32] = "";
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    khFormat(comment, sizeof comment, "Added by KORVEX user %s %s", userId ? userId : "", stamp);
    int typeMask = 0;
    if (type)
        typeMask = type->knownHostType;
    else
        khBox("Unknown host key type", 0);
    int rc = libssh2_knownhost_addc(hosts, host, nullptr, key, keyLen, comment, std::strlen(comment),
                                    KH_TYPEMASK | typeMask, nullptr);
    if (rc == 0) rc = libssh2_knownhost_writefile(hosts, file, LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    if (rc < 0) {
        lastLibError(session, libError);
        char head[SSH_MESSAGE_MAX];
        khFormat(head, sizeof head, "The known host file %s cannot be saved", file);
        khFormat(text, sizeof text, "%s\n%s", head, libError);
        khBox(text, PMB_ICONWARNING);
        libssh2_knownhost_free(hosts);
        if (description && descriptionSize > 0) khFormat(description, (size_t)descriptionSize, "%s", line1);
        return -6;
    }
    khFormat(text, sizeof text, "Warning: Permanently added '%s' (%s) to list of known hosts", host, label);
    khBox(text, PMB_ICONWARNING);
    if (hostIndex >= 0) {
        char keyName[32];
        khFormat(keyName, sizeof keyName, "SSHFingerprint%02d", hostIndex);
        cfgSetString("Hosts", keyName, "");
    }
    libssh2_knownhost_free(hosts);
    return 0;
}
