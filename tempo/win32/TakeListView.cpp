#include "TakeListView.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "AppGlobals.h"
#include "Dpi.h"
#include "Messages.h"
#include "TakeSession.h"
#include "Take.h"
#include "resource.h"

namespace {

// The columns' widths in pixels at DesignDpi.
constexpr int TimeColumnWidth = 135;
constexpr int TapsColumnWidth = 70;

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
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void SetTakeListColumnWidths(HWND list, UINT dpi)
{
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(ScaleToDpi(TimeColumnWidth, dpi), 0));
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(ScaleToDpi(TapsColumnWidth, dpi), 0));
}

bool AppendTakeRow(HWND list, std::unique_ptr<SessionTake> take)
{
    if (take->ListedAt.empty())
        take->ListedAt = ListedTimeNow();
    std::string timeText = TimeColumnText(take->ListedAt);

    const int index = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = index;
    item.pszText = &timeText[0];
    item.lParam = reinterpret_cast<LPARAM>(take.get());
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    const int inserted = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0)
        return false;  // the take is freed here
    const SessionTake* listed = take.release();  // the row owns it now

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
    if (AppendTakeRow(list, std::move(take)))
        SaveSession();
}

TakeList ReadTakesFromList(HWND list)
{
    TakeList takes;
    for (const SessionTake* take : ReadSessionTakesFromList(list))
        takes.push_back(&take->Taps);
    return takes;
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
