// The main of every test program: starts the sockets layer the way the
// program does, then runs the tests.
#include "platform/sockets.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    platform::StartupSockets();
    testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    platform::CleanupSockets();
    return status;
}
