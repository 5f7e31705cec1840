#include "TakeListView.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "AppGlobals.h"
#include "Dpi.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "TakeHistory.h"
#include "TakeSession.h"
#include "Take.h"
#include "resource.h"

namespace {

// The columns' widths in pixels at DesignDpi.
constexpr int TimeColumnWidth = 135;
constexpr int TapsColumnWidth = 70;
// The rows' small icons: none, or a warning for a take with findings.
constexpr int NoIcon = 0;
constexpr int WarningIcon = 1;
constexpr int SmallIconSize = 16;  // at DesignDpi

// State images of a list with check boxes: 1 unchecked, 2 checked.
UINT CheckStateImage(bool checked)
{
    return INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
}

TakeHistory history;
Analysis analysis;  // of every listed take, in row order
// Per row, whether a repair with its accepted findings would change the take
// (-1: not yet asked since the last analysis). Asked for every command-state
// update, so a repair is worked out once per analysis and row.
std::vector<int> repairable;
// Set while the program itself inserts rows or sets their check boxes, so
// that those notifications are not taken for the user's clicks.
int quietChecks = 0;

struct QuietChecks {
    QuietChecks() { ++quietChecks; }
    ~QuietChecks() { --quietChecks; }
    QuietChecks(const QuietChecks&) = delete;
    QuietChecks& operator=(const QuietChecks&) = delete;
};

SessionTake* RowTake(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<SessionTake*>(item.lParam);
}

int RowCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

// Set while the list handles a double-click away from a row's check box.
// A list view with check boxes toggles the row's check box on such a
// double-click; here a double-click opens the tempo graph instead, and
// toggling the take in or out of the export on the way would surprise.
bool inDoubleClick = false;

LRESULT CALLBACK TakeListSubclass(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_LBUTTONDBLCLK) {
        LVHITTESTINFO hit = {};
        hit.pt = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (!(hit.flags & LVHT_ONITEMSTATEICON)) {
            inDoubleClick = true;
            const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
            inDoubleClick = false;
            return result;
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(list, TakeListSubclass, id);
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

// A list of two icons of the size for `dpi`: an empty one and the system's
// warning sign. The list view keeps it (LVS_SHAREIMAGELISTS is not set) and
// destroys it with itself or when it is replaced.
void SetRowIcons(HWND list, UINT dpi)
{
    const int size = ScaleToDpi(SmallIconSize, dpi);
    HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0);
    if (!icons)
        return;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP blank = CreateCompatibleBitmap(screen, size, size);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    if (memory && blank && mask) {
        HGDIOBJ old = SelectObject(memory, mask);
        PatBlt(memory, 0, 0, size, size, WHITENESS);  // all transparent
        SelectObject(memory, old);
        ImageList_Add(icons, blank, mask);
    }
    if (mask)
        DeleteObject(mask);
    if (blank)
        DeleteObject(blank);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    HICON warning = static_cast<HICON>(
        LoadImageA(nullptr, MAKEINTRESOURCEA(32515) /* IDI_WARNING */, IMAGE_ICON, size, size, LR_SHARED));
    if (warning)
        ImageList_AddIcon(icons, warning);
    HIMAGELIST previous =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons)));
    if (previous)
        ImageList_Destroy(previous);
}

// The accepted findings of the row's take, counted by kind.
struct FindingCounts {
    int Missed = 0;
    int Extra = 0;
    int Start = 0;
    int Outlier = 0;
    bool Any() const { return Missed + Extra + Start + Outlier > 0; }
};

FindingCounts CountFindings(const SessionTake& take, size_t row)
{
    FindingCounts counts;
    if (row >= analysis.Takes.size())
        return counts;
    const TakeAnalysis& found = analysis.Takes[row];
    const std::vector<bool> accepted = AcceptedFindings(found, take.Rejected);
    for (size_t i = 0; i < found.Findings.size(); ++i) {
        if (!accepted[i])
            continue;
        switch (found.Findings[i].Kind) {
        case FindingKind::Missed:
            counts.Missed += found.Findings[i].Beats;
            break;
        case FindingKind::Extra:
            ++counts.Extra;
            break;
        case FindingKind::Start:
            ++counts.Start;
            break;
        case FindingKind::Outlier:
            ++counts.Outlier;
            break;
        }
    }
    return counts;
}

void SetRowTapCount(HWND list, int row, size_t taps)
{
    char countText[16];
    std::snprintf(countText, sizeof countText, "%d", static_cast<int>(taps));
    LVITEMA count = {};
    count.iSubItem = 1;
    count.pszText = countText;
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&count));
}

