// The dialog framework with real windows: dispatch, data exchange, the modal
// and modeless life of a dialog, menus, strings and the application object;
// and real list boxes, through the program's adapter, against the list box
// model's expectations.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/list_box_port.h"
#include "framework/framework.h"
#include "tests/list_box_contract.h"
#include "tests/win/framework_test_ids.h"

namespace {

constexpr UINT kHookOnly = WM_APP + 1;  // taken by OnWndMsg; the map has it too
constexpr UINT kMapped = WM_APP + 2;    // only the map takes it
constexpr UINT kThrows = WM_APP + 3;    // its handler throws
constexpr UINT kStep = WM_APP + 4;      // runs the test's next step inside a loop
constexpr UINT_PTR kGiveUpTimer = 99;   // ends a modal loop that a fault keeps running
constexpr int kGaveUp = -99;            // ... with this result

// Dispatches messages until `done` holds; false after five seconds.
bool PumpUntil(const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 5000) return false;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    return true;
}

void PostKey(HWND control, WPARAM key) {
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

std::string Caption(HWND hWnd) {
    char text[256] = "";
    GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

// A dialog that records what reaches it. Tests hand it steps to run from
// OnInitDialog and from the message kStep, so that they run inside its loop.
class Probe : public CDialog {
  public:
    explicit Probe(CWnd* parent = nullptr) : CDialog(IDD_TEST_DIALOG, parent) {}

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
        messages.push_back(message);
        if (message == kHookOnly) {
            calls.push_back("hook");
            *pResult = 42;
            return TRUE;
        }
        return CDialog::OnWndMsg(message, wParam, lParam, pResult);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetTimer(m_hWnd, kGiveUpTimer, 5000, nullptr);
        if (onInit) onInit();
        return TRUE;
    }

    CListBox list;
    std::function<void()> onInit;
    std::vector<std::function<void()>> steps;  // the k-th kStep runs steps[k]
    size_t stepsRun = 0;
    std::vector<UINT> messages;
    std::vector<std::string> calls;
    HICON dragIcon = LoadIconA(nullptr, IDI_APPLICATION);
    int paints = 0;  // through CPaintDC
    HDC lastDC = nullptr;

  protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_TEST_LIST, list); }
    void OnSysCommand(UINT nID, LPARAM lParam) {
        calls.push_back("syscommand " + std::to_string(nID) + " " + std::to_string(lParam));
        Default();
    }
    void OnTimer(UINT_PTR nIDEvent) {
        if (nIDEvent == kGiveUpTimer) return EndDialog(kGaveUp);
        calls.push_back("timer " + std::to_string(nIDEvent));
    }
    HICON OnQueryDragIcon() { return dragIcon; }
    void OnPaint() {
        CPaintDC dc(this);
        lastDC = dc.m_hDC;
        ++paints;
    }
    void OnOther() { calls.push_back("other"); }
    LRESULT OnMapped(WPARAM wParam, LPARAM lParam) {
        calls.push_back("map");
        return static_cast<LRESULT>(wParam) + lParam;
    }
    LRESULT OnThrows(WPARAM, LPARAM) { throw std::runtime_error("a handler failed"); }
    LRESULT OnStep(WPARAM, LPARAM) {
        if (stepsRun < steps.size()) steps[stepsRun++]();
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Probe, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_TIMER()
ON_WM_QUERYDRAGICON()
ON_WM_PAINT()
ON_MESSAGE(kHookOnly, &Probe::OnMapped)
ON_MESSAGE(kMapped, &Probe::OnMapped)
ON_MESSAGE(kThrows, &Probe::OnThrows)
ON_MESSAGE(kStep, &Probe::OnStep)
ON_BN_CLICKED(IDC_TEST_BUTTON, &Probe::OnOther)
END_MESSAGE_MAP()

// Its own map takes IDOK; the base's IDCANCEL entry still applies.
class TakesOk : public Probe {
  public:
    int adds = 0;

  protected:
    void OnAdd() { ++adds; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TakesOk, Probe)
ON_BN_CLICKED(IDOK, &TakesOk::OnAdd)
END_MESSAGE_MAP()

// Overrides OnOK, which the base's map calls.
class OwnOk : public Probe {
  protected:
    void OnOK() override { EndDialog(77); }
};

// Carries its own run-time class record.
class Recorded : public CDialog {
    DECLARE_DYNAMIC(Recorded)

  public:
    Recorded() : CDialog(IDD_TEST_DIALOG) {}
};

IMPLEMENT_DYNAMIC(Recorded, CDialog)

// Posts the next step to the dialog.
void PostStep(const CDialog& dialog) {
    PostMessageA(dialog.m_hWnd, kStep, 0, 0);
}

size_t CountOf(const std::vector<UINT>& messages, UINT message) {
    size_t n = 0;
    for (UINT m : messages) n += m == message;
    return n;
}

// A modeless probe, made for each test.
class WithProbe : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(probe.Create(IDD_TEST_DIALOG)); }
    Probe probe;
};
using Dispatch = WithProbe;
using Menu = WithProbe;
using Application = WithProbe;
using DataExchange = WithProbe;

