// One running copy per program folder.
//
// The session and the journal live beside the program, and each copy writes
// them after every change: two copies in one folder would overwrite each
// other's takes. So the first copy claims the folder for as long as it runs,
// and a second copy started there brings the first one's window to the
// front and ends before it has read or written anything. The musician gets
// the window that holds their takes, as when a sequencer's Tools menu
// starts the program again.
#pragma once

#include <windows.h>

#include <string>

class FolderClaim {
public:
    // Claims the folder of `sessionPath` (any spelling of it: the name is
    // compared without case, as the file system does). An empty path claims
    // nothing and counts as first: without a folder there is no session.
    explicit FolderClaim(const std::wstring& sessionPath);
    ~FolderClaim();
    FolderClaim(const FolderClaim&) = delete;
    FolderClaim& operator=(const FolderClaim&) = delete;

    // False when another running copy holds the folder.
    bool IsFirst() const { return first; }
    // For a second copy: brings the first copy's main window (or the dialog
    // it has open over it) to the front, waiting up to `waitMs` for it to
    // appear. False when no window was found.
    bool BringFirstToFront(DWORD waitMs = 5000) const;
    // For the first copy: the main window a later copy brings to the front.
    void Publish(HWND mainWindow) const;

private:
    HANDLE mapping = nullptr;
    void* view = nullptr;
    bool first = true;
};

// The name of the claim for `sessionPath`: the same for every spelling of
// the same path that differs only in case.
std::wstring FolderClaimName(const std::wstring& sessionPath);
