// The face of the program: Japanese or English texts.
//
// Every text Metrova shows goes through the ANSI functions, so the ANSI code
// page decides which texts can be shown at all: the Japanese resources come
// out right only in code page 932, and anywhere else as question marks. The
// face therefore follows the code page, not the user's language: Japanese
// exactly when GetACP() is 932, English otherwise. SelectFace makes the
// resource loader pick that face's dialogs, menus and strings by setting the
// thread's user-interface language at start-up.
#pragma once

#include <windows.h>

enum class Face { Japanese, English };

// The face for an ANSI code page.
Face FaceForCodePage(UINT codePage);
// The face of this system (GetACP()).
Face CurrentFace();
// The language the face's resources are tagged with.
LANGID FaceLanguage(Face face);
// Sets the calling thread's user-interface language to the current face's.
// Run first thing on the user-interface thread, before any resource loads.
void SelectFace();
