#include "MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "AboutDialog.h"
#include "AppGlobals.h"
#include "Dpi.h"
#include "UiLanguage.h"
#include "ExportTempoWin32.h"
#include "ImportTempoWin32.h"
#include "Messages.h"
#include "MidiIn.h"
#include "LatencyDialog.h"
#include "LatencySettings.h"
#include "LatencySettingsWin32.h"
#include "OptionsDialog.h"
#include "RecordingControl.h"
#include "RecordingFile.h"
#include "SettingsWin32.h"
#include "Take.h"
#include "TakeBook.h"
#include "TakeListView.h"
#include "TakeSession.h"
#include "TapInputDialog.h"
#include "TempoGraphWindow.h"
#include "TempoPipeline.h"
#include "WidePath.h"
#include "ControlIds.h"
#include "resource.h"

HWND g_hMainWnd = nullptr;

namespace {

// Fetched at WM_INITDIALOG; the window exists once per run.
struct MainWindowHandles {
    HWND list = nullptr;
    HWND addButton = nullptr;
    HWND deleteButton = nullptr;
    HWND deleteAllButton = nullptr;
    HWND interpCombo = nullptr;
    HWND copyButton = nullptr;
    HWND saveButton = nullptr;
    HWND recordingLine = nullptr;
    HWND startLabel = nullptr;
    HWND startEdit = nullptr;
    HWND recordingTip = nullptr;  // the line's tooltip: how the beats were placed
    HMENU menuBar = nullptr;
    // The window's height without the recording's line, and with it.
    int plainHeight = 0;
    int recordingHeight = 0;
};
MainWindowHandles handles;

// The takes the window lists, their undo history and analysis: every
// change to them runs here in one order (the book, then the session, then
// the list, the command states and the graph).
TakeBook book;

// Set when the Applications key is pressed in the list: the context menu
// that follows opens at the selected row instead of at the mouse cursor.
bool contextMenuFromKeyboard = false;

int SelectedRow()
{
    return SelectedTakeRow(handles.list);
}

// What the export runs with now: repair and smoothing as set in the
// options, and the findings turned down in the checked takes.
AnalysisOptions ExportOptions()
{
    AnalysisOptions options =
        book.ExportOptions(g_AppSettings.RepairOnExport, g_AppSettings.Smoothing, g_AppSettings.AlignToRecording);
    // The beats moved onto the open recording's onsets.
    if (g_AppSettings.SnapToOnsets && options.AlignToRecording && OpenRecording().IsOpen()) {
        options.Snap = true;
        options.Onsets = OpenRecordingOnsets();
    }
    return options;
}

// The beat of the map selected in the graph (an index among its beats on
// the recording), kept across the graph's updates.
int selectedBeat = -1;

// Set while a take is tapped along the open recording: its taps are then
// recording times, and the take is anchored when it is listed.
bool tappingAlongRecording = false;
// The player of the take being tapped (a member of OnAddTake's frame).
TapAlongRecording* tapAlong = nullptr;

int SelectedInterpCount()
{
    // The count selected now, even if it differs from the saved setting.
    return static_cast<int>(SendMessageA(handles.interpCombo, CB_GETCURSEL, 0, 0));
}

void UpdateGraph(bool takesOrOptionsChanged = true);
void ShowRecordingLine(HWND window);
void StopListeningHere(HWND window);
void ShowSnapCounts(HWND window);

// How the list follows a change of the book.
enum class Shown {
    Added,   // takes appended: new rows, selected
    All,     // the takes put back (undo, redo, a new base note): every row anew
    States,  // rows deleted by the caller, or check marks, taps or findings changed
};

// After every change of the book: the session saved, the list drawn, the
// command states and the graph following.
void TakesChanged(Shown shown)
{
    // A session or journal that could not be written is told of once the
    // change is done: posted, so that it never interrupts the tap dialog
    // closing.
    SaveSession(book, SessionRecordingToKeep());
    if (TakesUnsavedToTell())
        PostMessageA(g_hMainWnd, WM_TAKESUNSAVED, 0, 0);
    switch (shown) {
    case Shown::Added:
        ShowAddedTakes(handles.list, book);
        break;
    case Shown::All:
        ShowAllTakes(handles.list, book);
        break;
    case Shown::States:
        ShowTakeStates(handles.list, book);
        break;
    }
    UpdateCommandStates();
    UpdateGraph();
    ShowSnapCounts(g_hMainWnd);
}

// Undo or redo gave back the takes and the base note they were tapped to.
void TakesPutBack(std::optional<int> timeSigBase)
{
    if (!timeSigBase)
        return;
    if (*timeSigBase != g_AppSettings.TimeSigBase) {
        g_AppSettings.TimeSigBase = *timeSigBase;
        SaveSettings(static_cast<int>(SendMessageA(handles.interpCombo, CB_GETCURSEL, 0, 0)));
    }
    TakesChanged(Shown::All);
}

void EnableCommand(HWND button, UINT id, bool enable)
{
    EnableWindow(button, enable);
    EnableMenuItem(handles.menuBar, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

// Deleting all rows sends one notification per row; a single update after
// them all is enough, so an update is posted only when none is waiting.
void ScheduleUpdate(HWND window)
{
    MSG waiting;
    if (!PeekMessageA(&waiting, window, WM_UPDATESTATES, WM_UPDATESTATES, PM_NOREMOVE))
        PostMessageA(window, WM_UPDATESTATES, 0, 0);
}

void OnInitDialog(HWND window)
{
    // The handle is needed before CreateDialogParamA returns: ApplySettings
    // below owns its messages by it and the command states read it.
    g_hMainWnd = window;

    handles.menuBar = GetMenu(window);
    handles.list = GetDlgItem(window, IDC_TAKELIST);
    handles.addButton = GetDlgItem(window, IDM_ADD);
    handles.deleteButton = GetDlgItem(window, IDM_DELETE);
    handles.deleteAllButton = GetDlgItem(window, IDM_DELETEALL);
    handles.interpCombo = GetDlgItem(window, IDC_INTERPCOUNT);
    handles.copyButton = GetDlgItem(window, IDM_COPYTEMPO);
    handles.saveButton = GetDlgItem(window, IDM_SAVETEMPO);
    handles.recordingLine = GetDlgItem(window, IDC_RECORDINGLINE);
    handles.startLabel = GetDlgItem(window, IDC_STARTLABEL);
    handles.startEdit = GetDlgItem(window, IDC_STARTPOS);
    // The template lays the recording's line out below the client area:
    // the window grows by it only while a recording is open.
    RECT outer{}, line{};
    GetWindowRect(window, &outer);
    GetWindowRect(handles.recordingLine, &line);
    handles.plainHeight = outer.bottom - outer.top;
    handles.recordingHeight = handles.plainHeight + (line.bottom - outer.bottom) + (line.bottom - line.top) / 2;
    handles.recordingTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX,
                                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                                           nullptr, g_hInstance, nullptr);
    if (handles.recordingTip) {
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(handles.recordingLine);
        tool.lpszText = const_cast<char*>("");
        SendMessageA(handles.recordingTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        // Line breaks in the text need a width.
        SendMessageA(handles.recordingTip, TTM_SETMAXTIPWIDTH, 0, 600);
    }

    InsertTakeListColumns(handles.list, CurrentUiLanguage());
    SetWindowIconsForDpi(window, DpiOfWindow(window));

    for (int i = 0; i <= MaxInterpCount; ++i) {
        char text[4];
        std::snprintf(text, sizeof text, "%d", i);
        SendMessageA(handles.interpCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }

    // The settings and the session fill the window; its command states
    // follow from what they left in it.
    const int interpCount = ApplySettings(window);
    SendMessageA(handles.interpCombo, CB_SETCURSEL, static_cast<WPARAM>(interpCount), 0);
    // A missing device is reported there; start-up goes on with the window.
    if (g_AppSettings.TapMethod == TapMethodMidi)
        OpenMidiIn(window, g_AppSettings.MidiInName);
    book.Reset();
    SessionRecording named;
    RestoreSession(window, book, &named);
    ShowAddedTakes(handles.list, book);
    UpdateCommandStates();
    ShowRecordingLine(window);
    // The recording the session names opens once the window shows: its
    // decoding has a progress window, and a missing file a message.
    if (!named.Path.empty()) {
        book.RestoreEdits(named.Edits);
        SetSessionRecording(named);
        PostMessageA(window, WM_REOPENRECORDING, 0, 0);
    }
}

}  // namespace

void HandOverTappedTake()
{
    // The recording stops with the dialog; its clock still maps a MIDI tap
    // on its way until the slot is emptied.
    if (tapAlong)
        tapAlong->Stop();
    if (AddTakeToList(CurrentTake, book, ListedTimeNow(), g_AppSettings.TimeSigBase, tappingAlongRecording))
        TakesChanged(Shown::Added);
}

namespace {

// What the tap dialog does with its take: MIDI taps are posted to it, the
// take is journalled while it is tapped and handed to the book when the
// dialog goes; the session holding it is saved before the journal ends.
class ListingTapTake final : public TapTakeHandler {
public:
    void DialogOpened(HWND dialog) override { SetMidiInTarget(dialog); }
    void BeginJournal() override { BeginTakeJournal(tappingAlongRecording ? SessionRecordingToKeep() : nullptr); }
    void WriteJournal() override { WriteTakeJournal(); }
    void HandOverTake() override { HandOverTappedTake(); }
    void EndJournal() override { EndTakeJournal(); }
    UINT JournalPeriod() const override { return TakeJournalPeriod; }
    bool TapTime(DWORD keyMs, uint32_t& time) override
    {
        if (!tapAlong || !tapAlong->IsActive()) {
            time = keyMs;
            return true;
        }
        return tapAlong->MapKey(keyMs, time);
    }
    bool PlayingPosition(double& ms) override { return tapAlong && tapAlong->Position(ms); }
};

// The input in use as the latencies are kept by: the keyboard, or the MIDI
// device by its name.
std::string TapInputName()
{
    return g_AppSettings.TapMethod == TapMethodMidi ? g_AppSettings.MidiInName : std::string(KeyboardLatencyInput);
}

// The tapper's latency for the input in use, as measured (0 without a
// measurement), subtracted from taps on the recording's timeline.
double TapLatencyInUse()
{
    return LoadTapLatency(TapInputName());
}

// The latency dialog's MIDI input: note-ons to the dialog while it runs.
class LatencyMidi final : public LatencyMidiHooks {
public:
    void DialogOpened(HWND dialog) override { SetMidiInTarget(dialog); }
    void StartInput() override { midiInStart(GetMidiInHandle()); }
    void StopInput() override { midiInStop(GetMidiInHandle()); }
};

// "タップの遅れを測る": clicks to tap along with, through the input in use.
void OnMeasureLatency(HWND window)
{
    LatencyMidi midi;
    LatencyInput input;
    input.Name = TapInputName();
    if (g_AppSettings.TapMethod == TapMethodMidi) {
        if (!IsMidiInOpen())
            OpenMidiIn(window, g_AppSettings.MidiInName);
        if (!IsMidiInOpen())
            return;  // told already
        input.Midi = &midi;
    }
    StopListening();
    RunLatencyDialog(window, input);
}

// The tap dialog records the take in CurrentTake and hands it to the book
// with AddTakeToList when it closes; the taps are compared with the checked
// takes, those of the tempo map. MIDI input is started only while the dialog
// is open; between takes the device stays open but stopped.
// With a recording open it plays from the pre-roll before the start
// position while the dialog is open, and the taps go onto its timeline.
void OnAddTake(HWND window)
{
    ListingTapTake handler;
    TapAlongRecording along;
    tappingAlongRecording = false;
    const auto startRecording = [&along, window]() {
        if (OpenRecording().IsOpen() &&
            along.Start(window, window, g_AppSettings.PreRollSeconds, TapLatencyInUse())) {
            tapAlong = &along;
            tappingAlongRecording = true;
            book.UseAnchors(true);
        }
    };
    struct Done {
        ~Done()
        {
            SetMidiTapMapper(nullptr);
            tapAlong = nullptr;
            tappingAlongRecording = false;
        }
    } done;
    switch (g_AppSettings.TapMethod) {
    case TapMethodKeyboard:
        startRecording();
        CurrentTake.Start();
        RunTapInputDialog(window, book.CheckedTaps(), handler);
        break;
    case TapMethodMidi:
        // A device that could not be opened has been reported already.
        if (!IsMidiInOpen())
            OpenMidiIn(window, g_AppSettings.MidiInName);
        if (!IsMidiInOpen())
            break;
        startRecording();
        CurrentTake.Start();
        if (tapAlong) {
            along.MidiStarting();
            SetMidiTapMapper(&along);
        }
        midiInStart(GetMidiInHandle());
        RunTapInputDialog(window, book.CheckedTaps(), handler);
        midiInStop(GetMidiInHandle());
        break;
    default:
        break;
    }
}

// While listening, the graph follows the playing position this often.
constexpr UINT_PTR ListenTimer = 1;
constexpr UINT ListenPeriod = 33;

// What the tempo graph shows: every listed take with its check mark and
// findings, and the map the export would give now (checked takes, the
// interpolation count selected, repair and smoothing as set). Kept between
// changes of the takes or options, so that a new selection, which only
// highlights another line, costs no export.
GraphContent graphContent;
bool graphContentCurrent = false;

void UpdateGraph(bool takesOrOptionsChanged)
{
    if (takesOrOptionsChanged)
        graphContentCurrent = false;
    // Nothing to compute while the graph is closed; opening it updates it.
    if (!handles.list || !TempoGraphWindow())
        return;
    const int selected = SelectedRow();
    if (graphContentCurrent) {
        if (graphContent.Selected == selected && graphContent.SelectedBeat == selectedBeat)
            return;
        graphContent.Selected = selected;
        graphContent.SelectedBeat = selectedBeat;
        UpdateTempoGraph(graphContent);
        return;
    }
    GraphContent content;
    content.Findings = book.Findings();
    for (size_t i = 0; i < book.Size(); ++i) {
        content.Takes.push_back(book.Takes()[i].Taps);
        content.Checked.push_back(book.Takes()[i].Checked);
        content.Accepted.push_back(book.Accepted(i));
    }
    const TakeList exported = book.CheckedTaps();
    if (!exported.empty()) {
        content.ExportBeatTimes = BeatTimesForExport(exported, ExportOptions());
        content.ExportOnRecording = LinesUpWithRecording(exported, ExportOptions());
    }
    // The recording under the curves: its waveform, the anchored takes where
    // they were tapped on it, the start position.
    const LoadedRecording& recording = OpenRecording();
    if (recording.IsOpen()) {
        content.Waveform = recording.Envelope;
        content.WaveformRate = recording.Format.sampleRate;
        content.StartMs = StartPositionMs();
        if (book.UsesAnchors())
            for (const SessionTake& take : book.Takes())
                content.Anchors.push_back(take.Anchor);
        if (recording.Onsets) {
            content.OnsetValues = std::shared_ptr<const std::vector<float>>(recording.Onsets, &recording.Onsets->Values);
            content.OnsetHopMs = recording.Onsets->HopMs;
        }
        // The map's beats where they were tapped and where they went: onto
        // onsets, by their neighbours' shift, or by hand.
        const AnalysisOptions options = ExportOptions();
        if (!exported.empty() && (options.Snap || !options.Edits.empty())) {
            const BeatsOnRecording detail = BeatsOnRecordingInDetail(exported, options);
            content.TappedBeatMs = detail.Tapped;
            content.SnappedBeatMs = detail.Final;
            for (BeatOrigin origin : detail.Origins)
                content.BeatMarks.push_back(origin == BeatOrigin::Edited   ? BeatMark::Edited
                                            : origin == BeatOrigin::Unsure ? BeatMark::Unsure
                                                                           : BeatMark::Snapped);
        }
    }
    if (selectedBeat >= static_cast<int>(content.SnappedBeatMs.size()))
        selectedBeat = -1;
    content.SelectedBeat = selectedBeat;
    const int interpCount = SelectedInterpCount();
    content.InterpCount = interpCount < 0 ? 0 : interpCount;
    content.TimeSigBase = g_AppSettings.TimeSigBase;
    content.Selected = selected;
    graphContent = content;
    graphContentCurrent = true;
    UpdateTempoGraph(std::move(content));
}

// The recording's line: shown, and the window grown by it, only while a
// recording is open; without one the window is as it always was.
void ShowRecordingLine(HWND window)
{
    const LoadedRecording& recording = OpenRecording();
    const bool open = recording.IsOpen();
    if (open) {
        const std::string line = LoadResString(IDS_RECORDING_LINE, NarrowForDisplay(FileNameOf(recording.Path)),
                                               FormatRecordingTime(recording.LengthMs()));
        SetWindowTextA(handles.recordingLine, line.c_str());
        SetWindowTextA(handles.startEdit, FormatRecordingTime(StartPositionMs()).c_str());
    }
    for (HWND control : {handles.recordingLine, handles.startLabel, handles.startEdit})
        ShowWindow(control, open ? SW_SHOWNA : SW_HIDE);
    RECT outer{};
    GetWindowRect(window, &outer);
    const int height = open ? handles.recordingHeight : handles.plainHeight;
    if (outer.bottom - outer.top != height)
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EnableMenuItem(handles.menuBar, IDM_CLOSERECORDING, MF_BYCOMMAND | (open ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(handles.menuBar, IDM_LISTEN, MF_BYCOMMAND | (open ? MF_ENABLED : MF_GRAYED));
}

// The tooltip of the recording's line: how many of the map's beats lie on
// onsets, kept their neighbours' shift, or were moved by hand. Empty while
// the beats are neither snapped nor edited.
std::string SnapCountsText()
{
    const TakeList exported = book.CheckedTaps();
    const AnalysisOptions options = ExportOptions();
    if (exported.empty() || (!options.Snap && options.Edits.empty()))
        return std::string();
    const BeatsOnRecording detail = BeatsOnRecordingInDetail(exported, options);
    if (detail.Final.empty())
        return std::string();
    size_t snapped = 0, unsure = 0, edited = 0;
    for (BeatOrigin origin : detail.Origins) {
        snapped += origin == BeatOrigin::Snapped;
        unsure += origin == BeatOrigin::Unsure;
        edited += origin == BeatOrigin::Edited;
    }
    std::string text = LoadResString(IDS_SNAP_COUNTS, std::to_string(snapped), std::to_string(unsure));
    const size_t third = text.find("%3");
    if (third != std::string::npos)
        text.replace(third, 2, std::to_string(edited));
    return text;
}

void ShowSnapCounts(HWND window)
{
    if (!handles.recordingTip)
        return;
    const std::string text = OpenRecording().IsOpen() ? SnapCountsText() : std::string();
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(handles.recordingLine);
    tool.lpszText = const_cast<char*>(text.c_str());
    SendMessageA(handles.recordingTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

// After the open recording changed: its line, the anchors that count, the
// session that names it, the graph.
void RecordingChanged(HWND window)
{
    ShowRecordingLine(window);
    book.UseAnchors(OpenRecording().IsOpen());
    TakesChanged(Shown::States);
}

// Opens the recording at `path` as the one the takes are tapped along. A
// recording other than the session's makes the takes' anchors, places on
// the other one, meaningless: they are dropped.
bool OpenRecordingAt(HWND window, const std::wstring& path)
{
    LoadedRecording loaded;
    if (LoadRecording(window, path, loaded) != RecordingLoad::Loaded)
        return false;
    const SessionRecording* before = SessionRecordingToKeep();
    const bool same = before && before->Size == loaded.Identity.Size && before->Hash == loaded.Identity.Hash;
    if (!same)
        book.DropAnchors();
    SetOpenRecording(std::move(loaded));
    RecordingChanged(window);
    return true;
}

void OnOpenRecording(HWND window)
{
    const std::wstring filter = WidenAnsi(LoadFileFilter(IDS_AUDIO_FILTER));
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW ofn = FileDialogFor(window, filter, path, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, nullptr);
    DialogCenteringScope centring;
    if (GetOpenFileNameW(&ofn))
        OpenRecordingAt(window, std::wstring(path));
}

void OnCloseRecording(HWND window)
{
    if (!OpenRecording().IsOpen())
        return;
    // The anchors go with the recording: say so when takes have them.
    if (book.AnyAnchored()) {
        DialogCenteringScope centring;
        if (CenteredMessageBox(window, LoadResString(IDS_RECORDING_CLOSE_ANCHORED), LoadResString(IDS_CAPTION_CONFIRM),
                               MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return;
    }
    StopListeningHere(window);
    CloseOpenRecording();
    ForgetSessionRecording();
    book.DropAnchors();
    RecordingChanged(window);
}

// At start-up: the session's recording again, when it is there and still
// the same file; otherwise the takes stay (anchors and all, kept in the
// session for when the file is back) and the user is told.
void ReopenSessionRecording(HWND window)
{
    const SessionRecording* named = SessionRecordingToKeep();
    if (!named || OpenRecording().IsOpen())
        return;
    const std::wstring path = WideFromUtf8(named->Path);
    DialogCenteringScope centring;
    if (GetFileAttributesW(PathForFileApi(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        CenteredMessageBox(window, LoadResString(IDS_RECORDING_MISSING, NarrowForDisplay(path)),
                           LoadResString(IDS_CAPTION_WARNING), MB_ICONEXCLAMATION);
        return;
    }
    if (!IsSameRecording(*named) &&
        CenteredMessageBox(window, LoadResString(IDS_RECORDING_CHANGED, NarrowForDisplay(path)),
                           LoadResString(IDS_CAPTION_WARNING), MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    LoadedRecording loaded;
    if (LoadRecording(window, path, loaded) != RecordingLoad::Loaded)
        return;
    SetOpenRecording(std::move(loaded));
    RecordingChanged(window);
}

// The start position as typed, once the field is left: a text that is no
// time goes back to the position kept.
void OnStartPositionEdited()
{
    char text[64] = "";
    GetWindowTextA(handles.startEdit, text, sizeof text);
    double ms = 0.0;
    const double before = StartPositionMs();
    if (ParseRecordingTime(text, ms))
        SetStartPositionMs(ms);
    SetWindowTextA(handles.startEdit, FormatRecordingTime(StartPositionMs()).c_str());
    if (StartPositionMs() != before)
        UpdateGraph();
}

// A click on the graph's waveform: the start position there.
void OnGraphStartAt(LPARAM ms)
{
    if (!OpenRecording().IsOpen())
        return;
    SetStartPositionMs(static_cast<double>(ms));
    SetWindowTextA(handles.startEdit, FormatRecordingTime(StartPositionMs()).c_str());
    UpdateGraph();
}

// The graph's beats: moved by hand, put on the onset before or after, or
// given back to the snapping. Each is one step to undo, named by where the
// beat lies now on the recording.
bool GraphBeatAt(WPARAM beat, double& ms)
{
    if (beat >= graphContent.SnappedBeatMs.size())
        return false;
    ms = graphContent.SnappedBeatMs[beat];
    return true;
}

int64_t Microseconds(double ms)
{
    return static_cast<int64_t>(std::llround(ms * 1000.0));
}

void OnGraphBeat(UINT message, WPARAM beat, LPARAM value)
{
    double at = 0.0;
    if (!GraphBeatAt(beat, at))
        return;
    selectedBeat = static_cast<int>(beat);
    bool changed = false;
    switch (message) {
    case WM_GRAPHBEATMOVE:
        changed = book.EditBeat(Microseconds(at), static_cast<int64_t>(value) * 1000, g_AppSettings.TimeSigBase);
        break;
    case WM_GRAPHBEATRESNAP: {
        double onset = 0.0;
        if (NeighbouringOnset(at, value < 0 ? -1 : 1, onset))
            changed = book.EditBeat(Microseconds(at), Microseconds(onset), g_AppSettings.TimeSigBase);
        break;
    }
    case WM_GRAPHBEATRESET:
        changed = book.ResetBeat(Microseconds(at), g_AppSettings.TimeSigBase);
        break;
    default:  // WM_GRAPHBEATSELECT
        UpdateGraph(false);
        return;
    }
    if (changed)
        TakesChanged(Shown::States);
}

void StopListeningHere(HWND window)
{
    StopListening();
    KillTimer(window, ListenTimer);
    SetTempoGraphPlayingPosition(std::nan(""));
}

// "試聴": the recording from the start position with a click on every beat
// of the map that would be exported; the recording alone without checked
// takes. Again: stops.
void OnListen(HWND window)
{
    if (IsListening()) {
        StopListeningHere(window);
        return;
    }
    if (!OpenRecording().IsOpen())
        return;
    const TakeList exported = book.CheckedTaps();
    std::vector<double> beats;
    if (!exported.empty())
        beats = BeatTimesForExport(exported, ExportOptions());
    if (StartListening(window, window, beats))
        SetTimer(window, ListenTimer, ListenPeriod, nullptr);
}

void OnOptions(HWND window)
{
    RunOptionsDialog(window);
    // Smoothing, repair and the base note change what the graph shows.
    UpdateCommandStates();
    UpdateGraph();
    ShowSnapCounts(window);
}

void OnAbout(HWND window)
{
    RunAboutDialog(window);
}

void OnDeleteSelected()
{
    const int selected = SelectedRow();
    if (selected < 0 || !book.Delete(static_cast<size_t>(selected), g_AppSettings.TimeSigBase))
        return;
    SendMessageA(handles.list, LVM_DELETEITEM, static_cast<WPARAM>(selected), 0);
    TakesChanged(Shown::States);

    // Keep a row selected so that Delete can be pressed again at once.
    const int focused =
        static_cast<int>(SendMessageA(handles.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused < 0)
        return;
    LVITEMA state = {};
    state.state = LVIS_SELECTED;
    state.stateMask = LVIS_SELECTED;
    SendMessageA(handles.list, LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&state));
    SendMessageA(handles.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(focused), FALSE);
}

void OnDeleteAll(HWND window)
{
    if (CenteredMessageBox(window, LoadResString(IDS_DELETE_ALL), LoadResString(IDS_CAPTION_WARNING),
                           MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
        if (book.Clear(g_AppSettings.TimeSigBase)) {
            SendMessageA(handles.list, LVM_DELETEALLITEMS, 0, 0);
            TakesChanged(Shown::States);
        }
    }
}

void OnImport(HWND window)
{
    const std::wstring filter = WidenAnsi(LoadMidiFileFilter());
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW ofn = MidiFileDialog(window, filter, path, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);

    // Held through the import too, so that its messages are centred.
    DialogCenteringScope centring;
    if (GetOpenFileNameW(&ofn) && ImportTempoFile(window, book, std::wstring(path)))
        TakesChanged(Shown::Added);
}

void OnOpenTakes(HWND window)
{
    const size_t listed = book.Size();
    OpenTakesFromFile(window, book);
    if (book.Size() != listed)
        TakesChanged(Shown::Added);
}

void OnHelp(HWND window)
{
    const std::wstring path = GetHelpFilePath();
    if (!path.empty())
        ShellOpen(path, window);
    else
        ReportSystemError(window, ERROR_FILENAME_EXCED_RANGE);
}

void OnCommand(HWND window, UINT id, UINT code)
{
    // A new interpolation count changes the map the graph shows.
    if (id == IDC_INTERPCOUNT) {
        if (code == CBN_SELCHANGE)
            UpdateGraph();
        return;
    }
    switch (id) {
    case IDM_ADD:
        OnAddTake(window);
        break;
    case IDM_EXIT:
        SendMessageA(window, WM_CLOSE, 0, 0);
        break;
    case IDM_SAVETEMPO:
    case IDM_COPYTEMPO:
        // Only the checked takes go into the map.
        ExportTempo(window, book.CheckedTaps(), ExportOptions(), SelectedInterpCount(), id == IDM_SAVETEMPO);
        break;
    case IDM_DELETE:
        OnDeleteSelected();
        break;
    case IDM_DELETEALL:
        OnDeleteAll(window);
        break;
    case IDM_ABOUT:
        OnAbout(window);
        break;
    case IDM_HELP:
        OnHelp(window);
        break;
    case IDM_OPTIONS:
        OnOptions(window);
        break;
    case IDM_IMPORT:
        OnImport(window);
        break;
    case IDM_OPENTAKES:
        OnOpenTakes(window);
        break;
    case IDM_SAVETAKES:
        SaveTakesToFile(window, book);
        break;
    case IDM_UNDO:
        TakesPutBack(book.Undo(g_AppSettings.TimeSigBase));
        break;
    case IDM_REDO:
        TakesPutBack(book.Redo(g_AppSettings.TimeSigBase));
        break;
    case IDM_REPAIR: {
        const int selected = SelectedRow();
        if (selected >= 0 && book.Repair(static_cast<size_t>(selected), g_AppSettings.TimeSigBase))
            TakesChanged(Shown::States);
        break;
    }
    case IDM_REPAIRALL:
        if (book.RepairAll(g_AppSettings.TimeSigBase))
            TakesChanged(Shown::States);
        break;
    case IDM_TEMPOGRAPH:
        ShowTempoGraph(window);
        UpdateGraph();
        break;
    case IDM_OPENRECORDING:
        OnOpenRecording(window);
        break;
    case IDM_CLOSERECORDING:
        OnCloseRecording(window);
        break;
    case IDM_LISTEN:
        OnListen(window);
        break;
    case IDM_MEASURELATENCY:
        OnMeasureLatency(window);
        break;
    case IDC_STARTPOS:
        if (code == EN_KILLFOCUS)
            OnStartPositionEdited();
        break;
    default:  // IDCANCEL from Escape
        break;
    }
}

// True when the notification's result (DWLP_MSGRESULT) was set.
bool OnListNotify(HWND window, const NMHDR& header)
{
    switch (header.code) {
    case LVN_ITEMCHANGING:
        if (!TakeListChangeAllowed(reinterpret_cast<const NMLISTVIEW&>(header))) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);  // keeps the check box as it was
            return true;
        }
        break;
    case LVN_KEYDOWN: {
        const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
        if (key == VK_DELETE)
            SendMessageA(window, WM_COMMAND, IDM_DELETE, 0);
        else if (key == VK_APPS)
            contextMenuFromKeyboard = true;
        break;
    }
    case LVN_DELETEITEM:
        ScheduleUpdate(window);
        break;
    case LVN_ITEMCHANGED: {
        const NMLISTVIEW& changed = reinterpret_cast<const NMLISTVIEW&>(header);
        if (changed.uChanged & LVIF_STATE) {
            // A check box the user clicked is the take's new check mark.
            int row = -1;
            bool checked = false;
            if (CheckBoxClicked(changed, row, checked) &&
                book.SetChecked(static_cast<size_t>(row), checked, g_AppSettings.TimeSigBase))
                TakesChanged(Shown::States);
            ScheduleUpdate(window);
        }
        break;
    }
    case LVN_GETINFOTIPA:
        FillTakeInfoTip(reinterpret_cast<NMLVGETINFOTIPA&>(const_cast<NMHDR&>(header)), book);
        break;
    case NM_DBLCLK:
        if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0)
            SendMessageA(window, WM_COMMAND, IDM_TEMPOGRAPH, 0);
        break;
    default:
        break;
    }
    return false;
}

void OnContextMenu(HWND window, HWND source)
{
    if (!g_hContextMenu || source != handles.list)
        return;

    POINT at = {};
    if (contextMenuFromKeyboard) {
        const int selected = SelectedRow();
        RECT bounds = {};
        bounds.left = LVIR_BOUNDS;
        if (selected >= 0 &&
            SendMessageA(handles.list, LVM_GETITEMRECT, static_cast<WPARAM>(selected),
                         reinterpret_cast<LPARAM>(&bounds))) {
            at.x = (bounds.left + bounds.right) / 2;
            at.y = (bounds.top + bounds.bottom) / 2;
        }
        ClientToScreen(handles.list, &at);
        contextMenuFromKeyboard = false;
    } else {
        GetCursorPos(&at);
    }

    UpdateCommandStates();
    const struct {
        UINT id;
        HWND button;
    } followers[] = {{IDM_DELETE, handles.deleteButton},
                     {IDM_DELETEALL, handles.deleteAllButton},
                     {IDM_COPYTEMPO, handles.copyButton},
                     {IDM_SAVETEMPO, handles.saveButton}};
    for (const auto& item : followers) {
        EnableMenuItem(g_hContextMenu, item.id,
                       MF_BYCOMMAND | (IsWindowEnabled(item.button) ? MF_ENABLED : MF_GRAYED));
    }
    // The menu-only commands follow the menu bar's states.
    for (UINT id : {IDM_REPAIR, IDM_REPAIRALL}) {
        const UINT state = GetMenuState(handles.menuBar, id, MF_BYCOMMAND);
        EnableMenuItem(g_hContextMenu, id, MF_BYCOMMAND | ((state & MF_GRAYED) ? MF_GRAYED : MF_ENABLED));
    }
    TrackPopupMenu(g_hContextMenu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
}

void OnDropFiles(HWND window, HDROP drop)
{
    SetForegroundWindow(window);
    wchar_t path[MAX_PATH] = L"";
    // The length without the terminator. A longer path would be cut to fit
    // the buffer and name some other file. Wide: a name the code page cannot
    // spell is dropped as it is.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length < MAX_PATH)
        DragQueryFileW(drop, 0, path, MAX_PATH);
    DragFinish(drop);
    if (length == 0)
        return;
    if (length >= MAX_PATH) {
        ReportSystemError(window, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    // A MIDI file gives its tempo map as a take; anything else is tried as
    // the recording to tap along.
    if (!LooksLikeMidiFile(path)) {
        OpenRecordingAt(window, std::wstring(path));
        return;
    }
    if (ImportTempoFile(window, book, std::wstring(path)))
        TakesChanged(Shown::Added);
}

}  // namespace

TakeBook& MainWindowTakeBook()
{
    return book;
}

void ClearTakesForBaseNote(int timeSigBase)
{
    // Undoable, base note included: the step keeps the note the takes were
    // tapped to.
    const bool cleared = book.ClearForBaseNote(g_AppSettings.TimeSigBase);
    g_AppSettings.TimeSigBase = timeSigBase;
    if (cleared)
        TakesChanged(Shown::All);
}

void UpdateCommandStates()
{
    if (!handles.list)
        return;
    const int selected = static_cast<int>(SendMessageA(handles.list, LVM_GETSELECTEDCOUNT, 0, 0));
    const bool hasRows = book.Size() > 0;
    // Only checked takes are exported or saved.
    const bool hasChecked = !book.CheckedTakes().empty();
    const bool anyRepair = book.CanRepairAny();
    const int selectedRow = SelectedRow();

    EnableCommand(handles.deleteButton, IDM_DELETE, selected == 1);
    EnableCommand(handles.deleteAllButton, IDM_DELETEALL, hasRows);
    EnableCommand(handles.copyButton, IDM_COPYTEMPO, hasChecked);
    EnableCommand(handles.saveButton, IDM_SAVETEMPO, hasChecked);
    const auto enableMenu = [](UINT id, bool enable) {
        EnableMenuItem(handles.menuBar, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
    };
    enableMenu(IDM_SAVETAKES, hasChecked);
    enableMenu(IDM_UNDO, book.CanUndo());
    enableMenu(IDM_REDO, book.CanRedo());
    enableMenu(IDM_REPAIR, selected == 1 && selectedRow >= 0 && book.CanRepair(static_cast<size_t>(selectedRow)));
    enableMenu(IDM_REPAIRALL, anyRepair);

    // A disabled button loses the focus, and a dialog with no focus ignores
    // the keyboard. WM_NEXTDLGCTL moves the default-button look along with
    // the focus, which a bare SetFocus would leave on the disabled button.
    if (!GetFocus() && g_hMainWnd) {
        if (HWND first = GetNextDlgTabItem(g_hMainWnd, nullptr, FALSE))
            SendMessageA(g_hMainWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(window);
        return TRUE;  // the dialog manager focuses the first tab stop, the list
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_NOTIFY: {
        const NMHDR& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.idFrom == IDC_TAKELIST && OnListNotify(window, header))
            return TRUE;
        break;
    }
    case WM_CONTEXTMENU:
        OnContextMenu(window, reinterpret_cast<HWND>(wParam));
        break;
    case WM_DROPFILES:
        OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
        break;
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI (or the scaling changed): the
        // system has scaled the template's controls and fonts; the pixel
        // sizes of our own follow here.
        MoveToSuggestedRect(window, lParam);
        SetTakeListColumnWidths(handles.list, DpiFromMessage(wParam), CurrentUiLanguage());
        SetWindowIconsForDpi(window, DpiFromMessage(wParam));
        GetWindowRect(window, &g_WindowRect);
        return TRUE;
    case WM_EXITSIZEMOVE:
        GetWindowRect(window, &g_WindowRect);
        break;
    case WM_UPDATESTATES:
        UpdateCommandStates();
        // The selected take is highlighted in the graph.
        UpdateGraph(false);
        break;
    case WM_GRAPHFINDING:
        // A click on a finding's marker in the graph accepts or turns it down.
        if (book.ToggleFinding(static_cast<size_t>(wParam), static_cast<size_t>(lParam), g_AppSettings.TimeSigBase))
            TakesChanged(Shown::States);
        break;
    case WM_TAKESUNSAVED:
        ShowTakesUnsavedNotice(window, book);
        break;
    case WM_SESSIONNOTICE:
        ShowSessionNotice(window);
        break;
    case WM_REOPENRECORDING:
        ReopenSessionRecording(window);
        break;
    case WM_PLAYBACKEND:
        PlaybackEnded(lParam, tapAlong);
        if (!IsListening())
            StopListeningHere(window);
        break;
    case WM_TIMER:
        if (wParam == ListenTimer) {
            double ms = 0.0;
            if (ListeningPosition(ms))
                SetTempoGraphPlayingPosition(ms);
            else
                StopListeningHere(window);
        }
        break;
    case WM_GRAPHSTARTAT:
        OnGraphStartAt(lParam);
        break;
    case WM_GRAPHBEATSELECT:
    case WM_GRAPHBEATMOVE:
    case WM_GRAPHBEATRESNAP:
    case WM_GRAPHBEATRESET:
        OnGraphBeat(message, wParam, lParam);
        break;
    case WM_GRAPHSTOPLISTEN:
        // Escape in the graph; the main window's own Escape stays ignored.
        if (IsListening())
            StopListeningHere(window);
        break;
    case WM_CLOSE:
        // No session save here: the session was written with every change.
        KillTimer(window, ListenTimer);
        StopListening();
        CloseMidiIn();
        CloseTempoGraph();  // keeps its placement for the settings
        SaveSettings(static_cast<int>(SendMessageA(handles.interpCombo, CB_GETCURSEL, 0, 0)));
        DestroyWindow(window);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_NCDESTROY:
        if (g_hMainWnd == window)
            g_hMainWnd = nullptr;
        handles = MainWindowHandles();
        book.Reset();
        CloseOpenRecording();
        ForgetSessionRecording();
        graphContent = GraphContent();
        graphContentCurrent = false;
        SetWindowIconsForDpi(nullptr, 0);
        break;
    default:
        break;
    }
    return 0;
}
