// Text exchange with host handles: ReadTextParameter, WriteTextResult and WriteStatusResult,
// run over the emulator's strict handles (this program links the plug-in's exchange code
// itself), and Tarv-Version through the real module.
#include <windows.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>
#include <string>
#include <vector>

#include "host/internal.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/plugin_state.h"
#include "plugin/status.h"
#include "tests/win/support/plugin_fixture.h"

PluginState pluginState;  // the exchange code reaches the callbacks through it

namespace {

class HostTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(&record_, 0, sizeof record_);
        fmhost::detail::FillCallbacks(&record_);
        pluginState.callRecord = &record_;
        fmhost::ClearViolations();
        fmhost::ResetCounts();
    }
    void TearDown() override
    {
        fmhost::detail::CheckAllUnlocked("the test");
        for (const std::string &v : fmhost::Violations())
            ADD_FAILURE() << "host rule broken: " << v;
        fmhost::detail::DisposeAllHandles();
    }
    ExternCallRecord record_;
};

}  // namespace

// The buffer is zero-filled to its capacity, the text is cut at capacity - 1 bytes or at a
// zero byte, and the host's size is returned as reported. Guards against overruns and
// against leftovers of an earlier call in the buffer.
TEST_F(HostTextTest, ReadTextParameterCopiesBoundedAndReportsHostSize)
{
    static const struct {
        std::string content;
        int32_t capacity;
        std::string expected;
    } cases[] = {
        {"", 4096, ""},
        {"abc", 4096, "abc"},
        {std::string("abc\0def", 7), 4096, "abc"},
        {std::string(4095, 'a'), 4096, std::string(4095, 'a')},
        {std::string(4096, 'b'), 4096, std::string(4095, 'b')},
        {std::string(5000, 'c'), 4096, std::string(4095, 'c')},
        {"onx", 24, "onx"},
        {std::string(30, 'd'), 24, std::string(23, 'd')},
        {"x", 1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.content.size());
        std::vector<char> buffer((size_t)c.capacity + 16, '\xAA');
        HostHandle handle = fmhost::detail::NewHandle(c.content);
        int32_t size = ReadTextParameter(handle, buffer.data(), c.capacity);
        EXPECT_EQ((int32_t)c.content.size(), size);
        EXPECT_EQ(c.expected, std::string(buffer.data()));
        for (int32_t i = (int32_t)c.expected.size(); i < c.capacity; i++)
            ASSERT_EQ('\0', buffer[(size_t)i]) << "byte " << i << " not zero-filled";
        for (size_t i = (size_t)c.capacity; i < buffer.size(); i++)
            ASSERT_EQ('\xAA', buffer[i]) << "written past the capacity at " << i;
        EXPECT_EQ(0, fmhost::detail::LockCount(handle));
        fmhost::detail::DisposeHandle(handle);
    }
    // Reading never asks the host about memory errors.
    EXPECT_EQ(0, fmhost::Counts().memoryError);
}

// A handle the host reports as empty gives an empty text and size 0, whatever its block holds.
TEST_F(HostTextTest, ReadTextParameterOfReportedEmptyHandle)
{
    HostHandle handle = fmhost::detail::NewHandle("stale");
    fmhost::detail::SetReportedSize(handle, 0);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, ReadTextParameter(handle, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
}

// A result has exactly the text's length, no terminator, and the handle ends unlocked.
TEST_F(HostTextTest, WriteTextResultWritesExactlyTheText)
{
    static const char *const texts[] = {"", "a", "tarvel v2.0.0.7", "D:\\Data\\report.txt"};
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        HostHandle handle = fmhost::detail::NewHandle("previous contents, longer than most");
        WriteTextResult(handle, text);
        EXPECT_EQ(std::string(text), fmhost::detail::HandleContents(handle));
        EXPECT_EQ((int32_t)strlen(text), fmhost::detail::HandleSize(handle));
        EXPECT_EQ(0, fmhost::detail::LockCount(handle));
        fmhost::detail::DisposeHandle(handle);
    }
    std::string longText(70000, 'z');
    HostHandle handle = fmhost::detail::NewHandle("");
    WriteTextResult(handle, longText.c_str());
    EXPECT_EQ(longText, fmhost::detail::HandleContents(handle));
}

// After a memory error the text is not copied, and the handle is still unlocked.
TEST_F(HostTextTest, WriteTextResultCopiesNothingAfterMemoryError)
{
    HostHandle handle = fmhost::detail::NewHandle("");
    fmhost::InjectMemoryError(-108);
    WriteTextResult(handle, "000 (OK)");
    EXPECT_EQ(std::string(8, '\xCD'), fmhost::detail::HandleContents(handle))
        << "the emulator fills a grown block with 0xCD; nothing of the text may be there";
    EXPECT_EQ(0, fmhost::detail::LockCount(handle));
    EXPECT_EQ(1, fmhost::Counts().memoryError);
    // The error was for one write only.
    WriteTextResult(handle, "000 (OK)");
    EXPECT_EQ("000 (OK)", fmhost::detail::HandleContents(handle));
}

