#pragma once
// The SSH host-key check against the known-hosts file (OpenSSH format):
// a known key is accepted at once; an unknown or changed one is accepted
// when it carries the fingerprint the host list expects, or when the user
// answers Yes, and is then added to the file.
#include <cstdint>
#include <libssh2.h>

constexpr int SSH_FINGERPRINT_LEN = 20;         // SHA-1
constexpr int SSH_FINGERPRINT_TEXT = 3 * SSH_FINGERPRINT_LEN;  // "xx:" * 20, with the NUL
constexpr int SSH_EXPECTED_MAX = 60;            // host list entry, characters
constexpr int SSH_PATH_MAX = 259;
constexpr int SSH_MESSAGE_MAX = 1281;
constexpr int SSH_LIBERROR_MAX = 255;

// The names of a host key type: the known-hosts type name and the label
// the messages use. Unknown types give nullptr.
struct SshKeyType {
    int hostKeyType;        // LIBSSH2_HOSTKEY_TYPE_*
    int knownHostType;      // LIBSSH2_KNOWNHOST_KEY_*
    const char* typeName;   // as in the known-hosts file
    const char* label;      // in the question and the warning
};
const SshKeyType* sshKeyType(int hostKeyType);

// "xx:xx:...:xx", 20 lower-case pairs.
void sshFingerprintText(const uint8_t (&hash)[SSH_FINGERPRINT_LEN], char (&out)[SSH_FINGERPRINT_TEXT]);
// Whether an expected fingerprint (20 hexadecimal pairs, one separator
// character between pairs) names hash.
bool sshFingerprintMatches(const char* expected, const uint8_t (&hash)[SSH_FINGERPRINT_LEN]);

// The known-hosts file in use: "Hosts"/"SSHKnownHostsFile", else
// "korvex_knownhosts" beside the configuration file (created empty when
// missing). Returns the length; 0 when no name can be given.
int sshKnownHostsFile(char* out, int size);

// Checks the session's host key for host. 0: accepted; -6: refused, or the
// file could not be read or written (the user has been told). On -6,
// description gets the disconnect description.
// expected: the host list's fingerprint for the host (may be empty);
// hostIndex >= 0 is the host's place in the list, whose fingerprint is
// cleared in the configuration once the key was added.
int sshCheckHostKey(LIBSSH2_SESSION* session, const char* host, const char* userId, const char* expected,
                    int hostIndex, char* description, int descriptionSize);
