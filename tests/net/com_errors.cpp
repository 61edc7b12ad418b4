// errno and resolver errors as Windows Sockets numbers, and the socket
// error boxes built from them.
#include "common/strtab.h"
#include "net/com_fixture.h"

#include <netdb.h>

namespace {

struct ErrCase {
    int err;
    int wsa;
};
constexpr ErrCase kErrno[] = {
    {0, 0},
    {EINTR, 10004},        {EBADF, 10009},         {EACCES, 10013},      {EFAULT, 10014},
    {EINVAL, 10022},       {EMFILE, 10024},        {EWOULDBLOCK, 10035}, {EAGAIN, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},      {ENOTSOCK, 10038},    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},     {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042}, {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045}, {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},    {ENETUNREACH, 10051},
    {ENETRESET, 10052},    {ECONNABORTED, 10053},  {ECONNRESET, 10054},  {ENOBUFS, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},      {ESHUTDOWN, 10058},   {EPIPE, 10058},
    {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},     {ECONNREFUSED, 10061}, {ELOOP, 10062},
    {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065},
};

TEST(ComErrno, MapsToWindowsSocketsNumbers)
{
    for (const ErrCase& c : kErrno)
        EXPECT_EQ(platWsaFromErrno(c.err), c.wsa) << "errno " << c.err << " (" << strerror(c.err) << ")";
}

TEST(ComErrno, ResolverErrorsMapToHostNotFoundFamily)
{
    constexpr ErrCase kResolver[] = {
        {0, 0}, {HOST_NOT_FOUND, 11001}, {TRY_AGAIN, 11002}, {NO_RECOVERY, 11003}, {NO_DATA, 11004},
    };
    for (const ErrCase& c : kResolver)
        EXPECT_EQ(platWsaFromResolver(c.err), c.wsa) << "h_errno " << c.err;
}

TEST(ComErrno, EveryMappedNumberHasItsText)
{
    for (const ErrCase& c : kErrno)
        if (c.wsa) {
            EXPECT_STRNE(strGet(c.wsa), "") << c.wsa;
        }
    for (int wsa = 11001; wsa <= 11004; ++wsa)
        EXPECT_STRNE(strGet(wsa), "") << wsa;
}

struct TextCase {
    const char* format;
    int code;
    const char* text;
};
constexpr TextCase kTexts[] = {
    {"comAccept:Error [%d] accepting connection.", 10061,
     "comAccept:Error [10061] accepting connection.\nThe attempt to connect was rejected. Check that the server "
     "supports the rlogin, telnet or ssh connection you are trying to use."},
    {"Error [%d] setting socket to ASYNC", 10004,
     "Error [10004] setting socket to ASYNC\nInterrupted system call: the blocking call was canceled"},
    {"x[%d]", 11004, "x[11004]\nValid name, no data record of requested type"},
    {"x[%d]", 10100, "x[10100]\n"},   // in the range without a text: an empty line
    {"x[%d]", 10003, "x[10003]"},     // outside the range: nothing added
    {"x[%d]", 11005, "x[11005]"},
    {"comAccept:Error1 [%d] establishing connection", 5, "comAccept:Error1 [5] establishing connection"},
};

TEST(ComErrorText, AppendsTheSocketErrorText)
{
    for (const TextCase& c : kTexts) {
        char out[COM_TEXT_MAX];
        int n = comErrorText(out, sizeof out, c.format, c.code);
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(n, (int)strlen(c.text));
    }
}

TEST(ComErrorText, StaysWithinTheText)
{
    std::string longFormat(COM_TEXT_MAX + 100, 'f');
    longFormat += "%d";
    char out[COM_TEXT_MAX];
    int n = comErrorText(out, sizeof out, longFormat.c_str(), 10060);
    EXPECT_EQ(n, COM_TEXT_MAX - 1);
    EXPECT_EQ(strlen(out), (size_t)COM_TEXT_MAX - 1);
    char small[16];
    EXPECT_EQ(comErrorText(small, sizeof small, "E%d", 10060), 15);
    EXPECT_STREQ(small, "E10060\nAttempt ");
}

TEST(ComErrorBox, HostBoxNamesHostPortAndProtocol)
{
    headlessReset();
    headlessEchoBoxes(false);
    comHostErrorBox("Error connecting to host", 10061, "zhost", 23, "telnet");
    comHostErrorBox("comHostLogin:Error [%d] on comBind", 10048, "zhost", 40000, "rlogin");
    ASSERT_EQ(headlessBoxes().size(), 2u);
    EXPECT_EQ(headlessBoxes()[0].text,
              "Error connecting to host\nThe attempt to connect was rejected. Check that the server supports the "
              "rlogin, telnet or ssh connection you are trying to use.\nOn Host [zhost], port [23] using 'telnet' protocol");
    EXPECT_EQ(headlessBoxes()[0].caption, "ERROR");
    EXPECT_EQ(headlessBoxes()[0].flags & 0x0F, PMB_OK);
    // The port shows as a signed 16-bit number.
    EXPECT_EQ(headlessBoxes()[1].text,
              "comHostLogin:Error [10048] on comBind\nThe specified address is already in use\n"
              "On Host [zhost], port [-25536] using 'rlogin' protocol");
}

