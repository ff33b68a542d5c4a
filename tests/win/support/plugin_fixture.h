// The fixture of every test that loads the real plug-in module through the host emulator.
// SetUp loads tarvel.fmx from the test program's folder, creates the host's main window and
// sends init (host version 17). TearDown sends shutdown, unloads the module (so the next
// test starts from the module's static state), and fails the test if the emulator saw any
// rule break (locks left, stale handles, forbidden callbacks, parameter changed).
#ifndef TARVEL_TEST_PLUGIN_FIXTURE_H
#define TARVEL_TEST_PLUGIN_FIXTURE_H

#include <gtest/gtest.h>
#include <string>
#include "host/emulator.h"

// The folder of the running test program, where tarvel.fmx and the helper programs are.
std::string ProgramFolder();
// Full path of tarvel.fmx next to the running test program.
std::string PluginPath();
// Creates (or empties) a file; false when it cannot.
bool MakeFile(const std::string &path);
// A fresh, empty folder for this test in the temporary folder (one an earlier run left is
// removed first); removed by TearDown, which fails the test when it cannot be.
std::string TestScratchFolder();

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Calls an external function; returns what the host sees afterwards.
    fmhost::CallResult Call(uint32_t functionId, const std::string &parameter = std::string(),
                            const fmhost::CallOptions &options = fmhost::CallOptions());
    // The result text of a call (empty when the result was left untouched).
    std::string CallText(uint32_t functionId, const std::string &parameter = std::string());

    bool createMainWindow_ = true;  // set before SetUp (in a derived fixture) to run without one
    bool sendInit_ = true;
};

#endif
