// The module's resources as the host and Windows read them: the listing strings, the
// version resource, and the version text of a module with another file version.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "resources/resource_ids.h"
#include "tests/win/support/plugin_fixture.h"

class ResourcesTest : public PluginTest {};

// The host lists the plug-in by string 128 and exactly one function per number of
// handlers.h, from string 144 on, all starting with the options string's prefix.
TEST_F(ResourcesTest, HostListsTheNameAndEveryFunction)
{
    fmhost::PluginListing listing;
    std::string error;
    ASSERT_TRUE(fmhost::ReadPluginListing(&listing, &error)) << error;
    EXPECT_EQ("Quillon tarvel 2", listing.name);
    EXPECT_EQ("Tarv1YYYYnn", listing.options);
    EXPECT_NE(std::string::npos, listing.description.find("FileMaker")) << listing.description;
    static const char *const names[] = {
        "Tarv-Version",          "Tarv-SetDialogFilter",   "Tarv-SetInitialFolder",
        "Tarv-GetFilePath",      "Tarv-GetFileName",       "Tarv-OpenFile",
        "Tarv-ChooseFolder",     "Tarv-UseSubfolders",     "Tarv-SetFolder",
        "Tarv-GetNextFilePath",  "Tarv-SetFileFilter",     "Tarv-CopyLargeFileIcon",
        "Tarv-CopySmallFileIcon", "Tarv-RestoreClipboard", "Tarv-SetLocale",
    };
    static_assert(sizeof names / sizeof names[0] == kExternalFunctionCount,
                  "one expected name for each function of plugin/handlers.h");
    ASSERT_EQ((size_t)kExternalFunctionCount, listing.functions.size());
    for (size_t i = 0; i < kExternalFunctionCount; i++)
        EXPECT_EQ(names[i], listing.functions[i]) << "function " << i;
}

// Ids 130, 132 to 143 and those after the last function's name hold no string.
TEST_F(ResourcesTest, UnusedStringIdsAreEmpty)
{
    const UINT pastTheNames = IDS_FIRST_FUNCTION_NAME + kExternalFunctionCount;
    const UINT unused[] = {127, 130, 132, 135, 140, 143, pastTheNames, pastTheNames + 1};
    for (UINT id : unused) {
        SCOPED_TRACE(id);
        char text[64] = {0};
        EXPECT_EQ(0, LoadStringA(fmhost::PluginModule(), id, text, sizeof text));
    }
}

static std::string QueryString(void *block, const char *name)
{
    char path[128];
    snprintf(path, sizeof path, "\\StringFileInfo\\040904b0\\%s", name);
    char *value = NULL;
    UINT length = 0;
    if (!VerQueryValueA(block, path, (void **)&value, &length) || value == NULL)
        return "<missing>";
    return std::string(value);
}

// The version resource's fixed part, string block and translation.
TEST_F(ResourcesTest, VersionResourceHasTheFixedPartAndStrings)
{
    std::string path = PluginPath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_NE(0u, size);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(0x00020000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000007u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000007u, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ((DWORD)VOS_NT_WINDOWS32, fixed->dwFileOS);
    EXPECT_EQ((DWORD)VFT_DLL, fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);

    static const struct {
        const char *name, *value;
    } strings[] = {
        {"Comments", ""},           {"FileDescription", "tarvel 2"}, {"FileVersion", "2, 0, 0, 7"},
        {"InternalName", "tarvel 2"}, {"LegalTrademarks", ""},       {"OriginalFilename", "tarvel.fmx"},
        {"PrivateBuild", ""},       {"ProductVersion", "2, 0, 0, 7"}, {"SpecialBuild", ""},
    };
    for (const auto &s : strings)
        EXPECT_EQ(s.value, QueryString(block.data(), s.name)) << s.name;
    EXPECT_NE(std::string::npos, QueryString(block.data(), "ProductName").find("tarvel 2"));
    EXPECT_NE("<missing>", QueryString(block.data(), "CompanyName"));
    EXPECT_NE("<missing>", QueryString(block.data(), "LegalCopyright"));

    WORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
}

// The version text is the file version, each part in plain decimal, even when the product
// version differs: a copy of the module with file version 10.2.300.4 says so.
TEST_F(ResourcesTest, VersionTextIsTheFileVersionNotTheProductVersion)
{
    std::ifstream in(PluginPath().c_str(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 64u);
    // The fixed part follows the resource's key (the signature alone also occurs in the code).
    static const WCHAR key[] = L"VS_VERSION_INFO";
    static const unsigned char signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    size_t at = 0;
    for (size_t i = 0; i + sizeof key + 24 < bytes.size() && at == 0; i++)
        if (memcmp(&bytes[i], key, sizeof key) == 0 && memcmp(&bytes[i + sizeof key + 2], signature, 4) == 0)
            at = i + sizeof key + 2;
    ASSERT_NE(0u, at) << "no VS_FIXEDFILEINFO in the module";
    const DWORD fileMS = (10u << 16) | 2u, fileLS = (300u << 16) | 4u;
    memcpy(&bytes[at + 8], &fileMS, 4);   // dwFileVersionMS
    memcpy(&bytes[at + 12], &fileLS, 4);  // dwFileVersionLS; the product version stays 2.0.0.7

    fmhost::SendShutdown();
    fmhost::UnloadPlugin();
    std::string copy = TestScratchFolder() + "\\tarvel.fmx";
    {
        std::ofstream out(copy.c_str(), std::ios::binary);
        out.write(bytes.data(), (std::streamsize)bytes.size());
    }
    std::string error;
    ASSERT_TRUE(fmhost::LoadPlugin(copy, &error)) << error;
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(17));
    EXPECT_EQ("tarvel v10.2.300.4", CallText(kTarvVersion));
}
