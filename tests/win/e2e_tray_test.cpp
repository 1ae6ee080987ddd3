// End to end: the tray icon as the shell shows it, read from the screen, and
// the tray menu; the tip over a row that moved in the alert's sorted list.
#include "tests/win/e2e_fixture.h"

namespace {

using namespace e2e;

// A rectangle of the screen as the user sees it, read in one copy.
class ScreenArea {
  public:
    explicit ScreenArea(RECT area) : m_area(area) {}

    //! Reads the area now; false when the screen cannot be read.
    bool Read() {
        int width = m_area.right - m_area.left, height = m_area.bottom - m_area.top;
        if (width <= 0 || height <= 0) return false;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC screen = ::GetDC(nullptr);
        HDC copy = ::CreateCompatibleDC(screen);
        void* bits = nullptr;
        HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool read = false;
        if (bitmap && bits) {
            HGDIOBJ old = ::SelectObject(copy, bitmap);
            read = ::BitBlt(copy, 0, 0, width, height, screen, m_area.left, m_area.top, SRCCOPY);
            const DWORD* pixels = static_cast<const DWORD*>(bits);
            m_pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
            ::SelectObject(copy, old);
        }
        if (bitmap) ::DeleteObject(bitmap);
        ::DeleteDC(copy);
        ::ReleaseDC(nullptr, screen);
        return read;
    }

    //! The screen rectangle that holds every pixel that passes `test`; empty when none does.
    RECT Bounds(const std::function<bool(DWORD)>& test) const {
        int width = m_area.right - m_area.left;
        RECT found = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
        for (size_t i = 0; i < m_pixels.size(); ++i) {
            if (!test(m_pixels[i] & 0xFFFFFF)) continue;
            LONG x = m_area.left + static_cast<LONG>(i % width);
            LONG y = m_area.top + static_cast<LONG>(i / width);
            found = {std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
                     std::max(found.bottom, y + 1)};
        }
        return found.left == LONG_MAX ? RECT{} : found;
    }

    size_t Count(const std::function<bool(DWORD)>& test) const {
        return static_cast<size_t>(std::count_if(m_pixels.begin(), m_pixels.end(),
                                                 [&](DWORD p) { return test(p & 0xFFFFFF); }));
    }

