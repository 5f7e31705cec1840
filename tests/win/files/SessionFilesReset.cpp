// Every test of the Windows program starts and ends without the session
// files beside the test program: the main window restores whatever session
// an earlier test left there, and each change of the list writes one.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "FileReplace.h"
#include "WineTestSupport.h"

namespace {

void RemoveSessionFiles()
{
    SetFileWriteFailureForTesting(-1);
    for (const char* name : {"Metrova.takes", "Metrova.journal"}) {
        const std::string path = wine_test::BesideTestProgram(name);
        DeleteFileA(path.c_str());
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path + ".bad-*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            DeleteFileA(wine_test::BesideTestProgram(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
}

class SessionFilesReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { RemoveSessionFiles(); }
    void OnTestEnd(const ::testing::TestInfo&) override { RemoveSessionFiles(); }
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SessionFilesReset);
    return true;
}();

}  // namespace