// The rows' icons and tap counts after the analysis.
void ShowFindings(HWND list)
{
    const int rows = RowCount(list);
    for (int row = 0; row < rows; ++row) {
        const SessionTake* take = RowTake(list, row);
        if (!take)
            continue;
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        item.iImage = CountFindings(*take, static_cast<size_t>(row)).Any() ? WarningIcon : NoIcon;
        SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        SetRowTapCount(list, row, take->Taps.size());
    }
}

void Analyse(HWND list)
{
    analysis = AnalyzeTakes(ReadTakesFromList(list));
    repairable.assign(analysis.Takes.size(), -1);
}

TakeList TapsOf(const std::vector<const SessionTake*>& takes)
{
    TakeList taps;
    taps.reserve(takes.size());
    for (const SessionTake* take : takes)
        taps.push_back(&take->Taps);
    return taps;
}

ListState CurrentState(HWND list)
{
    ListState state;
    state.TimeSigBase = g_AppSettings.TimeSigBase;
    for (const SessionTake* take : ReadSessionTakesFromList(list))
        state.Takes.push_back(*take);
    return state;
}

int SelectedRow(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(HWND list, int row)
{
    LVITEMA state = {};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

// Puts the list (and the base note) back as the state holds them; the row
// selected before stays selected where it still exists.
void Restore(HWND list, ListState state)
{
    const int selected = SelectedRow(list);
    {
        QuietChecks quiet;
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        for (SessionTake& take : state.Takes)
            AppendTakeRow(list, std::make_unique<SessionTake>(std::move(take)));
        const int rows = RowCount(list);
        LVITEMA none = {};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
        if (rows > 0 && selected >= 0)
            SelectRow(list, std::min(selected, rows - 1));
    }
    if (state.TimeSigBase != g_AppSettings.TimeSigBase) {
        g_AppSettings.TimeSigBase = state.TimeSigBase;
        SaveSettings(static_cast<int>(SendDlgItemMessageA(GetParent(list), IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0)));
    }
    TakesChanged(list);
}

// The row's accepted findings; true when a repair would apply any of them
// (outliers are advice only and never change a take).
bool AcceptedRepairs(HWND list, int row, std::vector<bool>& accepted)
{
    const SessionTake* take = row >= 0 ? RowTake(list, row) : nullptr;
    if (!take || static_cast<size_t>(row) >= analysis.Takes.size())
        return false;
    const TakeAnalysis& found = analysis.Takes[static_cast<size_t>(row)];
    accepted = AcceptedFindings(found, take->Rejected);
    for (size_t i = 0; i < found.Findings.size(); ++i)
        if (accepted[i] && found.Findings[i].Kind != FindingKind::Outlier)
            return true;
    return false;
}

// The take repaired with its accepted findings, and the findings turned down
// carried over to the taps where the repair put them; false when the
// accepted findings would not change the take.
bool Repaired(HWND list, int row, SessionTake& repaired)
{
    std::vector<bool> accepted;
    if (!AcceptedRepairs(list, row, accepted))
        return false;
    const SessionTake& take = *RowTake(list, row);
    std::vector<int64_t> places;
    repaired.Taps = RepairTake(ReadTakesFromList(list), analysis, static_cast<size_t>(row), &accepted, &places);
    repaired.Rejected = CarryRejected(take.Rejected, places);
    return repaired.Taps.size() >= 2 && repaired.Taps != take.Taps;
}

void InsertColumn(HWND list, int index, UINT textId, int width, int format)
{
    std::string text = LoadResString(textId);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = format;
    column.cx = width;
    column.pszText = &text[0];
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

// The listed time in the user's time format, as the column has always
// shown it; empty when the system cannot format it.
std::string TimeColumnText(const std::string& listedAt)
{
    ListedTime listed;
    SYSTEMTIME time = {};
    if (!ParseListedTime(listedAt, listed))
        return std::string();
    time.wYear = static_cast<WORD>(listed.Year);
    time.wMonth = static_cast<WORD>(listed.Month);
    time.wDay = static_cast<WORD>(listed.Day);
    time.wHour = static_cast<WORD>(listed.Hour);
    time.wMinute = static_cast<WORD>(listed.Minute);
    time.wSecond = static_cast<WORD>(listed.Second);
    char text[256];
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 256) == 0)
        return std::string();
    return text;
}

}  // namespace

std::string ListedTimeNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    ListedTime listed;
    listed.Year = now.wYear;
    listed.Month = now.wMonth;
    listed.Day = now.wDay;
    listed.Hour = now.wHour;
    listed.Minute = now.wMinute;
    listed.Second = now.wSecond;
    return FormatListedTime(listed);
}

