#include "support/servers.h"
#include "support/kvxtest.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kvxtest {

namespace {

constexpr int START_WAIT_MS = 15000;

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Starts argv with stdout on a pipe (returned in *outFd when asked) and
// stderr appended to logPath.
pid_t spawn(const std::vector<std::string>& argv, const std::string& logPath, int* outFd)
{
    int pipeFd[2] = {-1, -1};
    if (outFd && pipe(pipeFd) != 0) return -1;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        setpgid(0, 0);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(outFd ? pipeFd[1] : devnull, 1);
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(log >= 0 ? log : devnull, 2);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (outFd) {
        close(pipeFd[1]);
        *outFd = pipeFd[0];
    }
    return pid;
}

bool exited(pid_t pid, int* status)
{
    return waitpid(pid, status, WNOHANG) == pid;
}

// Reads the launcher's "port N" line.
bool readPortLine(TestServer& server, int fd)
{
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(START_WAIT_MS);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, (int)left) <= 0) break;
        char buf[64];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, (size_t)n);
    }
    close(fd);
    int port = 0;
    if (std::sscanf(line.c_str(), "port %d", &port) != 1 || port <= 0) {
        server.error = "launcher did not report its port; log: " + slurp(server.log);
        return false;
    }
    server.port = port;
    return true;
}

bool startUnderLauncher(TestServer& server, const std::string& name, const std::vector<std::string>& daemon)
{
    server.dir = scratchDir(name);
    server.log = server.dir + "/daemon.log";
    std::vector<std::string> argv{"python3", sourcePath("scripts/test-servers/inetd.py"), "--log", server.log, "--"};
    argv.insert(argv.end(), daemon.begin(), daemon.end());
    int fd = -1;
    server.pid = spawn(argv, server.log, &fd);
    if (server.pid < 0) {
        server.error = std::string("cannot start the launcher: ") + std::strerror(errno);
        return false;
    }
    if (!readPortLine(server, fd)) {
        server.stop();
        return false;
    }
    return true;
}

bool writeText(const std::string& path, const std::string& text, mode_t mode)
{
    std::ofstream out(path, std::ios::trunc);
    out << text;
    out.close();
    return out && chmod(path.c_str(), mode) == 0;
}

bool makeKey(const std::string& path, const char* type, std::string* error)
{
    std::remove(path.c_str());
    std::remove((path + ".pub").c_str());
    std::string cmd = std::string("ssh-keygen -q -N '' -t ") + type + " -f " + quote(path) + " 2>&1";
    std::string out;
    if (runCommand(cmd, &out) != 0) {
        *error = "ssh-keygen failed: " + out;
        return false;
    }
    return true;
}

} // namespace

void TestServer::stop()
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500 && !exited(pid, &status); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

