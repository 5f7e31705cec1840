#include "TakeListView.h"

#include <cstdio>
#include <memory>
#include <string>

#include "AppGlobals.h"
#include "Messages.h"
#include "Take.h"
#include "resource.h"

namespace {

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

}  // namespace

void InsertTakeListColumns(HWND list)
{
    InsertColumn(list, 0, IDS_COL_TIME, 135, LVCFMT_LEFT);
    InsertColumn(list, 1, IDS_COL_TAPS, 70, LVCFMT_RIGHT);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void AddTakeToList()
{
    // Emptying the slot first is what keeps a late MIDI tap out of the take:
    // from here on the driver's callback finds no take to append to.
    std::unique_ptr<Take> take = HandOverTakeForList(CurrentTake);
    if (!take)
        return;
    HWND list = g_hMainWnd ? GetDlgItem(g_hMainWnd, IDC_TAKELIST) : nullptr;
    if (!list)
        return;

    char timeText[256];
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, timeText, 256) == 0)
        timeText[0] = '\0';

    const int index = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = index;
    item.pszText = timeText;
    item.lParam = reinterpret_cast<LPARAM>(take.get());
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    const int inserted = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0)
        return;  // the take is freed here
    Take* listed = take.release();  // the row owns it now

    char countText[16];
    std::snprintf(countText, sizeof countText, "%d", static_cast<int>(listed->size()));
    LVITEMA count = {};
    count.iSubItem = 1;
    count.pszText = countText;
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(inserted), reinterpret_cast<LPARAM>(&count));

    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(inserted), FALSE);
    NormalizeTake(*listed);
}

TakeList ReadTakesFromList(HWND list)
{
    TakeList takes;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) && item.lParam)
            takes.push_back(reinterpret_cast<const Take*>(item.lParam));
    }
    return takes;
}

void DestroyRowTake(const NMLISTVIEW& deleted)
{
    delete reinterpret_cast<Take*>(deleted.lParam);
}
