// Clients remember each camera's authentication scheme for the life of the
// process. Test cases that start servers on ephemeral ports could meet a
// port an earlier case's camera had, and with it that camera's scheme (and
// Digest nonce);
// including this header forgets every camera before each case of the test
// program.
#pragma once

#include <gtest/gtest.h>

#include "http/AuthSchemeTable.h"
#include "http/DigestNonceTable.h"

namespace brevane::test {

class ForgetAuthSchemesListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        Web::CAuthSchemeTable::Instance().Clear();
        Web::CDigestNonceTable::Instance().Clear();
    }
};

inline const bool kForgetAuthSchemesRegistered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetAuthSchemesListener);
    return true;
}();

}  // namespace brevane::test
