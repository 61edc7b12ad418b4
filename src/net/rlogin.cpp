#include "net/rlogin.h"

#include "ui/profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int rloginHandshake(const char* userId, uint8_t* out, int size)
{
    const char* name = (userId && std::strcmp(userId, "no-id") != 0) ? userId : "";
    size_t nameLen = strnlen(name, RLOGIN_USERID_MAX);
    size_t termLen = std::strlen(RLOGIN_TERMINAL);
    size_t total = 2 * nameLen + 4 + termLen;
    if (!out || size < 0 || total > (size_t)size) return -1;
    size_t at = 0;
    out[at++] = 0;
    for (int copy = 0; copy < 2; ++copy) {
        std::memcpy(out + at, name, nameLen);
        at += nameLen;
        out[at++] = 0;
    }
    std::memcpy(out + at, RLOGIN_TERMINAL, termLen);
    at += termLen;
    out[at++] = 0;
    return (int)at;
}

void rloginWindowSize(int rows, int cols, uint8_t (&out)[RLOGIN_WINSIZE_LEN])
{
    const uint16_t fields[4] = {(uint16_t)rows, (uint16_t)cols, (uint16_t)(rows * 8), (uint16_t)(cols * 8)};
    out[0] = 0xFF;
    out[1] = 0xFF;
    out[2] = 's';
    out[3] = 's';
    for (int i = 0; i < 4; ++i) {
        out[4 + 2 * i] = (uint8_t)(fields[i] >> 8);
        out[5 + 2 * i] = (uint8_t)(fields[i] & 0xFF);
    }
}

int rloginNextPort(int port)
{
    return port >= RLOGIN_PORT_LAST ? RLOGIN_PORT_FIRST : port + 1;
}

int rloginFirstPort()
{
    char text[16];
    cfgGetString("Hosts", "Port", "", text, (int)sizeof text);
    char* end = nullptr;
    long port = std::strtol(text, &end, 10);
    if (end == text || port < RLOGIN_PORT_FIRST || port > RLOGIN_PORT_LAST) return RLOGIN_PORT_FIRST;
    return (int)port;
}

void rloginRememberPort(int port)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", port);
    cfgSetString("Hosts", "Port", text);
}