TEST_F(Dispatch, OnWndMsgSeesAMessageBeforeTheMap) {
    EXPECT_EQ(SendMessageA(probe.m_hWnd, kHookOnly, 1, 2), 42);
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"hook"}));  // the map's entry never ran
    EXPECT_EQ(CountOf(probe.messages, WM_INITDIALOG), 1u);       // it sees WM_INITDIALOG too
}

TEST_F(Dispatch, WhatTheHookPassesOnReachesTheMapThenTheDefault) {
    EXPECT_EQ(SendMessageA(probe.m_hWnd, kMapped, 3, 4), 7);
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"map"}));
    EXPECT_EQ(CountOf(probe.messages, kMapped), 1u);

    // No entry takes WM_SETTEXT: the system's processing sets the caption.
    EXPECT_TRUE(SendMessageA(probe.m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed")));
    EXPECT_EQ(Caption(probe.m_hWnd), "Renamed");
    EXPECT_EQ(CountOf(probe.messages, WM_SETTEXT), 1u);
}

TEST_F(Dispatch, DefaultInsideAHandlerLetsTheMessagesItCausesThrough) {
    probe.ShowWindow(SW_SHOW);
    // The system turns SC_CLOSE into WM_CLOSE, which a dialog turns into IDCANCEL.
    SendMessageA(probe.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !probe.IsWindowVisible(); }));
    EXPECT_EQ(probe.calls[0], "syscommand " + std::to_string(SC_CLOSE) + " 0");
    EXPECT_EQ(CountOf(probe.messages, WM_SYSCOMMAND), 1u);
    EXPECT_EQ(CountOf(probe.messages, WM_CLOSE), 1u);
    EXPECT_TRUE(IsWindow(probe.m_hWnd));  // modeless: hidden, not destroyed
}

TEST_F(Dispatch, EntriesPassTheirArgumentsAndResults) {
    SendMessageA(probe.m_hWnd, WM_TIMER, 7, 0);
    // A dialog procedure returns this one's result directly, not through DWLP_MSGRESULT.
    EXPECT_EQ(SendMessageA(probe.m_hWnd, WM_QUERYDRAGICON, 0, 0),
              reinterpret_cast<LRESULT>(probe.dragIcon));
    HWND other = GetDlgItem(probe.m_hWnd, IDC_TEST_BUTTON);
    SendMessageA(probe.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_DOUBLECLICKED),
                 reinterpret_cast<LPARAM>(other));  // another notification: not a click
    SendMessageA(other, BM_CLICK, 0, 0);            // a real click
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"timer 7", "other"}));
}

TEST_F(Dispatch, AnExceptionStopsAtTheWindowProcedure) {
    EXPECT_EQ(SendMessageA(probe.m_hWnd, kThrows, 0, 0), 0);  // the default result
    EXPECT_EQ(SendMessageA(probe.m_hWnd, kMapped, 1, 1), 2);  // and the dialog goes on working
}