void InsertTakeListColumns(HWND list)
{
    const UINT dpi = DpiOfWindow(list);
    InsertColumn(list, 0, IDS_COL_TIME, ScaleToDpi(TimeColumnWidth, dpi), LVCFMT_LEFT);
    InsertColumn(list, 1, IDS_COL_TAPS, ScaleToDpi(TapsColumnWidth, dpi), LVCFMT_RIGHT);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_INFOTIP;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    SetRowIcons(list, dpi);
    SetWindowSubclass(list, TakeListSubclass, 1, 0);
}

void SetTakeListColumnWidths(HWND list, UINT dpi)
{
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(ScaleToDpi(TimeColumnWidth, dpi), 0));
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(ScaleToDpi(TapsColumnWidth, dpi), 0));
    SetRowIcons(list, dpi);
}

bool AppendTakeRow(HWND list, std::unique_ptr<SessionTake> take)
{
    if (take->ListedAt.empty())
        take->ListedAt = ListedTimeNow();
    std::string timeText = TimeColumnText(take->ListedAt);

    const int index = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = &timeText[0];
    item.lParam = reinterpret_cast<LPARAM>(take.get());
    item.iImage = NoIcon;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    QuietChecks quiet;
    const int inserted = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0)
        return false;  // the take is freed here
    const SessionTake* listed = take.release();  // the row owns it now

    // The check box after the insertion: a list view with check boxes gives
    // every new row the unchecked image whatever the insertion asked for.
    LVITEMA check = {};
    check.state = CheckStateImage(listed->Checked);
    check.stateMask = LVIS_STATEIMAGEMASK;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(inserted), reinterpret_cast<LPARAM>(&check));

    char countText[16];
    std::snprintf(countText, sizeof countText, "%d", static_cast<int>(listed->Taps.size()));
    LVITEMA count = {};
    count.iSubItem = 1;
    count.pszText = countText;
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(inserted), reinterpret_cast<LPARAM>(&count));

    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(inserted), FALSE);
    return true;
}

void AddTakeToList()
{
    // Emptying the slot first is what keeps a late MIDI tap out of the take:
    // from here on the driver's callback finds no take to append to.
    std::unique_ptr<Take> taps = HandOverTakeForList(CurrentTake);
    if (!taps)
        return;
    HWND list = g_hMainWnd ? GetDlgItem(g_hMainWnd, IDC_TAKELIST) : nullptr;
    if (!list)
        return;
    auto take = std::make_unique<SessionTake>();
    take->Taps = std::move(*taps);
    NormalizeTake(take->Taps);
    RecordTakesChange(list);
    if (AppendTakeRow(list, std::move(take)))
        TakesChanged(list);
}

TakeList ReadTakesFromList(HWND list)
{
    return TapsOf(ReadSessionTakesFromList(list));
}

std::vector<const SessionTake*> ReadSessionTakesFromList(HWND list)
{
    std::vector<const SessionTake*> takes;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) && item.lParam)
            takes.push_back(reinterpret_cast<const SessionTake*>(item.lParam));
    }
    return takes;
}

void DestroyRowTake(const NMLISTVIEW& deleted)
{
    delete reinterpret_cast<SessionTake*>(deleted.lParam);
}

TakeList ReadCheckedTakesFromList(HWND list)
{
    return TapsOf(ReadCheckedSessionTakesFromList(list));
}

std::vector<const SessionTake*> ReadCheckedSessionTakesFromList(HWND list)
{
    std::vector<const SessionTake*> checked;
    for (const SessionTake* take : ReadSessionTakesFromList(list))
        if (take->Checked)
            checked.push_back(take);
    return checked;
}

const Analysis& ListedTakesAnalysis()
{
    return analysis;
}

AnalysisOptions ExportAnalysisOptions(HWND list)
{
    AnalysisOptions options;
    options.Repair = g_AppSettings.RepairOnExport;
    options.Smoothing = g_AppSettings.Smoothing;
    if (options.Repair) {
        for (const SessionTake* take : ReadCheckedSessionTakesFromList(list))
            options.Rejected.push_back(take->Rejected);
    }
    return options;
}

void RecordTakesChange(HWND list)
{
    history.Record(CurrentState(list));
}

void RefreshTakeFindings(HWND list)
{
    Analyse(list);
    ShowFindings(list);
    if (HWND owner = GetParent(list))
        PostMessageA(owner, WM_TAKESCHANGED, 0, 0);
}

void TakesChanged(HWND list)
{
    RefreshTakeFindings(list);
    SaveSession();
}

bool UndoTakesChange(HWND list)
{
    std::optional<ListState> back = history.Undo(CurrentState(list));
    if (!back)
        return false;
    Restore(list, std::move(*back));
    return true;
}

bool RedoTakesChange(HWND list)
{
    std::optional<ListState> forward = history.Redo(CurrentState(list));
    if (!forward)
        return false;
    Restore(list, std::move(*forward));
    return true;
}

bool CanUndoTakesChange()
{
    return history.CanUndo();
}