// A host whose memory error is that of its last call: the resize fails and the lock would
// clear its error; and a host whose resize fails with no error at all. Whatever the block
// held stays as it was, shorter or longer than the text: copying the text into the shorter
// block would overrun the host's heap (here the emulator's guard page ends the process), and
// into the longer one would leave its tail behind the text.
TEST_F(HostTextTest, WriteTextResultWritesNothingIntoABlockWhoseResizeFailed)
{
    static const char *const blocks[] = {"a block longer than the text", "", "<untouched>", "tarvel v2.0.0."};
    for (bool silently : {false, true}) {
        for (const char *before : blocks) {
            SCOPED_TRACE(std::string(silently ? "no error, " : "error -108, ") + before);
            HostHandle handle = fmhost::detail::NewHandle(before);
            if (silently)
                fmhost::FailNextResizeSilently();
            else
                fmhost::FailNextResize(-108);
            WriteTextResult(handle, "tarvel v2.0.0.7");
            EXPECT_EQ(std::string(before), fmhost::detail::HandleContents(handle));
            EXPECT_FALSE(fmhost::detail::WasResized(handle));
            EXPECT_EQ(0, fmhost::detail::LockCount(handle));
            fmhost::detail::DisposeHandle(handle);
        }
    }
}

// Codes 0 to -7 write their text; 8, -8 and the most negative value leave the handle as
// the host passed it.
TEST_F(HostTextTest, WriteStatusResultWritesOnlyCodesOfTheTable)
{
    static const struct {
        int32_t code;
        const char *text;  // NULL: untouched
    } cases[] = {
        {0, "000 (OK)"},
        {-4, "-004 (File not found)"},
        {-7, "-007 (Cannot restore clipboard content)"},
        {8, NULL},
        {-8, NULL},
        {INT_MIN, NULL},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        HostHandle handle = fmhost::detail::NewHandle("<marker>");
        fmhost::ResetCounts();
        WriteStatusResult(handle, c.code);
        EXPECT_EQ(c.text ? std::string(c.text) : std::string("<marker>"),
                  fmhost::detail::HandleContents(handle));
        if (c.text == NULL) {
            EXPECT_EQ(0, fmhost::Counts().setSize + fmhost::Counts().lock);
        }
        fmhost::detail::DisposeHandle(handle);
    }
}

class VersionTest : public PluginTest {};

// Tarv-Version answers the same for any parameter and never touches the parameter handle.
TEST_F(VersionTest, AnswersTheVersionForAnyParameter)
{
    static const std::string parameters[] = {"", "anything", std::string(5000, 'v'),
                                             std::string("a\0b", 3)};
    for (const std::string &parameter : parameters) {
        SCOPED_TRACE(parameter.size());
        fmhost::ResetCounts();
        EXPECT_EQ("tarvel v2.0.0.7", CallText(kTarvVersion, parameter));
        // One lock and one size query, the result's (its size proves the resize). The
        // parameter is not even locked.
        EXPECT_EQ(1, fmhost::Counts().lock);
        EXPECT_EQ(1, fmhost::Counts().getSize);
    }
    fmhost::CallOptions reportedEmpty;
    reportedEmpty.reportedParameterSize = 0;
    EXPECT_EQ("tarvel v2.0.0.7", Call(kTarvVersion, "ignored", reportedEmpty).text);
}

// A memory error while the version is written leaves the result unwritten and unlocked.
TEST_F(VersionTest, MemoryErrorLeavesTheResultUnwritten)
{
    fmhost::InjectMemoryError(1);
    fmhost::CallResult result = Call(kTarvVersion, "");
    EXPECT_EQ(std::string(15, '\xCD'), result.text);
    EXPECT_EQ("tarvel v2.0.0.7", CallText(kTarvVersion));
}

// The same host through the module: after a resize that failed, Tarv-Version leaves the
// result handle as the host passed it, empty or holding a text shorter than the version.
TEST_F(VersionTest, FailedResizeLeavesTheResultAsTheHostPassedIt)
{
    for (bool prefill : {false, true}) {
        SCOPED_TRACE(prefill);
        fmhost::CallOptions options;
        options.prefillResult = prefill;  // "<untouched>", 11 bytes against the version's 15
        fmhost::FailNextResize(-108);
        fmhost::CallResult result = Call(kTarvVersion, "", options);
        EXPECT_FALSE(result.touched) << "got \"" << result.text << "\"";
        EXPECT_FALSE(result.resized);
    }
    EXPECT_EQ("tarvel v2.0.0.7", CallText(kTarvVersion));
}
