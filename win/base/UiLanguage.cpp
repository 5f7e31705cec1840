#include "UiLanguage.h"

UiLanguage UiLanguageForCodePage(UINT codePage)
{
    return codePage == 932 ? UiLanguage::Japanese : UiLanguage::English;
}

UiLanguage CurrentUiLanguage()
{
    return UiLanguageForCodePage(GetACP());
}

LANGID UiLanguageId(UiLanguage language)
{
    return language == UiLanguage::Japanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                  : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

void SelectUiLanguage()
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
            setLanguage(UiLanguageId(CurrentUiLanguage()));
    }
}
