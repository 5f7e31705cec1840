// The claim on the program's folder: a second claim on the same folder, in
// any spelling of its case, is second and finds the first one's window; a
// claim on another folder, or after the first has gone, is first again.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FolderClaim.h"

namespace {

TEST(FolderClaim, OneFirstCopyPerFolderAndTheSecondFindsItsWindow)
{
    const std::wstring path = L"C:\\Music\\Metrova\\Metrova.takes";
    HWND window = CreateWindowA("STATIC", "first", WS_POPUP | WS_VISIBLE, 10, 10, 100, 50, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    {
        auto first = std::make_unique<FolderClaim>(path);
        EXPECT_TRUE(first->IsFirst());
        EXPECT_FALSE(first->BringFirstToFront(0));

        const FolderClaim second(L"c:\\music\\METROVA\\Metrova.TAKES");
        EXPECT_FALSE(second.IsFirst());
        // Not yet published: the second waits, then gives up.
        EXPECT_FALSE(second.BringFirstToFront(100));
        first->Publish(window);
        EXPECT_TRUE(second.BringFirstToFront(100));
        EXPECT_EQ(window, GetForegroundWindow());

        // Another folder is another claim.
        const FolderClaim elsewhere(L"C:\\Music\\Other\\Metrova.takes");
        EXPECT_TRUE(elsewhere.IsFirst());
        EXPECT_NE(FolderClaimName(path), FolderClaimName(L"C:\\Music\\Other\\Metrova.takes"));

        // A published window that has gone is no window to bring forward.
        first->Publish(nullptr);
        EXPECT_FALSE(second.BringFirstToFront(0));
        // Once the first copy has ended, and every copy that saw it, the
        // folder is free again.
    }
    EXPECT_TRUE(FolderClaim(path).IsFirst());
    EXPECT_TRUE(FolderClaim(std::wstring()).IsFirst());
    DestroyWindow(window);
}

}  // namespace