TEST_F(Dispatch, ADerivedEntryWinsOverTheBaseAndVirtualsReachTheOverride) {
    TakesOk takesOk;
    takesOk.onInit = [&] {
        PostMessageA(takesOk.m_hWnd, WM_COMMAND, IDOK, 0);
        PostMessageA(takesOk.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(takesOk.DoModal(), IDCANCEL);
    EXPECT_EQ(takesOk.adds, 1);

    OwnOk ownOk;
    ownOk.onInit = [&] { PostMessageA(ownOk.m_hWnd, WM_COMMAND, IDOK, 0); };
    EXPECT_EQ(ownOk.DoModal(), 77);
}

TEST_F(Dispatch, OnPaintGetsAPaintContextThatValidates) {
    probe.ShowWindow(SW_SHOW);
    UpdateWindow(probe.m_hWnd);
    EXPECT_GE(probe.paints, 1);
    EXPECT_NE(probe.lastDC, nullptr);
    EXPECT_FALSE(GetUpdateRect(probe.m_hWnd, nullptr, FALSE));  // nothing left to paint
}

TEST_F(DataExchange, OnInitDialogBindsTheControls) {
    EXPECT_EQ(probe.list.m_hWnd, GetDlgItem(probe.m_hWnd, IDC_TEST_LIST));
    EXPECT_FALSE(probe.IsWindowVisible());  // the template has no WS_VISIBLE
    EXPECT_EQ(probe.list.AddString("row"), 0);
    EXPECT_EQ(SendMessageA(GetDlgItem(probe.m_hWnd, IDC_TEST_LIST), LB_GETCOUNT, 0, 0), 1);
}

TEST_F(DataExchange, AnObjectBoundAlreadyKeepsItsControl) {
    Probe second;
    second.list.m_hWnd = probe.list.m_hWnd;
    ASSERT_TRUE(second.Create(IDD_TEST_DIALOG));
    EXPECT_EQ(second.list.m_hWnd, probe.list.m_hWnd);
    second.list.m_hWnd = nullptr;
}

TEST_F(DataExchange, ADialogMadeAgainBindsItsControlsAfresh) {
    Probe dialog;  // made modal, then modeless
    std::vector<HWND> bound;
    dialog.onInit = [&] {
        bound.push_back(dialog.list.m_hWnd);
        EXPECT_EQ(dialog.list.m_hWnd, GetDlgItem(dialog.m_hWnd, IDC_TEST_LIST));
        dialog.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.list.m_hWnd, nullptr);  // the window is gone, and the binding with it
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_NE(bound[1], nullptr);
    EXPECT_FALSE(IsWindow(bound[0]));

    ASSERT_TRUE(dialog.Create(IDD_TEST_DIALOG));
    EXPECT_TRUE(dialog.DestroyWindow());
    EXPECT_EQ(dialog.list.m_hWnd, nullptr);
    EXPECT_TRUE(dialog.Create(IDD_TEST_DIALOG));
}

TEST(Modal, DoModalShowsTheDialogAndReturnsTheEndDialogResult) {
    Probe probe;
    HWND window = nullptr;
    bool visible = false;
    probe.onInit = [&] { PostStep(probe); };
    probe.steps = {[&] {
        window = probe.m_hWnd;
        visible = probe.IsWindowVisible();
        probe.EndDialog(1234);
    }};
    EXPECT_EQ(probe.DoModal(), 1234);
    EXPECT_TRUE(visible);  // shown, though the template has no WS_VISIBLE
    EXPECT_FALSE(IsWindow(window));
}

TEST(Modal, EndDialogDuringInitialisationEndsAtOnce) {
    Probe probe;
    probe.onInit = [&] { probe.EndDialog(5); };
    EXPECT_EQ(probe.DoModal(), 5);
}

TEST(Modal, EnterAndEscReachTheDialogManager) {
    Probe enter;
    enter.onInit = [&] { PostKey(GetDlgItem(enter.m_hWnd, IDC_TEST_LIST), VK_RETURN); };
    EXPECT_EQ(enter.DoModal(), IDOK);  // the default push button

    Probe esc;
    esc.onInit = [&] { PostKey(GetDlgItem(esc.m_hWnd, IDC_TEST_BUTTON), VK_ESCAPE); };
    EXPECT_EQ(esc.DoModal(), IDCANCEL);
}

TEST(Modal, TheOwnerIsDisabledWhileTheDialogRuns) {
    Probe owner;
    ASSERT_TRUE(owner.Create(IDD_TEST_DIALOG));
    owner.ShowWindow(SW_SHOW);
    Probe box(&owner);
    HWND ownerSeen = nullptr;
    BOOL enabledMeanwhile = TRUE;
    box.onInit = [&] { PostStep(box); };
    box.steps = {[&] {
        ownerSeen = GetWindow(box.m_hWnd, GW_OWNER);
        enabledMeanwhile = IsWindowEnabled(owner.m_hWnd);
        box.EndDialog(IDOK);
    }};
    EXPECT_EQ(box.DoModal(), IDOK);
    EXPECT_EQ(ownerSeen, owner.m_hWnd);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

TEST(Modal, TheMainWindowOwnsADialogOpenedWithoutParent) {
    CWinApp app;
    Probe main;
    app.m_pMainWnd = &main;
    Probe about;
    HWND aboutOwner = nullptr, mainOwner = reinterpret_cast<HWND>(1);
    BOOL mainEnabled = TRUE;
    main.onInit = [&] { PostStep(main); };
    main.steps = {[&] {
        mainOwner = GetWindow(main.m_hWnd, GW_OWNER);  // the main window owns nothing's
        about.onInit = [&] { PostStep(about); };
        about.steps = {[&] {
            aboutOwner = GetWindow(about.m_hWnd, GW_OWNER);
            mainEnabled = IsWindowEnabled(main.m_hWnd);
            about.EndDialog(IDOK);
        }};
        about.DoModal();
        main.EndDialog(IDOK);
    }};
    EXPECT_EQ(main.DoModal(), IDOK);
    EXPECT_EQ(mainOwner, nullptr);
    EXPECT_NE(aboutOwner, nullptr);
    EXPECT_FALSE(mainEnabled);
}

TEST(Modal, APostedQuitEndsTheNestedLoopFirstThenTheOuter) {
    Probe outer;
    Probe inner;
    std::vector<std::string> order;
    outer.onInit = [&] { PostStep(outer); };
    outer.steps = {[&] {
        inner.onInit = [&] { PostMessageA(outer.m_hWnd, WM_QUIT, 3, 0); };  // as Exit does
        order.push_back("inner " + std::to_string(inner.DoModal()));
    }};
    order.push_back("outer " + std::to_string(outer.DoModal()));
    EXPECT_EQ(order, (std::vector<std::string>{"inner -1", "outer -1"}));
    // The outer loop posted the quit again for a loop around it; take it away.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST(Modeless, EscAndTheCloseBoxHideItWithoutDestroyingIt) {
    // The modeless dialog's keys pass through the modal loop of another dialog,
    // as the alert window's do through the main dialog's.
    Probe main;
    Probe alert;
    std::vector<bool> visible;
    auto escape = [&] { PostKey(GetDlgItem(alert.m_hWnd, IDC_TEST_BUTTON), VK_ESCAPE); };
    main.onInit = [&] {
        ASSERT_TRUE(alert.Create(IDD_TEST_DIALOG));
        alert.ShowWindow(SW_SHOW);
        escape();
        PostStep(main);
    };
    main.steps = {[&] {
                      visible.push_back(alert.IsWindowVisible());
                      alert.ShowWindow(SW_SHOW);  // the next alert
                      escape();
                      PostStep(main);
                  },
                  [&] {
                      visible.push_back(alert.IsWindowVisible());
                      alert.ShowWindow(SW_SHOW);
                      // The system posts IDCANCEL for it, ahead of the next step.
                      SendMessageA(alert.m_hWnd, WM_CLOSE, 0, 0);
                      PostStep(main);
                  },
                  [&] {
                      visible.push_back(alert.IsWindowVisible());
                      main.EndDialog(IDOK);
                  }};
    EXPECT_EQ(main.DoModal(), IDOK);
    EXPECT_EQ(visible, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(IsWindow(alert.m_hWnd));
    EXPECT_NE(alert.list.m_hWnd, nullptr);
}

TEST(Modeless, TheDestructorDestroysAWindowThatStillExists) {
    HWND window = nullptr;
    {
        Probe probe;
        ASSERT_TRUE(probe.Create(IDD_TEST_DIALOG));
        window = probe.m_hWnd;
        EXPECT_FALSE(probe.Create(IDD_TEST_DIALOG));  // one window per object
    }
    EXPECT_FALSE(IsWindow(window));
}

TEST(RuntimeClass, AClassCarriesItsOwnRecordWithItsBase) {
    Recorded recorded;
    const CRuntimeClass* cls = recorded.GetRuntimeClass();
    EXPECT_STREQ(cls->m_lpszClassName, "Recorded");
    EXPECT_EQ(cls->m_nObjectSize, static_cast<int>(sizeof(Recorded)));
    EXPECT_EQ(cls->m_wSchema, 0xFFFFu);
    EXPECT_EQ(cls->m_pfnCreateObject, nullptr);
    EXPECT_EQ(cls->m_pBaseClass, RUNTIME_CLASS(CDialog));

    Probe probe;  // no record of its own: the base's
    EXPECT_EQ(probe.GetRuntimeClass(), RUNTIME_CLASS(CDialog));
}

TEST_F(Menu, AMenuHeldIsDestroyedWithItsHolder) {
    HMENU first = CreatePopupMenu();
    HMENU second = CreatePopupMenu();
    {
        CMenu menu;
        EXPECT_TRUE(menu.Attach(first));
        EXPECT_TRUE(menu.Attach(first));  // the same menu again: kept
        EXPECT_TRUE(IsMenu(first));
        EXPECT_TRUE(menu.Attach(second));  // another: the first goes
        EXPECT_FALSE(IsMenu(first));
    }
    EXPECT_FALSE(IsMenu(second));
}

TEST_F(Menu, TheSystemMenuIsWrappedWithoutOwningIt) {
    CMenu* system = probe.GetSystemMenu(FALSE);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(CMenu::FromHandle(system->GetSafeHmenu()), system);
    EXPECT_EQ(CMenu::FromHandle(nullptr), nullptr);
}

// Chooses the first item of the popup menu that is open, from inside its loop.
void CALLBACK ChooseFirstItem(HWND, UINT, UINT_PTR timer, DWORD) {
    // Windows keeps hidden menu windows beside the one that shows.
    HWND menu = nullptr;
    while ((menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) && !IsWindowVisible(menu)) {
    }
    if (!menu) return;
    KillTimer(nullptr, timer);
    PostKey(menu, VK_DOWN);
    PostKey(menu, VK_RETURN);
}

TEST_F(Menu, AnItemChosenInATrackedMenuReachesTheOwner) {
    probe.ShowWindow(SW_SHOW);  // the menu's owner
    SetForegroundWindow(probe.m_hWnd);
    CMenu menu;
    menu.Attach(CreatePopupMenu());
    AppendMenuA(menu.GetSafeHmenu(), MF_STRING, IDC_TEST_BUTTON, "&Other");
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ChooseFirstItem);
    menu.TrackPopupMenu(0, 100, 100, &probe);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(PumpUntil([&] { return !probe.calls.empty(); }));
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"other"}));
}