int runCommand(const std::string& command, std::string* out)
{
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        if (out) out->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int freeLocalPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (bind(fd, (sockaddr*)&a, sizeof a) == 0 && getsockname(fd, (sockaddr*)&a, &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool ensureTestAccount(std::string* error)
{
    std::string out;
    std::string cmd = "sh " + quote(sourcePath("scripts/test-servers/account.sh")) + " " + TEST_USER + " " +
                      quote(TEST_PASSWORD) + " 2>&1";
    if (runCommand(cmd, &out) != 0) {
        if (error) *error = "cannot create the test account: " + out;
        return false;
    }
    return true;
}

bool startTelnetServer(TestServer& server, const std::string& name)
{
    return startUnderLauncher(server, name, {"/usr/sbin/telnetd", "--no-hostinfo", "--exec-login=/bin/sh"});
}

bool startRloginServer(TestServer& server, const std::string& name)
{
    if (!ensureTestAccount(&server.error)) return false;
    return startUnderLauncher(server, name, {"/usr/sbin/in.rlogind"});
}

namespace {

// 1 listening, 0 the port was taken (try another), -1 failed.
int startSshd(SshServer& server, const SshServerOptions& options, const std::string& authorized)
{
    std::string conf;
    conf += "ListenAddress 127.0.0.1\n";
    conf += "Port " + std::to_string(server.port) + "\n";
    if (options.hostKeys & SSH_HOSTKEY_RSA) conf += "HostKey " + server.rsaHostKey + "\n";
    if (options.hostKeys & SSH_HOSTKEY_ED25519) conf += "HostKey " + server.ed25519HostKey + "\n";
    // libssh2 1.10 signs RSA host keys only with SHA-1 ("ssh-rsa"), which
    // OpenSSH no longer offers by default.
    conf += "HostKeyAlgorithms +ssh-rsa\n";
    conf += "PidFile none\n";
    conf += std::string("UsePAM ") + (options.keyboardInteractive ? "yes" : "no") + "\n";
    conf += "StrictModes no\n";
    conf += "AuthorizedKeysFile " + authorized + "\n";
    conf += std::string("PubkeyAuthentication ") + (options.publicKey ? "yes" : "no") + "\n";
    conf += std::string("PasswordAuthentication ") + (options.password ? "yes" : "no") + "\n";
    conf += std::string("KbdInteractiveAuthentication ") + (options.keyboardInteractive ? "yes" : "no") + "\n";
    conf += "MaxAuthTries 10\n";
    conf += "PermitRootLogin no\n";
    conf += std::string("AllowUsers ") + TEST_USER + "\n";
    conf += "PrintMotd no\n";
    conf += "PrintLastLog no\n";
    std::string confPath = server.dir + "/sshd_config";
    if (!writeText(confPath, conf, 0644)) {
        server.error = "cannot write " + confPath;
        return -1;
    }
    mkdir("/run/sshd", 0755);

    server.pid = spawn({"/usr/sbin/sshd", "-D", "-e", "-f", confPath}, server.log, nullptr);
    if (server.pid < 0) {
        server.error = std::string("cannot start sshd: ") + std::strerror(errno);
        return -1;
    }
    for (int waited = 0; waited < START_WAIT_MS; waited += 20) {
        int status = 0;
        if (exited(server.pid, &status)) {
            server.pid = -1;
            std::string log = slurp(server.log);
            server.error = "sshd ended at start; log: " + log;
            return log.find("Address already in use") != std::string::npos ? 0 : -1;
        }
        if (slurp(server.log).find("Server listening") != std::string::npos) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    server.error = "sshd did not start listening; log: " + slurp(server.log);
    server.stop();
    return -1;
}

} // namespace

bool startSshServer(SshServer& server, const SshServerOptions& options, const std::string& name)
{
    if (!ensureTestAccount(&server.error)) return false;
    server.dir = scratchDir(name);
    server.log = server.dir + "/sshd.log";
    // The daemon reads the authorized keys as the test account.
    chmod(server.dir.c_str(), 0755);

    server.rsaHostKey = server.dir + "/host_rsa";
    server.ed25519HostKey = server.dir + "/host_ed25519";
    server.clientKey = server.dir + "/client_ed25519";
    if (!makeKey(server.rsaHostKey, "rsa", &server.error) || !makeKey(server.ed25519HostKey, "ed25519", &server.error))
        return false;
    if (!makeKey(server.clientKey, "ed25519", &server.error)) return false;
    std::string authorized = server.dir + "/authorized_keys";
    if (!writeText(authorized, slurp(server.clientKey + ".pub"), 0644)) {
        server.error = "cannot write " + authorized;
        return false;
    }

    // Another run may take the free port before sshd binds it: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        server.port = freeLocalPort();
        if (server.port <= 0) {
            server.error = "no free port";
            return false;
        }
        int rc = startSshd(server, options, authorized);
        if (rc > 0) return true;
        if (rc < 0) return false;
    }
    return false;
}

} // namespace kvxtest
