// End to end: the tray icon as the shell draws it, read from the screen, and
// the tray menu; the tip over a row that moved in the alert's sorted list.
#include "tests/win/e2e_fixture.h"

namespace {

using namespace e2e;
using Pixel = std::function<bool(DWORD)>;  // 0x00RRGGBB

// The screen's pixels in a rectangle, read in one copy.
std::vector<DWORD> ReadScreen(const RECT& r) {
    LONG width = r.right - r.left, height = r.bottom - r.top;
    std::vector<DWORD> pixels(static_cast<size_t>(width > 0 && height > 0 ? width * height : 0));
    if (pixels.empty()) return pixels;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = ::GetDC(nullptr);
    HDC copy = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(copy, bitmap);
    ::BitBlt(copy, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(copy, old);
    ::GetDIBits(copy, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(copy);
    ::ReleaseDC(nullptr, screen);
    for (DWORD& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

size_t Count(const RECT& r, const Pixel& test) {
    std::vector<DWORD> pixels = ReadScreen(r);
    return static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), test));
}

// The lamp of the normal image is red, that of the alert image blue.
bool Red(DWORD p) {
    return (p >> 16) > 160 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80;
}
bool Blue(DWORD p) {
    return (p & 0xFF) > 160 && (p >> 16) < 80 && ((p >> 8) & 0xFF) < 80;
}

class TrayTest : public Vardion {
  protected:
    // A colour of each test process's own, in neither of Vardion's images.
    const DWORD mark = 0x20D000 | (::GetCurrentProcessId() % 200 + 40);

    //! Gives Vardion's icon a plain image of the mark's colour, as another
    //! program may: the shell shows it until Vardion sends an image.
    bool Mark() {
        std::vector<BYTE> opaque(32 * 32 / 8, 0);
        std::vector<DWORD> colour(32 * 32, mark);
        HICON icon = ::CreateIcon(nullptr, 32, 32, 1, 32, opaque.data(),
                                  reinterpret_cast<const BYTE*>(colour.data()));
        NOTIFYICONDATAA data = {};
        data.cbSize = NOTIFYICONDATAA_V1_SIZE;
        data.hWnd = main;
        data.uFlags = NIF_ICON;
        data.hIcon = icon;
        bool marked = ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
        ::DestroyIcon(icon);
        return marked;
    }

    //! Where the shell draws the mark; empty while it draws none.
    RECT MarkedIcon() {
        RECT tray = {}, found = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
        ::GetWindowRect(::FindWindowA("Shell_TrayWnd", nullptr), &tray);
        std::vector<DWORD> pixels = ReadScreen(tray);
        LONG width = tray.right - tray.left;
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] != mark) continue;
            LONG x = tray.left + static_cast<LONG>(i) % width,
                 y = tray.top + static_cast<LONG>(i) / width;
            found = {std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
                     std::max(found.bottom, y + 1)};
        }
        return found.left == LONG_MAX ? RECT{} : found;
    }
};

TEST_F(TrayTest, AtRestNoImageReachesTheShellAndWhileTheAlertShowsTheIconBlinks) {
    StartTrustingAll();
    Settle();  // the image of the dismissed alert has been sent

    ASSERT_TRUE(Mark());
    RECT icon = {};
    ASSERT_TRUE(WaitFor([&] {
        icon = MarkedIcon();
        return icon.right > icon.left;
    })) << "the marked icon is not on the screen";
    // For more than a second, each round a whole tick: the mark stays.
    int ticks = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
         std::chrono::steady_clock::now() < end; ++ticks) {
        Settle();
    }
    EXPECT_GE(ticks, 3);
    EXPECT_GT(Count(icon, [&](DWORD p) { return p == mark; }), 0u) << "an image was sent at rest";

    // A new program raises the alert: red and blue take turns where the mark was.
    StartProgram("blinking.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    bool red = false, blue = false;
    WaitFor(
        [&] {
            size_t reds = Count(icon, Red), blues = Count(icon, Blue);
            red = red || (reds > 0 && blues == 0);
            blue = blue || (blues > 0 && reds == 0);
            return red && blue;
        },
        5000);
    EXPECT_TRUE(red) << "the normal image was not seen while the alert showed";
    EXPECT_TRUE(blue) << "the alert image was not seen while the alert showed";

    // Dismissed, the icon comes to rest on the normal image.
    Click(alert, kIgnore);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(alert); }));
    EXPECT_TRUE(WaitFor([&] { return Count(icon, Red) > 0 && Count(icon, Blue) == 0; }, 2000));
}

