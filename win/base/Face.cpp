#include "Face.h"

Face FaceForCodePage(UINT codePage)
{
    return codePage == 932 ? Face::Japanese : Face::English;
}

Face CurrentFace()
{
    return FaceForCodePage(GetACP());
}

LANGID FaceLanguage(Face face)
{
    return face == Face::Japanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                  : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

void SelectFace()
{
    // From Windows Vista on, FindResource and everything built on it
    // (dialogs, menus, strings, the version resource) look for the thread's
    // user-interface language first. Looked up at run time: the program
    // still starts where the function is missing, and the system's own
    // choice then stands.
    using SetLanguageProc = LANGID(WINAPI*)(LANGID);
    if (HMODULE kernel32 = GetModuleHandleA("KERNEL32")) {
        const auto setLanguage = reinterpret_cast<SetLanguageProc>(
            reinterpret_cast<void*>(GetProcAddress(kernel32, "SetThreadUILanguage")));
        if (setLanguage)
            setLanguage(FaceLanguage(CurrentFace()));
    }
}
