// The about dialog in-process: the real dialog from template 110, run
// modally with RunAboutDialog and read from a thread timer, which fires
// inside its modal loop once it is on screen.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>
#include <winver.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "AboutDialog.h"
#include "Messages.h"
#include "WineTestSupport.h"
#include "ControlIds.h"
#include "resource.h"

namespace {

std::string ClassOf(HWND window)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ProgramPath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// A value of this test program's version resource, read under the block
// name that the resource script gives it rather than through its
// translation list as the dialog does.
std::string VersionValue(const char* name)
{
    const std::string path = ProgramPath();
    DWORD unused = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), &unused));
    void* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\041104B0\\") + name;
    if (block.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), query.c_str(), &value, &length))
        return "<missing " + std::string(name) + ">";
    return static_cast<const char*>(value);
}

// The processes this one has started; Explorer, a browser or a mail program
// would be among them.
std::vector<DWORD> ChildProcesses()
{
    std::vector<DWORD> children;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId())
            children.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

// Runs `action` once on each visible dialog of this thread that `accept`
// takes, from a thread timer: the timer fires in whatever modal loop is
// running, so a dialog is complete and on screen when its turn comes.
class DialogWatch {
public:
    DialogWatch(std::function<bool(HWND)> accept, std::function<void(HWND)> action)
        : accept_(std::move(accept)), action_(std::move(action)), timer_(SetTimer(nullptr, 0, 10, TimerProc))
    {
        Watches().push_back(this);
    }
    ~DialogWatch()
    {
        KillTimer(nullptr, timer_);
        Watches().erase(std::find(Watches().begin(), Watches().end(), this));
    }
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;

    bool Ready() const { return timer_ != 0; }

private:
    static std::vector<DialogWatch*>& Watches()
    {
        static std::vector<DialogWatch*> watches;
        return watches;
    }

    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD)
    {
        const auto watch =
            std::find_if(Watches().begin(), Watches().end(), [id](const DialogWatch* w) { return w->timer_ == id; });
        if (watch != Watches().end())
            (*watch)->Fire();
    }

    static BOOL CALLBACK Find(HWND window, LPARAM self)
    {
        auto* watch = reinterpret_cast<DialogWatch*>(self);
        if (IsWindowVisible(window) && ClassOf(window) == "#32770" &&
            std::find(watch->handled_.begin(), watch->handled_.end(), window) == watch->handled_.end() &&
            watch->accept_(window)) {
            watch->handled_.push_back(window);
            watch->found_ = window;
            return FALSE;
        }
        return TRUE;
    }

    // The action may run a modal loop of its own, in which this timer fires
    // again: the window is marked as handled before the action starts.
    void Fire()
    {
        found_ = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(this));
        if (found_)
            action_(found_);
    }

    std::function<bool(HWND)> accept_;
    std::function<void(HWND)> action_;
    UINT_PTR timer_;
    std::vector<HWND> handled_;
    HWND found_ = nullptr;
};

bool IsAboutDialog(HWND window)
{
    return GetDlgItem(window, IDC_ABOUT_PATH) != nullptr;
}

// Runs the about dialog over `owner`, calls `whileOpen` with it once it is on
// screen and then presses its OK button. The dialog's result.
INT_PTR RunAboutDialogWith(HWND owner, const std::function<void(HWND)>& whileOpen)
{
    const DialogWatch pressOk(IsAboutDialog, [&](HWND dialog) {
        whileOpen(dialog);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    });
    EXPECT_TRUE(pressOk.Ready());
    return RunAboutDialog(owner);
}

// Every test runs the dialog over a visible owner away from the middle of
// the screen, so that "centred on the owner" and "centred on the screen"
// differ.
class AboutDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 300, 200, 500, 400,
                                nullptr, nullptr, g_hInstance, nullptr);
        ASSERT_TRUE(owner);
    }
    void TearDown() override { DestroyWindow(owner); }
    HWND owner = nullptr;
};

TEST_F(AboutDialogTest, ShowsTheVersionValuesPathAndLinksCentredOnItsOwner)
{
    const std::pair<int, std::string> expected[] = {{IDC_ABOUT_DESCRIPTION, VersionValue("FileDescription")},
                                                    {IDC_ABOUT_COMMENTS, VersionValue("Comments")},
                                                    {IDC_ABOUT_COPYRIGHT, VersionValue("LegalCopyright")},
                                                    {IDC_ABOUT_PATH, ProgramPath()},
                                                    {IDC_ABOUT_MAIL, LoadResString(IDS_MAIL_ADDRESS)},
                                                    {IDC_ABOUT_WEB, LoadResString(IDS_WEB_ADDRESS)}};
    std::vector<std::string> shown;
    RECT rect{};
    EXPECT_EQ(IDCANCEL, RunAboutDialogWith(owner, [&](HWND dialog) {
                  for (const auto& e : expected)
                      shown.push_back(TextOf(GetDlgItem(dialog, e.first)));
                  GetWindowRect(dialog, &rect);
              }));
    ASSERT_EQ(std::size(expected), shown.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        // An empty value would compare equal to a resource without it.
        ASSERT_FALSE(expected[i].second.empty()) << "control " << expected[i].first;
        EXPECT_EQ(expected[i].second, shown[i]) << "control " << expected[i].first;
    }

    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    EXPECT_EQ((ownerRect.left + ownerRect.right) / 2, rect.left + (rect.right - rect.left) / 2);
    EXPECT_EQ((ownerRect.top + ownerRect.bottom) / 2, rect.top + (rect.bottom - rect.top) / 2);
}