struct QuadCase {
    const char* text;
    int ok;
    uint8_t addr[4];
};
constexpr QuadCase kQuads[] = {
    {"10.1.2.3", 1, {10, 1, 2, 3}},
    {"10.1.2.3xyz", 1, {10, 1, 2, 3}},
    {"192.168.1.20", 1, {192, 168, 1, 20}},
    {"300.1.1.1", 1, {44, 1, 1, 1}},     // kept to 8 bits
    {"...", 1, {0, 0, 0, 0}},
    {"10.1.2", 0, {}},
    {"10.1.2.3.4", 0, {}},                // a fourth dot ends it: four counted
    {"alpha.beta", 0, {}},
    {"2ndhost", 0, {}},
    {"", 0, {}},
};

TEST(ComDottedQuad, ParsesByTheDotCount)
{
    for (const QuadCase& c : kQuads) {
        uint8_t out[4] = {9, 9, 9, 9};
        EXPECT_EQ(comParseDottedQuad(c.text, out), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::memcmp(out, c.addr, 4), 0) << c.text;
        }
    }
}

TEST(ComHostAddr, DottedQuadOrResolvedName)
{
    uint8_t out[4] = {};
    EXPECT_EQ(comHostAddr("10.1.2.3xyz", out), 1);
    EXPECT_EQ(std::memcmp(out, "\x0A\x01\x02\x03", 4), 0);
    EXPECT_EQ(comHostAddr("localhost", out), 1);
    EXPECT_EQ(std::memcmp(out, "\x7F\x00\x00\x01", 4), 0);
    // Starts with a digit but is a name: looked up, not taken as 2.0.0.0.
    EXPECT_EQ(comHostAddr("2ndhost.invalid", out), 0);
    EXPECT_EQ(comLastError(), 11001);
    EXPECT_EQ(comHostAddr("", out), 0);
}

class ComStartUpAddr : public ::testing::Test {
protected:
    void SetUp() override
    {
        headlessReset();
        headlessEchoBoxes(false);
        unsetenv("KORVEXADDR");
        unsetenv("korvexaddr");
    }
    void TearDown() override
    {
        unsetenv("KORVEXADDR");
        unsetenv("korvexaddr");
        comShutDown();
    }
};

TEST_F(ComStartUpAddr, EnvironmentFixesTheAddress)
{
    setenv("KORVEXADDR", "192.168.1.20", 1);
    setenv("korvexaddr", "10.9.9.9", 1);
    ASSERT_EQ(comStartUp("/tmp/korvex.ini"), 0);
    EXPECT_STREQ(comConfigPath(), "/tmp/korvex.ini");
    EXPECT_TRUE(comAddrFixed());
    EXPECT_EQ(std::memcmp(comWorkstationAddr(), "\xC0\xA8\x01\x14", 4), 0);
    // getsockname is never asked: even a socket that is not one will do.
    EXPECT_EQ(comLocalAddr(-1), 1);
    EXPECT_TRUE(headlessBoxes().empty());
}

TEST_F(ComStartUpAddr, LowerCaseNameIsTheFallback)
{
    setenv("korvexaddr", "10.9.9.9", 1);
    ASSERT_EQ(comStartUp(""), 0);
    EXPECT_TRUE(comAddrFixed());
    EXPECT_EQ(std::memcmp(comWorkstationAddr(), "\x0A\x09\x09\x09", 4), 0);
}

TEST_F(ComStartUpAddr, ThreePartValueIsIgnored)
{
    setenv("KORVEXADDR", "192.168.1", 1);
    ASSERT_EQ(comStartUp(""), 0);
    EXPECT_FALSE(comAddrFixed());
    EXPECT_EQ(std::memcmp(comWorkstationAddr(), "\0\0\0\0", 4), 0);
    EXPECT_EQ(comLocalAddr(-1), 0);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "comHostLogin: Error [10009] determining IP addr\nBad file number");
}

TEST_F(ComStartUpAddr, LocalAddrOfAConnectedSocket)
{
    ASSERT_EQ(comStartUp(""), 0);
    int a[2];
    // A TCP connection to ourselves over loopback.
    int l = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(l, (sockaddr*)&sa, sizeof sa), 0);
    ASSERT_EQ(listen(l, 1), 0);
    socklen_t len = sizeof sa;
    getsockname(l, (sockaddr*)&sa, &len);
    a[0] = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(a[0], (sockaddr*)&sa, sizeof sa), 0);
    a[1] = accept(l, nullptr, nullptr);
    EXPECT_EQ(comLocalAddr(a[0]), 1);
    EXPECT_EQ(std::memcmp(comWorkstationAddr(), "\x7F\x00\x00\x01", 4), 0);
    close(a[0]);
    close(a[1]);
    close(l);
}

} // namespace
