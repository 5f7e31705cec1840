// The Cakewalk Tools-menu entry, written to and deleted from the registry of
// the test build's Wine prefix (the 64-bit build sees the 64-bit view
// unless it asks for the other).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "CakewalkTool.h"
#include "Messages.h"
#include "resource.h"
#include "version.h"

namespace {

const std::string CakewalkKey = "SOFTWARE\\Cakewalk Music Software";
const std::string ToolsMenuKey = CakewalkKey + "\\Tools Menu";
const std::string ToolKey = CakewalkToolKey;
// Another program's entry beside ours, which unregistering must leave alone.
const std::string OtherToolKey = ToolsMenuKey + "\\OtherTool";

bool KeyExists(const std::string& path, REGSAM view = 0)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// RegDeleteKeyA in the given view: the parent opened in it, the last part
// of the path deleted below that handle.
void DeleteKey(const std::string& path, REGSAM view)
{
    const size_t slash = path.rfind('\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) !=
        ERROR_SUCCESS)
        return;
    RegDeleteKeyA(parent, path.substr(slash + 1).c_str());
    RegCloseKey(parent);
}

const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

::testing::AssertionResult CreateKey(const std::string& path)
{
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "cannot create " << path << ": " << result;
    RegSetValueExA(key, "Note", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(key);
    return ::testing::AssertionSuccess();
}

// A value of our entry as stored: its type and its bytes, the terminating
// zero of a string included. (The platform itself counts a forgotten zero
// when the byte after the data is one, so only the size says little.)
struct StoredValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

StoredValue ReadToolValue(const char* name)
{
    StoredValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ToolKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    char data[1024] = "";
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
        value.bytes.assign(data, size);
    RegCloseKey(key);
    return value;
}

std::string ProgramPath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string MenuTextFor(int major, int minor)
{
    char version[32] = "";
    std::snprintf(version, sizeof version, " %d.%02d", major, minor);
    return LoadResString(IDS_TITLE) + version;
}

// Every test starts without our entry and leaves the registry as it found
// it. The test cases run as separate processes, in parallel, against one
// registry: a named mutex lets one of them at a time at the key.
class CakewalkToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(lock_) << GetLastError();
        const DWORD wait = WaitForSingleObject(lock_, 60000);
        ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) << wait;
        locked_ = true;
        for (int v = 0; v < 2; ++v)
            hadCakewalkKey_[v] = KeyExists(CakewalkKey, kViews[v]);
        DeleteTestKeys();
        ASSERT_FALSE(KeyExists(ToolKey, KEY_WOW64_32KEY));
        ASSERT_FALSE(KeyExists(ToolKey, KEY_WOW64_64KEY));
    }
    void TearDown() override
    {
        if (!locked_)
            return;
        DeleteTestKeys();
        for (int v = 0; v < 2; ++v) {
            if (!hadCakewalkKey_[v]) {
                DeleteKey(ToolsMenuKey, kViews[v]);
                DeleteKey(CakewalkKey, kViews[v]);
            }
        }
        ReleaseMutex(lock_);
    }
    ~CakewalkToolTest() override { CloseHandle(lock_); }

    // Leaves first: the keys the tests create, deleted without the code
    // under test.
    static void DeleteTestKeys()
    {
        for (REGSAM view : kViews) {
            for (const char* below : {"\\Sub\\Deeper\\Deepest", "\\Sub\\Deeper", "\\Sub", "\\Sibling", ""})
                DeleteKey(ToolKey + below, view);
            DeleteKey(OtherToolKey, view);
        }
    }

private:
    HANDLE lock_ = CreateMutexA(nullptr, FALSE, "MetrovaCakewalkToolKeyTest");
    bool locked_ = false;
    bool hadCakewalkKey_[2] = {};
};

TEST_F(CakewalkToolTest, RegisteringWritesFourStringsWithTheirTerminatingZeroOnce)
{
    EXPECT_FALSE(IsCakewalkToolRegistered());
    // Twice: the second registration rewrites the same entry.
    RegisterCakewalkTool(true);
    RegisterCakewalkTool(true);
    EXPECT_TRUE(IsCakewalkToolRegistered());

    char shortPath[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(ProgramPath().c_str(), shortPath, MAX_PATH));
    const std::string menuText = MenuTextFor(METROVA_VERSION_MAJOR, METROVA_VERSION_MINOR);
    ASSERT_NE(MenuTextFor(0, 0), menuText) << "string 15 or the version is missing";
    const struct {
        const char* name;
        std::string text;
    } expected[] = {
        {"ExePath", shortPath}, {"MenuText", menuText}, {"StatusBarText", menuText}, {"Type", "Generic"}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const StoredValue value = ReadToolValue(e.name);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
        EXPECT_EQ(std::string(e.text.c_str(), e.text.size() + 1), value.bytes);
    }

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, ToolKey.c_str(), 0, KEY_READ, &key));
    DWORD subKeys = 99;
    DWORD values = 99;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(4u, values);
}