TEST_F(TrayTest, SecondPressWhileTheMenuIsOpenIsIgnoredAndExitStillEnds) {
    StartAndIgnore();
    HWND menu = OpenTrayMenu();
    ASSERT_TRUE(menu) << "no tray menu";
    Tray(WM_RBUTTONDOWN);  // handled by the open menu's loop
    Settle();
    EXPECT_TRUE(::IsWindow(menu) && ::IsWindowVisible(menu)) << "the open menu was closed";
    ChooseExit(menu);
}

// Stands in for the shell's notification area while it lives: Vardion's next
// call to the shell that modifies its icon reaches it, and `during` runs while
// Vardion waits for the answer, inside a tick.
class StandInShell {
  public:
    explicit StandInShell(std::function<void()> during) {
        s_during = std::move(during);
        WNDCLASSA type = {};
        type.lpfnWndProc = Proc;
        type.hInstance = ::GetModuleHandleA(nullptr);
        type.lpszClassName = "Shell_TrayWnd";
        ::RegisterClassA(&type);
        // Topmost and new: the first of its class that a search finds.
        m_window =
            ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0,
                              1, 1, nullptr, nullptr, type.hInstance, nullptr);
    }
    ~StandInShell() { ::DestroyWindow(m_window); }

    //! Handles messages until `during` has run; false if it did not in time.
    bool Serve(int milliseconds) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
             s_during && std::chrono::steady_clock::now() < end;) {
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return !s_during;
    }

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_COPYDATA) return ::DefWindowProcA(window, message, wParam, lParam);
        if (reinterpret_cast<const COPYDATASTRUCT*>(lParam)->dwData == NIM_MODIFY && s_during) {
            std::function<void()> during = std::move(s_during);
            s_during = nullptr;
            during();
        }
        return TRUE;
    }
    static std::function<void()> s_during;
    HWND m_window;
};
std::function<void()> StandInShell::s_during;

TEST_F(TrayTest, MenuOpenedInsideATickRunsNoTickThereAndExitStillEnds) {
    StartAndIgnore();
    const wchar_t marker[] = L"(a tick inside a tick deletes this)";
    bool menuShown = false, markerKept = false;
    {
        StandInShell shell([&] {
            // A right click that reaches Vardion while it waits for the shell.
            ::SendNotifyMessageA(main, kTrayCallback, 0, WM_RBUTTONDOWN);
            HWND menu = nullptr;
            menuShown = WaitFor([&] {
                menu = FindTopLevel(vardion.dwProcessId, nullptr, "#32768");
                return menu && ::IsWindowVisible(menu);
            });
            if (!menuShown) return;
            // The menu's loop runs: it answers, and ticks are due.
            Ask(runningList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(marker));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            markerKept = Contains(ReadList(runningList), Narrow(marker));
            Key(menu, VK_DOWN);
            Key(menu, VK_RETURN);  // Exit
            WaitFor([&] { return !::IsWindowVisible(menu); });
        });
        // Added again, the icon's image is sent by the next tick, to the stand-in.
        ::PostMessageA(main, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        ASSERT_TRUE(shell.Serve(10000)) << "no modify call reached the stand-in shell";
    }  // gone before Vardion's close-down removes its icon
    EXPECT_TRUE(menuShown);
    EXPECT_TRUE(markerKept) << "ticks ran inside the tick";
    EXPECT_EQ(::WaitForSingleObject(vardion.hProcess, 10000), WAIT_OBJECT_0) << "still running";
    // Ended by its own close-down: a crash would leave an exception code.
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(::GetExitCodeProcess(vardion.hProcess, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(Vardion, TipOverAnAlertRowThatANameInsertedAboveMovedShowsItsOwnPath) {
    StartTrustingAll();
    StartProgram("m tool.exe", "later");
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"m tool.exe"}; }));
    StartProgram("a tool.exe", "earlier");  // sorts above the row that stands
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"a tool.exe", "m tool.exe"}; }));

    EXPECT_TRUE(TipAt(alertList, 1, File("later\\m tool.exe")));
    EXPECT_TRUE(TipAt(alertList, 0, File("earlier\\a tool.exe")));
}

}  // namespace
