// Message maps: per class, a table that binds window messages and commands to
// member handlers, chained to the table of the base class.
//
//   class CMyDlg : public CDialog { ... DECLARE_MESSAGE_MAP() };
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(1005, &CMyDlg::OnView)
//   END_MESSAGE_MAP()
//
// Each entry holds a small function that casts the object to the class whose
// map it is in and calls the handler, so the compiler checks every handler's
// signature and no member-function pointer is ever cast.
#pragma once

#include "framework/object.h"

class CCmdTarget;

//! One entry: which message it takes and the function that calls the handler.
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  //!< the window message; WM_COMMAND for a command entry
    bool bCommand;  //!< a command entry: the notification code and identifier must match too
    UINT nCode;     //!< HIWORD(wParam) of WM_COMMAND: 0 for menu items, BN_CLICKED for buttons
    UINT nID;       //!< LOWORD(wParam) of WM_COMMAND: the command or control identifier
    LRESULT (*pfn)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
};

//! A class's table of entries, ended by an entry without a function, and the way to its base's.
struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

//! An object with a message map: the base of windows and of the application.
class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)

  public:
    //! Runs the first handler for the message, looking in the object's own
    //! class first and in its bases after; false when no entry takes it.
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// clang-format off
#define DECLARE_MESSAGE_MAP()                         \
  protected:                                          \
    static const AFX_MSGMAP* GetThisMessageMap();     \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        using TheBaseClass = baseClass;                                               \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                          \
            {0, false, 0, 0, nullptr}};                                            \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                               \
    }
// clang-format on

// The handler's caller: `result` is an expression on `self`, the object as
// ThisClass, that calls the handler and gives the message's result.
#define AFX_MSG_CALL(result)                               \
    [](CCmdTarget* target, [[maybe_unused]] WPARAM wParam, \
       [[maybe_unused]] LPARAM lParam) -> LRESULT {        \
        ThisClass* self = static_cast<ThisClass*>(target); \
        return (result);                                   \
    }

//! void OnPaint()
#define ON_WM_PAINT() {WM_PAINT, false, 0, 0, AFX_MSG_CALL((self->OnPaint(), 0))},
//! void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND()       \
    {WM_SYSCOMMAND, false, 0, 0, \
     AFX_MSG_CALL((self->OnSysCommand(static_cast<UINT>(wParam), lParam), 0))},
//! HICON OnQueryDragIcon(): the icon handle is the result (HCURSOR is the same type)
#define ON_WM_QUERYDRAGICON()       \
    {WM_QUERYDRAGICON, false, 0, 0, \
     AFX_MSG_CALL(reinterpret_cast<LRESULT>(self->OnQueryDragIcon()))},
//! void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER() \
    {WM_TIMER, false, 0, 0, AFX_MSG_CALL((self->OnTimer(static_cast<UINT_PTR>(wParam)), 0))},
//! void memberFn(): a menu item or a button with command identifier `id`
#define ON_COMMAND(id, memberFn) \
    {WM_COMMAND, true, 0, static_cast<UINT>(id), AFX_MSG_CALL(((self->*(memberFn))(), 0))},
//! void memberFn(): a click on button `id`
#define ON_BN_CLICKED(id, memberFn) \
    {WM_COMMAND, true, BN_CLICKED, static_cast<UINT>(id), AFX_MSG_CALL(((self->*(memberFn))(), 0))},
//! LRESULT memberFn(WPARAM, LPARAM): any message, its result the handler's
#define ON_MESSAGE(message, memberFn) \
    {static_cast<UINT>(message), false, 0, 0, AFX_MSG_CALL((self->*(memberFn))(wParam, lParam))},
