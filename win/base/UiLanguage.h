// The interface language of the program: Japanese or English texts.
//
// Every text Metrova shows goes through the ANSI functions, so the ANSI code
// page decides which texts can be shown at all: the Japanese resources come
// out right only in code page 932, and anywhere else as question marks. The
// interface language therefore follows the code page, not the user's
// language: Japanese exactly when GetACP() is 932, English otherwise.
// SelectUiLanguage makes the resource loader pick that language's dialogs,
// menus and strings by setting the thread's user-interface language at
// start-up.
#pragma once

#include <windows.h>

enum class UiLanguage { Japanese, English };

// The interface language for an ANSI code page.
UiLanguage UiLanguageForCodePage(UINT codePage);
// The interface language of this system (GetACP()).
UiLanguage CurrentUiLanguage();
// The language id the language's resources are tagged with.
LANGID UiLanguageId(UiLanguage language);
// Sets the calling thread's user-interface language to the current one.
// Run first thing on the user-interface thread, before any resource loads.
void SelectUiLanguage();