TEST(Strings, AStringResourceIsLoadedWhole) {
    EXPECT_EQ(AfxLoadString(IDS_SHORT), "&Short text...");
    std::string long_text = AfxLoadString(IDS_LONG);
    ASSERT_EQ(long_text.size(), 560u);  // more than twice the first try of 256
    EXPECT_EQ(long_text.substr(0, 8), "000-001-");
    EXPECT_EQ(long_text.substr(552), "138-139-");
    EXPECT_EQ(AfxLoadString(IDS_ABSENT), "");
}

TEST_F(Application, TheFirstApplicationObjectIsTheApplication) {
    EXPECT_EQ(AfxGetApp(), nullptr);
    {
        CWinApp app;
        CWinApp second;
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(AfxGetMainWnd(), nullptr);
        Probe main;
        app.m_pMainWnd = &main;
        EXPECT_EQ(AfxGetMainWnd(), &main);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
}

TEST_F(Application, RunDispatchesUntilTheQuitAndEndsWithItsCode) {
    CWinApp app;
    PostMessageA(probe.m_hWnd, kMapped, 1, 2);
    PostQuitMessage(7);  // taken only once the queue holds nothing else
    EXPECT_EQ(app.Run(), 7);
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"map"}));
}

TEST_F(Application, SetRegistryKeyRemembersTheKeyAndWritesNothing) {
    const char* key = "Local AppWizard-Generated Applications";
    CWinApp app;
    app.SetRegistryKey(key);
    EXPECT_EQ(app.m_registryKey, key);
    HKEY opened = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string("Software\\") + key).c_str(), 0,
                            KEY_READ, &opened),
              ERROR_SUCCESS);
}

