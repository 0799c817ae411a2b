// Assertions shared by the import tests (header only: it uses GoogleTest).
#pragma once

#include "model/Report.h"
#include "model/RigError.h"

#include <gtest/gtest.h>

#include <string>

namespace rig::test {

// `f` throws a RigError of `kind`; with a `message`, what() is exactly that.
template <class F>
void expectRigError(F&& f, RigError::Kind kind, const std::string& message = {}) {
    try {
        f();
        ADD_FAILURE() << "no RigError thrown";
    } catch (const RigError& e) {
        EXPECT_EQ(e.kind(), kind) << e.what();
        if (!message.empty()) {
            EXPECT_EQ(e.what(), message);
        }
    }
}

inline void expectNear(const XYZ& a, const XYZ& b, double tolerance = 1e-9) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

} // namespace rig::test
