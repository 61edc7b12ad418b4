#pragma once
// The forms engine as the request handler drives it: the local pre- and
// post-processing of a forms request, the input check that decides whether
// a waiting request is complete, the operations of the forms state that the
// handler calls after output and for help texts, and UTS output.
//
// All of them act on the current session (its forms state and areas).
#include "mcs/mcsareas.h"

#include <cstdint>

// The arguments of one pre- or post-processing run: the request's function
// code and the session's areas as the request left them.
struct McsFormsCall {
    int32_t func;
    McsControl* ctl;
    uint8_t* msgArea;
    uint8_t* text;              // message area + 20
    uint8_t* areaA;
    uint8_t* areaB;
    uint8_t* areaC;
    uint8_t* areaD;
    uint8_t* status;            // the status character
    int32_t count;              // trailing count - 1
    ZENMSG* msg;
};

// Performs the screen side of a forms request; sets the forms state's
// needs-input flag when the request must wait for the operator. 0, or
// negative when it could not be carried out.
int LCLpreProcess(const McsFormsCall& call);
// Collects the reply of a completed request into the areas. 0, or negative.
int LCLpostProcess(const McsFormsCall& call);
// Whether the waiting request of function func is complete: 0 not yet, else
// the completion code. noKey is set for a run that no key started; areaC is
// the session's area C.
int mcsInputCheck(int func, int noKey, uint8_t* areaC);
// The forms state's output-done operation (after dFutsoutraw).
int mcsOutputDone();
// The forms state's help-display operation: a text and its title line.
int mcsDispHelp(const uint8_t* text, int length, const uint8_t* title, int titleLength);

// UTS output: interprets one block of the block-mode stream on the current
// screen.
void utsOut(const uint8_t* bytes, int length);

// The roll character the UTS side uses; dFroll and dFprompt put the forms
// state's own in its place while they are processed.
extern uint8_t mcsRollChar;
