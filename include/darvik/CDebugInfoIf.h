// One log line handed to the host's IMessageSink::OnMessage.
//
// Created by the module on the stack of the thread that reports the line and
// destroyed when OnMessage returns; the host copies what it keeps.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

class CDebugInfoIf {
    DARVIK_CONTRACT_SLOT0();
    virtual std::int8_t DARVIK_SLOT GetLevel() = 0;   // 1: 1 failure, 2/3 state, 100 driver opened
    virtual const char* DARVIK_SLOT GetText() = 0;    // 2: null for an empty line

   protected:
    ~CDebugInfoIf() = default;
};