TEST_F(AboutDialogTest, TitleFontIsBoldAndBelongsToEachDialogUntilItCloses)
{
    // Five times: every opening makes its own font and every closing
    // releases it, so the process's GDI objects stay flat; the count must
    // come back exactly, so a font leaked by each opening shows after the
    // first. (Wine does not count GDI objects, GetGuiResources gives 0
    // there; the font check below holds on both.)
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        HFONT titleFont = nullptr;
        HFONT dialogFont = nullptr;
        LOGFONTA description{};
        RunAboutDialogWith(owner, [&](HWND dialog) {
            titleFont = reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0));
            dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
            GetObjectA(titleFont, sizeof description, &description);
        });
        ASSERT_NE(nullptr, titleFont);
        EXPECT_NE(dialogFont, titleFont);
        EXPECT_GE(description.lfWeight, FW_BOLD);
        EXPECT_EQ(14, description.lfHeight);
        ASSERT_EQ(0u, GetObjectType(titleFont)) << "the title font outlives its dialog";
    }
    EXPECT_EQ(gdiBefore, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

TEST_F(AboutDialogTest, WebLinkAsksFirstAndAnsweredNoOpensNothing)
{
    struct Box {
        HWND owner = nullptr;
        std::string caption, text;
        bool yes = false, no = false, yesIsDefault = false;
        HICON icon = nullptr;
    };
    std::vector<Box> boxes;
    HWND about = nullptr;
    const std::vector<DWORD> childrenBefore = ChildProcesses();

    RunAboutDialogWith(owner, [&](HWND dialog) {
        about = dialog;
        // Every box is answered, so that a wrong one (the error of a failed
        // attempt to open the address) shows up here instead of hanging.
        const DialogWatch answerNo([dialog](HWND box) { return box != dialog; }, [&boxes](HWND box) {
            Box seen;
            seen.owner = GetWindow(box, GW_OWNER);
            seen.caption = TextOf(box);
            seen.text = TextOf(GetDlgItem(box, 0xFFFF));
            seen.yes = IsWindowVisible(GetDlgItem(box, IDYES)) != FALSE;
            seen.no = IsWindowVisible(GetDlgItem(box, IDNO)) != FALSE;
            // Wine's boxes tell their default button only by its style.
            seen.yesIsDefault = (GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
            seen.icon = wine_test::BoxIcon(box);
            boxes.push_back(seen);
            PostMessageA(box, WM_COMMAND, seen.no ? IDNO : IDOK, 0);
        });
        ASSERT_TRUE(answerNo.Ready());
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_WEB, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ABOUT_WEB)));
    });

    ASSERT_EQ(1u, boxes.size());
    const Box& box = boxes[0];
    EXPECT_EQ(about, box.owner);
    EXPECT_EQ(LoadResString(IDS_CAPTION_CONFIRM), box.caption);
    EXPECT_EQ(LoadResString(IDS_OPEN_BROWSER), box.text);
    EXPECT_TRUE(box.yes && box.no);
    EXPECT_TRUE(box.yesIsDefault);
    EXPECT_EQ(LoadIconA(nullptr, IDI_QUESTION), box.icon);
    EXPECT_EQ(childrenBefore, ChildProcesses());
}

TEST(ExplorerParameters, SelectTheWholePathOrNothing)
{
    const std::string prefix = "/e, /select, ";
    // The longest path that fits leaves just room for the terminator.
    const size_t longest = MAX_PATH - prefix.size() - 1;
    const struct {
        std::string path;
        bool fits;
    } cases[] = {{"C:\\Program Files\\Metrova\\Metrova.exe", true},
                 {"C:\\" + std::string(longest - 3, 'x'), true},
                 {"C:\\" + std::string(longest - 2, 'x'), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.size());
        char parameters[MAX_PATH];
        std::memset(parameters, '#', sizeof parameters);
        EXPECT_EQ(c.fits, BuildExplorerParameters(c.path.c_str(), parameters));
        EXPECT_EQ(c.fits ? prefix + c.path : std::string(), std::string(parameters, strnlen(parameters, MAX_PATH)));
    }
}

}  // namespace
