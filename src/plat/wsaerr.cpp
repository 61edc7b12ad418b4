// errno and resolver errors as the Windows Sockets numbers that the socket
// error texts are keyed by.
#include "plat/plat.h"

#include <cerrno>
#include <netdb.h>

namespace {
struct ErrMap {
    int err;
    int wsa;
};
constexpr ErrMap kErrnoMap[] = {
    {EINTR, 10004},        {EBADF, 10009},       {EACCES, 10013},       {EFAULT, 10014},
    {EINVAL, 10022},       {EMFILE, 10024},      {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036},
    {EALREADY, 10037},     {ENOTSOCK, 10038},    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042}, {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},   {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053}, {ECONNRESET, 10054},  {ENOBUFS, 10055},      {EISCONN, 10056},
    {ENOTCONN, 10057},     {ESHUTDOWN, 10058},   {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},       {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},   {EUSERS, 10068},       {EDQUOT, 10069},
    {ESTALE, 10070},       {EREMOTE, 10071},     {EPIPE, 10058},        {EPERM, 10013},
    {ENFILE, 10024},       {ENOMEM, 10055},      {ENOSR, 10055},        {ENONET, 10051},
};
} // namespace

int platWsaFromErrno(int err)
{
    if (err == 0)
        return 0;
    for (const ErrMap& m : kErrnoMap)
        if (m.err == err)
            return m.wsa;
    return 10022;   // nothing closer: "invalid argument"
}

int platWsaFromResolver(int herr)
{
    switch (herr) {
    case 0:
        return 0;
    case HOST_NOT_FOUND:
        return 11001;
    case TRY_AGAIN:
        return 11002;
    case NO_RECOVERY:
        return 11003;
    case NO_DATA:
        return 11004;
    default:
        return 11003;
    }
}
