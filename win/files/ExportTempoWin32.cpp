#include "ExportTempoWin32.h"

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FileReplace.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "TempoExport.h"
#include "TempoPipeline.h"
#include "WidePath.h"
#include "resource.h"

namespace {

// Registered on the first copy of the run and kept; a failed registration is
// not retried, and copying then does nothing.
UINT smfClipboardFormat = 0;
bool smfClipboardFormatRegistered = false;

void SaveToFile(HWND owner, const std::vector<uint8_t>& bytes)
{
    // Wide, so that any file name the user types or picks can be written.
    const std::wstring filter = WidenAnsi(LoadMidiFileFilter());
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW ofn =
        MidiFileDialog(owner, filter, path, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST);

    // The scope also centres the dialog's overwrite question and lasts until
    // the file is written, so an error box of the write is centred too.
    DialogCenteringScope centring;
    if (!GetSaveFileNameW(&ofn))
        return;

    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacingWin32(path, bytes.data(), bytes.size(), error))
        ReportSystemError(owner, error);
}

void CopyToClipboard(HWND owner, const std::vector<uint8_t>& bytes)
{
    if (!smfClipboardFormatRegistered) {
        smfClipboardFormat = RegisterClipboardFormatA("Standard MIDI File");
        smfClipboardFormatRegistered = true;
    }
    if (smfClipboardFormat == 0)
        return;

    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size());
    if (!memory) {
        ReportSystemError(owner, GetLastError());
        return;
    }
    void* block = GlobalLock(memory);
    if (!block) {
        ReportSystemError(owner, GetLastError());
        GlobalFree(memory);
        return;
    }
    if (!OpenClipboard(nullptr)) {
        ReportSystemError(owner, GetLastError());
        GlobalUnlock(memory);
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    std::memcpy(block, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    // On success the clipboard owns the memory. On failure it stays ours,
    // and freeing it keeps a failed copy from leaking.
    if (!SetClipboardData(smfClipboardFormat, memory)) {
        const DWORD error = GetLastError();
        GlobalFree(memory);
        ReportSystemError(owner, error);
    }
    CloseClipboard();
}

}  // namespace

std::string LoadMidiFileFilter()
{
    return LoadFileFilter(IDS_MIDI_FILTER);
}

OPENFILENAMEW MidiFileDialog(HWND owner, const std::wstring& filter, wchar_t (&path)[MAX_PATH], DWORD flags)
{
    return FileDialogFor(owner, filter, path, flags, L"mid");
}

bool WriteFileReplacingWin32(const std::string& path, const void* data, size_t size, DWORD& error)
{
    return WriteFileReplacingWin32(WidenAnsi(path), data, size, error);
}

bool WriteFileReplacingWin32(const std::wstring& path, const void* data, size_t size, DWORD& error)
{
    // Writing the chosen file in place would truncate it first: a write that
    // then fails (disk full, a removed medium) leaves a cut-off file where a
    // good one was. WriteFileReplacing puts the bytes into a temporary file
    // beside the target and replaces the target only with a complete one.
    unsigned long code = ERROR_SUCCESS;
    const bool ok = WriteFileReplacing(path, data, size, &code);
    error = ok ? ERROR_SUCCESS : static_cast<DWORD>(code);
    return ok;
}

void ExportTempo(HWND owner, const TakeList& takes, const AnalysisOptions& options, int interpCount, bool save)
{
    // The commands are disabled while no take is checked; an accelerator
    // that slips through still finds nothing to do.
    if (takes.empty())
        return;

    if (!TakesAreUniform(takes) &&
        CenteredMessageBox(owner, LoadResString(IDS_UNEQUAL_TAPS), LoadResString(IDS_CAPTION_WARNING),
                           MB_YESNO | MB_ICONEXCLAMATION) == IDNO)
        return;

    WaitCursorScope waitCursor;
    const int timeSigBase = g_AppSettings.TimeSigBase;

    // The one road from takes to bytes that metrova-cli takes as well: with
    // repair and smoothing off, exactly the plain average's bytes.
    const std::vector<uint8_t> bytes =
        ExportTempoBytes(takes, std::clamp(interpCount, 0, MaxInterpCount), timeSigBase, options);
    if (save) {
        // Computed before the dialog opens: the work is done even when the
        // user then cancels, and the file is only created once confirmed.
        SaveToFile(owner, bytes);
    } else {
        CopyToClipboard(owner, bytes);
    }
}
