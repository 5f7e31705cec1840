// The tempo map of the checked takes as a Standard MIDI File: on the clipboard
// under the registered format "Standard MIDI File", or in a file chosen in
// the save dialog.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <string>

#include "TempoMap.h"
#include "TempoPipeline.h"

// Runs the whole export of `takes` (the checked ones) with `options` and
// `interpCount`: the question about unequal tap counts, the computation,
// then the clipboard (save false) or the save dialog and the file (save
// true). Every question and failure is shown in a box owned by `owner`.
// Nothing happens without takes.
void ExportTempo(HWND owner, const TakeList& takes, const AnalysisOptions& options, int interpCount, bool save);

// Writes `size` bytes to `path` so that the file is either wholly replaced or
// left as it was. On failure returns false with the failing call's error
// code in `error` (never 0) and leaves no temporary file behind.
bool WriteFileReplacingWin32(const std::string& path, const void* data, size_t size, DWORD& error);
bool WriteFileReplacingWin32(const std::wstring& path, const void* data, size_t size, DWORD& error);

// The MIDI files' filter (IDS_MIDI_FILTER, LoadFileFilter) and the open and save
// dialogs for them (FileDialogFor with the default extension "mid").
std::string LoadMidiFileFilter();
OPENFILENAMEW MidiFileDialog(HWND owner, const std::wstring& filter, wchar_t (&path)[MAX_PATH], DWORD flags);