  private:
    RECT m_area;
    std::vector<DWORD> m_pixels;  // 0x00RRGGBB
};

int Red(DWORD p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
int Green(DWORD p) {
    return static_cast<int>((p >> 8) & 0xFF);
}
int Blue(DWORD p) {
    return static_cast<int>(p & 0xFF);
}
// The lamp of the normal image is red, that of the alert image blue.
bool Reddish(DWORD p) {
    return Red(p) > 160 && Green(p) < 80 && Blue(p) < 80;
}
bool Bluish(DWORD p) {
    return Blue(p) > 160 && Red(p) < 80 && Green(p) < 80;
}

// An icon of one colour, that neither of the program's images holds.
class SolidIcon {
  public:
    explicit SolidIcon(COLORREF colour) {
        HDC screen = ::GetDC(nullptr);
        HBITMAP image = ::CreateCompatibleBitmap(screen, kSize, kSize);
        HDC dc = ::CreateCompatibleDC(screen);
        HGDIOBJ old = ::SelectObject(dc, image);
        HBRUSH brush = ::CreateSolidBrush(colour);
        RECT all = {0, 0, kSize, kSize};
        ::FillRect(dc, &all, brush);
        ::DeleteObject(brush);
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
        ::ReleaseDC(nullptr, screen);
        std::vector<BYTE> opaque(kSize * kSize / 8, 0);
        HBITMAP mask = ::CreateBitmap(kSize, kSize, 1, 1, opaque.data());
        ICONINFO info = {TRUE, 0, 0, mask, image};
        m_icon = ::CreateIconIndirect(&info);
        ::DeleteObject(mask);
        ::DeleteObject(image);
    }
    ~SolidIcon() { ::DestroyIcon(m_icon); }
    SolidIcon(const SolidIcon&) = delete;
    SolidIcon& operator=(const SolidIcon&) = delete;

    HICON get() const { return m_icon; }

  private:
    static constexpr int kSize = 32;
    HICON m_icon;
};

class TrayTest : public Vardion {
  protected:
    //! Gives Vardion's icon an image of the test's own, as another program
    //! may: the shell keeps it until Vardion sends an image of its own.
    bool Mark(const SolidIcon& icon) {
        NOTIFYICONDATAA data = {};
        data.cbSize = NOTIFYICONDATAA_V1_SIZE;
        data.hWnd = main;
        data.uID = 0;
        data.uFlags = NIF_ICON;
        data.hIcon = icon.get();
        return ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
    }

    //! The notification area, where the shell draws the icons.
    static RECT TrayArea() {
        RECT area = {};
        HWND tray = ::FindWindowA("Shell_TrayWnd", nullptr);
        if (tray) ::GetWindowRect(tray, &area);
        return area;
    }
};

// Each test program's mark has a colour of its own, so that parallel runs
// cannot take one another's icon for their own.
COLORREF MarkColour() {
    DWORD id = ::GetCurrentProcessId();
    return RGB(10 + (id * 7) % 40, 200 + (id * 13) % 50, 40 + (id * 29) % 200);
}

TEST_F(TrayTest, AtRestNoImageReachesTheShellAndWhileTheAlertShowsTheIconBlinks) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    Settle();  // the image of the dismissed alert has been sent

    // Vardion's icon shows the mark until Vardion sends the shell an image.
    COLORREF colour = MarkColour();
    auto marked = [&](DWORD p) {
        return Red(p) == GetRValue(colour) && Green(p) == GetGValue(colour) &&
               Blue(p) == GetBValue(colour);
    };
    SolidIcon mark(colour);
    ASSERT_TRUE(Mark(mark));
    ScreenArea tray(TrayArea());
    RECT icon = {};
    ASSERT_TRUE(WaitFor([&] {
        if (!tray.Read()) return false;
        icon = tray.Bounds(marked);
        return icon.right > icon.left;
    })) << "the marked icon is not on the screen";

    // For more than a second, each round a whole tick: the mark stays.
    ScreenArea lamp(icon);
    int ticks = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
    while (std::chrono::steady_clock::now() < end) {
        Settle();
        ++ticks;
    }
    ASSERT_TRUE(lamp.Read());
    EXPECT_GT(lamp.Count(marked), 0u) << "an image was sent at rest";
    EXPECT_EQ(lamp.Count(Reddish), 0u);
    EXPECT_GE(ticks, 3);

    // A new program raises the alert: red and blue take turns where the mark was.
    StartProgram("blinking.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    bool red = false, blue = false;
    WaitFor(
        [&] {
            if (lamp.Read()) {
                red = red || (lamp.Count(Reddish) > 0 && lamp.Count(Bluish) == 0);
                blue = blue || (lamp.Count(Bluish) > 0 && lamp.Count(Reddish) == 0);
            }
            return red && blue;
        },
        5000);
    EXPECT_TRUE(red) << "the normal image was not seen while the alert showed";
    EXPECT_TRUE(blue) << "the alert image was not seen while the alert showed";

    // Dismissed, the icon comes to rest on the normal image.
    Click(alert, kIgnore);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(alert); }));
    Settle();
    EXPECT_TRUE(WaitFor(
        [&] { return lamp.Read() && lamp.Count(Reddish) > 0 && lamp.Count(Bluish) == 0; }, 2000));
}

TEST_F(TrayTest, SecondPressWhileTheMenuIsOpenIsIgnoredAndExitStillEnds) {
    Start();
    IgnoreFirstAlert();
    Tray(WM_RBUTTONDOWN);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        menu = FindTopLevel(vardion.dwProcessId, nullptr, "#32768");
        return menu && ::IsWindowVisible(menu);
    })) << "no tray menu";
    // Handled by the menu's own loop, as a press queued meanwhile is.
    Tray(WM_RBUTTONDOWN);
    Settle();
    EXPECT_TRUE(::IsWindow(menu) && ::IsWindowVisible(menu)) << "the open menu was closed";
    Key(menu, VK_DOWN);
    Key(menu, VK_RETURN);
    ASSERT_EQ(::WaitForSingleObject(vardion.hProcess, 10000), WAIT_OBJECT_0) << "still running";
    DWORD code = 1;
    ::GetExitCodeProcess(vardion.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

TEST_F(Vardion, TipOverAnAlertRowThatANameInsertedAboveMovedShowsItsOwnPath) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram("m tool.exe", "later");
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"m tool.exe"}; }));
    StartProgram("a tool.exe", "earlier");  // sorts above the row that stands
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"a tool.exe", "m tool.exe"}; }));

    PointAt(alertList, 1);
    EXPECT_TRUE(TipShows(File("later\\m tool.exe")));
    PointAt(alertList, 0);
    EXPECT_TRUE(TipShows(File("earlier\\a tool.exe")));
}

}  // namespace