bool CanRedoTakesChange()
{
    return history.CanRedo();
}

void ClearTakesHistory()
{
    history.Clear();
    analysis = Analysis();
    repairable.clear();
}

bool RowCanBeRepaired(HWND list, int row)
{
    if (row < 0 || static_cast<size_t>(row) >= repairable.size())
        return false;
    int& known = repairable[static_cast<size_t>(row)];
    if (known < 0) {
        SessionTake repaired;
        known = Repaired(list, row, repaired) ? 1 : 0;
    }
    return known == 1;
}

bool RepairTakeRow(HWND list, int row)
{
    SessionTake repaired;
    if (!Repaired(list, row, repaired))
        return false;
    RecordTakesChange(list);
    SessionTake* take = RowTake(list, row);
    take->Taps = std::move(repaired.Taps);
    take->Rejected = std::move(repaired.Rejected);
    TakesChanged(list);
    return true;
}

bool RepairAllTakeRows(HWND list)
{
    // Every take from the same analysis, the one the user saw.
    const int rows = RowCount(list);
    std::vector<std::pair<int, SessionTake>> repairs;
    for (int row = 0; row < rows; ++row) {
        SessionTake repaired;
        if (Repaired(list, row, repaired))
            repairs.emplace_back(row, std::move(repaired));
    }
    if (repairs.empty())
        return false;
    RecordTakesChange(list);
    for (auto& [row, repaired] : repairs) {
        SessionTake* take = RowTake(list, row);
        take->Taps = std::move(repaired.Taps);
        take->Rejected = std::move(repaired.Rejected);
    }
    TakesChanged(list);
    return true;
}

bool ToggleFinding(HWND list, int row, size_t finding)
{
    SessionTake* take = row >= 0 ? RowTake(list, row) : nullptr;
    if (!take || static_cast<size_t>(row) >= analysis.Takes.size() ||
        finding >= analysis.Takes[static_cast<size_t>(row)].Findings.size())
        return false;
    RecordTakesChange(list);
    const FindingKey key = KeyOf(analysis.Takes[static_cast<size_t>(row)].Findings[finding]);
    const auto at = std::find(take->Rejected.begin(), take->Rejected.end(), key);
    if (at == take->Rejected.end())
        take->Rejected.push_back(key);
    else
        take->Rejected.erase(at);
    TakesChanged(list);
    return true;
}

bool TakeListChangeAllowed(const NMLISTVIEW& changing)
{
    return !(inDoubleClick && (changing.uChanged & LVIF_STATE) &&
             ((changing.uNewState ^ changing.uOldState) & LVIS_STATEIMAGEMASK));
}

void OnTakeListItemChanged(HWND list, const NMLISTVIEW& changed)
{
    if (quietChecks > 0 || !(changed.uChanged & LVIF_STATE) ||
        !((changed.uNewState ^ changed.uOldState) & LVIS_STATEIMAGEMASK))
        return;
    SessionTake* take = changed.iItem >= 0 ? RowTake(list, changed.iItem) : nullptr;
    if (!take)
        return;
    const bool checked = (changed.uNewState & LVIS_STATEIMAGEMASK) == CheckStateImage(true);
    if (checked == take->Checked)
        return;
    RecordTakesChange(list);  // the row's take still holds the old mark
    take->Checked = checked;
    TakesChanged(list);
}

std::string FindingsSummary(HWND list, int row)
{
    const SessionTake* take = row >= 0 ? RowTake(list, row) : nullptr;
    if (!take)
        return std::string();
    const FindingCounts counts = CountFindings(*take, static_cast<size_t>(row));
    std::string summary;
    const struct {
        int count;
        UINT word;
    } parts[] = {{counts.Missed, IDS_FINDING_MISSED},
                 {counts.Extra, IDS_FINDING_EXTRA},
                 {counts.Start, IDS_FINDING_START},
                 {counts.Outlier, IDS_FINDING_OUTLIER}};
    for (const auto& part : parts) {
        if (part.count == 0)
            continue;
        if (!summary.empty())
            summary += ' ';
        summary += LoadResString(part.word, std::to_string(part.count));
    }
    return summary;
}

void FillTakeInfoTip(NMLVGETINFOTIPA& tip)
{
    if (!tip.pszText || tip.cchTextMax <= 0)
        return;
    const std::string summary = FindingsSummary(tip.hdr.hwndFrom, tip.iItem);
    if (summary.empty())
        return;  // the list shows its own tip (a cut-off text), if any
    // The list passes its own tip text in the buffer when the text is cut
    // off; the findings replace it.
    const size_t room = static_cast<size_t>(tip.cchTextMax) - 1;
    const size_t n = std::min(room, summary.size());
    summary.copy(tip.pszText, n);
    tip.pszText[n] = '\0';
}