// Real list boxes against the expectations the list box model is held to:
// the program's two kinds, sorted and unsorted with extended selection, in
// hidden dialogs, through the adapter the program uses.
//! A hidden dialog holding one list box of each kind.
class ListsDialog : public CDialog {
  public:
    ListsDialog() : CDialog(IDD_TEST_LISTS) {}
    CListBox sorted;
    CListBox unsorted;

  protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_SORTED, sorted);
        DDX_Control(pDX, IDC_UNSORTED, unsorted);
    }
};

//! A ListBoxPort that remembers its list box, for selecting rows.
class Port : public ListBoxPort {
  public:
    explicit Port(CListBox& list) : ListBoxPort(list), control(list) {}
    CListBox& control;
};

struct Win32Factory {
    std::vector<std::unique_ptr<ListsDialog>> dialogs;  // outlive the ports
    std::vector<std::unique_ptr<Port>> ports;

    ListBox& Make(bool sorted) {
        dialogs.push_back(std::make_unique<ListsDialog>());
        ListsDialog& dialog = *dialogs.back();
        EXPECT_TRUE(dialog.Create(IDD_TEST_LISTS));
        EXPECT_FALSE(dialog.IsWindowVisible());
        ports.push_back(std::make_unique<Port>(sorted ? dialog.sorted : dialog.unsorted));
        return *ports.back();
    }
    void Select(ListBox& list, int row) {
        EXPECT_NE(static_cast<Port&>(list).control.SetSel(row), LB_ERR);
    }
};

using Factories = ::testing::Types<Win32Factory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ListBoxContract, Factories);

}  // namespace
