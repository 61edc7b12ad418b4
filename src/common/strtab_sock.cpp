// Texts of the socket layer: the Windows Sockets error texts appended to the
// socket error boxes (keyed by error number), and the layer's own messages.
#include "common/strtab.h"

namespace {

constexpr StrEntry strSock[] = {
    {10004, "Interrupted system call: the blocking call was canceled"},
    {10009, "Bad file number"},
    {10013, "Permission denied, the requested address is a broadcast address but the appropriate flag was not set"},
    {10014, "Bad address, not a valid part of the user address space"},
    {10022, "Invalid argument, or the socket not bound"},
    {10024, "No more file descriptors available"},
    {10035, "The socket is marked as non-blocking and the requested operation would block"},
    {10036, "A blocking Windows Sockets operation is in progress"},
    {10037, "Operation already in progress"},
    {10038, "A descriptor identifying a socket is not a socket: socket operation on a non-socket"},
    {10039, "A Destination address is required"},
    {10040, "The datagram is larger than the maximum supported by the Windows Sockets implementation"},
    {10041, "The specified protocol is the wrong type for this socket"},
    {10042, "Protocol not available: the requested option is not supported"},
    {10043, "The specified protocol is not supported"},
    {10044, "The specified socket type is not supported in this address family"},
    {10045, "Operation not supported on the referenced socket"},
    {10046, "Protocol family not supported"},
    {10047, "The specified address family is not supported"},
    {10048, "The specified address is already in use"},
    {10049, "The specified address is not available from the local machine"},
    {10050, "The network subsystem has failed"},
    {10051, "The network can't be reached from this host at this time"},
    {10052, "The connection was dropped and must be reset"},
    {10053, "Connection was aborted due to timeout or other failure"},
    {10054, "Connection was reset by the remote side"},
    {10055, "No buffer space is available"},
    {10056, "The socket is already connected"},
    {10057, "The socket is not connected"},
    {10058, "Cannot send, the socket has been shutdown"},
    {10059, "Too many references, cannot splice"},
    {10060,
     "Attempt to connect timed out without establishing a connection. Check the firewall settings on the server "
     "and your machine to allow telnet or rlogin connections."},
    {10061,
     "The attempt to connect was rejected. Check that the server supports the rlogin, telnet or ssh connection "
     "you are trying to use."},
    {10062, "Symbolic link loop"},
    {10063, "Path name too long"},
    {10064, "The host is down"},
    {10065, "No route to the host"},
    {10091, "The network subsystem is not ready for network communication"},
    {10092, "Windows Sockets DLL found cannot support this application"},
    {10093, "A successful WSAStartup() has not yet been performed"},
    {11001, "Authorative Answer Host not found"},
    {11002, "Non-Authorative Host not found or SERVERFAIL"},
    {11003, "Non recoverable errors, FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
    {17000, "Error allocating memory for MCS data !!!"},
    {17001, "comReadBlock: memory allocation failed!"},
    {17002, "comWrite: memory allocation failed!"},
};

} // namespace

const StrTable strSockTable = strTableOf(strSock);