TEST_F(CakewalkToolTest, UnregisteringDeletesTheEntryWithAllItsSubKeysAndNothingElse)
{
    RegisterCakewalkTool(true);
    // Two children, one of them three levels deep: the deletion has to go
    // depth first and must not skip the second child once the first is gone.
    ASSERT_TRUE(CreateKey(ToolKey + "\\Sub\\Deeper\\Deepest"));
    ASSERT_TRUE(CreateKey(ToolKey + "\\Sibling"));
    ASSERT_TRUE(CreateKey(OtherToolKey));

    RegisterCakewalkTool(false);
    EXPECT_FALSE(KeyExists(ToolKey));
    EXPECT_FALSE(IsCakewalkToolRegistered());
    EXPECT_TRUE(KeyExists(OtherToolKey));
}

TEST_F(CakewalkToolTest, BothRegistryViewsAreWrittenAndCleaned)
{
    // 32-bit and 64-bit sequencers each read their own view.
    RegisterCakewalkTool(true);
    char shortPath[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(ProgramPath().c_str(), shortPath, MAX_PATH));
    for (REGSAM view : kViews) {
        SCOPED_TRACE(view);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, ToolKey.c_str(), 0, KEY_READ | view, &key));
        char data[MAX_PATH] = "";
        DWORD size = sizeof data;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "ExePath", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size));
        RegCloseKey(key);
        EXPECT_STREQ(shortPath, data);
    }
    // A 32-bit system has one view only, and both flags name it.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (sizeof(void*) == 8 || wow64) {
        // The views are really apart in this registry.
        DeleteKey(ToolKey, KEY_WOW64_64KEY);
        ASSERT_TRUE(KeyExists(ToolKey, KEY_WOW64_32KEY));
        ASSERT_FALSE(KeyExists(ToolKey, KEY_WOW64_64KEY));
    }
    // An entry in one view only (left by an older build) counts, and goes.
    EXPECT_TRUE(IsCakewalkToolRegistered());
    HKEY deeper = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (ToolKey + "\\Sub").c_str(), 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                                             &deeper, nullptr));
    RegCloseKey(deeper);
    RegisterCakewalkTool(false);
    EXPECT_FALSE(KeyExists(ToolKey, KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyExists(ToolKey, KEY_WOW64_64KEY));
    EXPECT_FALSE(IsCakewalkToolRegistered());
}

TEST_F(CakewalkToolTest, UnregisteringAMissingEntryChangesNothing)
{
    ASSERT_TRUE(CreateKey(OtherToolKey));
    RegisterCakewalkTool(false);
    EXPECT_FALSE(KeyExists(ToolKey));
    EXPECT_TRUE(KeyExists(OtherToolKey));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteRegistryTree(HKEY_LOCAL_MACHINE, ToolKey.c_str()));
}

class CakewalkToolVersionTest : public ::testing::Test {
protected:
    void SetUp() override { g_hInstance = GetModuleHandleA(nullptr); }
};

TEST_F(CakewalkToolVersionTest, MenuTextCarriesTheFileVersionWithATwoDigitMinor)
{
    ASSERT_NE(std::string(), LoadResString(IDS_TITLE));
    EXPECT_EQ(MenuTextFor(0, 0), CakewalkMenuText(0));
    EXPECT_EQ(LoadResString(IDS_TITLE) + " 1.05", CakewalkMenuText(MAKELONG(5, 1)));
    EXPECT_EQ(LoadResString(IDS_TITLE) + " 2.100", CakewalkMenuText(MAKELONG(100, 2)));
    EXPECT_EQ(LoadResString(IDS_TITLE) + " 10.12", CakewalkMenuText(MAKELONG(12, 10)));
}

TEST_F(CakewalkToolVersionTest, FileVersionComesFromTheVersionResourceOrIsZero)
{
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(METROVA_VERSION_MINOR, METROVA_VERSION_MAJOR)),
              GetFileVersionMS(ProgramPath().c_str()));

    char folder[MAX_PATH] = "";
    char plainFile[MAX_PATH] = "";
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, folder));
    ASSERT_NE(0u, GetTempFileNameA(folder, "mtv", 0, plainFile));
    EXPECT_EQ(0u, GetFileVersionMS(plainFile));
    DeleteFileA(plainFile);
    EXPECT_EQ(0u, GetFileVersionMS(plainFile));
}

}  // namespace
