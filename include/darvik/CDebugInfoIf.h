// One log line handed to the host's IMessageSink::OnMessage.
//
// Created by the module on the stack of the thread that reports the line and
// destroyed when OnMessage returns; the host copies what it keeps and never
// destroys the object (slot 0 is not for the host to call).
//
// Threads: the host reads it only inside OnMessage, on whatever module
// thread delivered the line (see IMessageSink in HostServices.h). Both slots
// are plain reads; they take no lock and may be called any number of times.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

class CDebugInfoIf {
    DARVIK_CONTRACT_SLOT0();

    // Slot 1. The line's level, already mapped to what the host's version
    // understands:
    //   1    a failure: camera offline or failed, signal lost, a thread that
    //        cannot start, a camera request or PTZ command that failed, a
    //        preset that cannot be added;
    //   3    state information: camera online, camera offline because its
    //        channel was stopped;
    //   100  the line "DRIVER IS OPENED (name: ..., device model: ...,
    //        address: ...:port)" that ends a successful Open.
    // The levels follow the product version of the host's recbase.dll (5.12
    // when it cannot be read): below 6.3 level 100 arrives as 3, below 5.12
    // levels 3 and 100 both arrive as 2. Other levels are passed unchanged.
    // A line of level 4 is never delivered.
    // @return the signed 8-bit level.
    virtual std::int8_t DARVIK_SLOT GetLevel() = 0;   // 1: 1 failure, 2/3 state, 100 driver opened

    // Slot 2. The line's text, 8-bit and NUL-terminated, of any length (the
    // module sets no upper limit). A line about an operation begins with the
    // operation's qualified name and ": ", for example
    // "brevane::CBaseCameraChannel::SetCameraState: Camera ... is online".
    // A "%" in the text is a plain character.
    // @return the text, valid until OnMessage returns; null for an empty line.
    virtual const char* DARVIK_SLOT GetText() = 0;    // 2: null for an empty line

   protected:
    ~CDebugInfoIf() = default;
};
