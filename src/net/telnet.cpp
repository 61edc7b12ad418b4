#include "net/telnet.h"

#include <array>
#include <cstring>

namespace {

enum class TnAction { None, Subneg, Do, Will, Data };

struct TnCommand {
    uint8_t command;
    int needs;      // bytes from the IAC on that must have arrived
    int removed;    // bytes cut out of the block
    TnAction action;
};

// A command byte not listed needs 2 bytes and only its IAC is removed.
constexpr std::array<TnCommand, 7> tnCommands{{
    {TN_SE, 2, 2, TnAction::None},
    {TN_SB, 6, 6, TnAction::Subneg},
    {TN_WILL, 3, 3, TnAction::Will},
    {TN_WONT, 3, 3, TnAction::None},
    {TN_DONT, 3, 3, TnAction::None},
    {TN_DO, 3, 3, TnAction::Do},
    // IAC IAC is one data byte 0xFF: keep the second one as data.
    {TN_IAC, 2, 1, TnAction::Data},
}};
constexpr TnCommand tnOther{0, 2, 1, TnAction::None};

constexpr uint8_t tnTermTypeIs[] = {TN_IAC, TN_SB, TN_OPT_TTYPE, TN_IS, 'k', 'o', 'r', 'v', 'e', 'x', TN_IAC, TN_SE};

const TnCommand& tnLookup(uint8_t command)
{
    for (const auto& c : tnCommands)
        if (c.command == command) return c;
    return tnOther;
}

void tnSend(TelnetReply reply, void* context, const uint8_t* bytes, int length)
{
    if (reply) reply(context, bytes, length);
}

} // namespace

int telnetFilter(uint8_t* buffer, int count, TelnetReply reply, void* context, int* heldBack)
{
    if (heldBack) *heldBack = 0;
    if (count <= 0) return count;
    int i = 0;
    while (i < count) {
        if (buffer[i] != TN_IAC) {
            ++i;
            continue;
        }
        if (count - i < 2 || count - i < tnLookup(buffer[i + 1]).needs) {
            if (heldBack) *heldBack = count - i;
            return i;
        }
        const TnCommand& c = tnLookup(buffer[i + 1]);
        switch (c.action) {
        case TnAction::Subneg:
            if (buffer[i + 2] == TN_OPT_TTYPE) tnSend(reply, context, tnTermTypeIs, (int)sizeof tnTermTypeIs);
            break;
        case TnAction::Do: {
            uint8_t option = buffer[i + 2];
            const uint8_t answer[3] = {TN_IAC, option == TN_OPT_TTYPE ? TN_WILL : TN_WONT, option};
            tnSend(reply, context, answer, 3);
            break;
        }
        case TnAction::Will: {
            // A server offering authentication or encryption waits for the
            // answer before it goes on with the login, so refuse those.
            uint8_t option = buffer[i + 2];
            if (option == TN_OPT_AUTHENTICATION || option == TN_OPT_ENCRYPT) {
                const uint8_t answer[3] = {TN_IAC, TN_DONT, option};
                tnSend(reply, context, answer, 3);
            }
            break;
        }
        case TnAction::Data:
        case TnAction::None:
            break;
        }
        std::memmove(buffer + i, buffer + i + c.removed, (size_t)(count - i - c.removed));
        count -= c.removed;
        if (c.action == TnAction::Data) ++i;
    }
    return count;
}
