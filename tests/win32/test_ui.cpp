// Win32UserInterface under Wine: the hand-over to the main thread, threads, the main loop, and
// the message dialogs, pressed programmatically the way the window driver presses them.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32UserInterface.h"
#include "MessagePump.h"
#include "OwnProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zl::win32 {
namespace {

using namespace zl::win32::testing;

// Wine's task dialog ignores Escape unless it has a button with the id IDCANCEL, even with
// TDF_ALLOW_DIALOG_CANCELLATION (Windows answers IDCANCEL); its close box works.
bool RunningOnWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

UniqueHandle NewEvent() { return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

// ---------------------------------------------------------------- windows of the dialogs

struct Child {
  HWND hwnd;
  std::wstring cls;
  std::wstring text;
  RECT rect;
  LONG style;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM p) {
  Child c;
  c.hwnd = w;
  wchar_t buffer[512];
  buffer[::GetClassNameW(w, buffer, 512)] = 0;
  c.cls = buffer;
  buffer[::GetWindowTextW(w, buffer, 512)] = 0;
  c.text = buffer;
  ::GetWindowRect(w, &c.rect);
  c.style = ::GetWindowLongW(w, GWL_STYLE);
  if (::IsWindowVisible(w)) reinterpret_cast<std::vector<Child>*>(p)->push_back(c);
  return TRUE;
}

std::vector<Child> Children(HWND parent) {
  std::vector<Child> all;
  ::EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

bool IsClass(const Child& c, const wchar_t* cls) { return ::lstrcmpiW(c.cls.c_str(), cls) == 0; }

// Push buttons in reading order: rows top to bottom, left to right in a row (Wine's task dialog
// stacks wide custom buttons).
std::vector<Child> Buttons(HWND dialog) {
  std::vector<Child> buttons;
  for (const Child& c : Children(dialog)) {
    const LONG type = c.style & BS_TYPEMASK;
    if (IsClass(c, L"Button") && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON))
      buttons.push_back(c);
  }
  std::sort(buttons.begin(), buttons.end(), [](const Child& a, const Child& b) {
    return a.rect.top != b.rect.top ? a.rect.top < b.rect.top : a.rect.left < b.rect.left;
  });
  return buttons;
}

HWND FindDialog(const std::wstring& title) { return ::FindWindowW(L"#32770", title.c_str()); }

HWND WaitForDialog(const std::wstring& title) {
  HWND found = nullptr;
  PumpUntil([&] { return (found = FindDialog(title)) != nullptr && ::IsWindowVisible(found); });
  return found;
}

// Where keys go: the control with the focus in the dialog's thread, else the dialog itself.
HWND KeyTarget(HWND dialog) {
  GUITHREADINFO info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) &&
      info.hwndFocus != nullptr && ::IsChild(dialog, info.hwndFocus))
    return info.hwndFocus;
  return dialog;
}

// ---------------------------------------------------------------- a dialog on a worker thread

struct DialogRun {
  UniqueHandle done = NewEvent();
  std::atomic<int> result{-1000};
};

std::shared_ptr<DialogRun> ShowOnWorker(Win32UserInterface& ui, const MessageDialogSpec& content) {
  auto run = std::make_shared<DialogRun>();
  ui.StartThread([run, content, &ui] {
    run->result = ui.ShowMessageDialog(content);
    ::SetEvent(run->done.Get());
  });
  return run;
}

// Waits for the worker's dialog to end; one left open by a failed check is closed so that the
// worker never outlives the test's objects.
bool Finish(const DialogRun& run, const std::wstring& title) {
  if (PumpUntilSignalled(run.done.Get())) return true;
  if (HWND stuck = FindDialog(title)) ::PostMessageW(stuck, WM_CLOSE, 0, 0);
  PumpUntilSignalled(run.done.Get(), 5000);
  return false;
}

MessageDialogSpec YesNoSpec(const std::wstring& title) {
  MessageDialogSpec content;
  content.title = title;
  content.text = L"Velmont is already running.\r\n\r\nDo you want to start a second copy anyway?";
  content.icon = DialogIcon::Question;
  content.taskDialogIcon = DialogIcon::Information;
  content.buttons = {{L"&Yes", 6}, {L"&No", 7}};
  content.defaultResult = 7;
  content.closeResult = 42;  // distinct from every button, so a wrong mapping shows
  return content;
}

using Path = Win32UserInterface::DialogPath;

class DialogTest : public ::testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    if (GetParam() == Path::Task && !Win32UserInterface::TaskDialogAvailable())
      GTEST_SKIP() << "comctl32 here has no TaskDialogIndirect";
    ui_.ForceDialogPath(GetParam());
  }
  std::wstring Title(const std::string& what) const {
    const std::string path = GetParam() == Path::Task ? "task" : "classic";
    return L"Zelkora " + std::wstring(path.begin(), path.end()) + L" dialog: " +
           std::wstring(what.begin(), what.end());
  }

  Win32UserInterface ui_;
};

TEST_P(DialogTest, EveryWayOutAnswersTheRightResult) {
  enum class Act { Click, Close, Escape, Enter };
  struct Row {
    const char* label;
    Act act;
    const wchar_t* caption;
    int expected;
  };
  const Row table[] = {
      {"click Yes", Act::Click, L"&Yes", 6},
      {"click No", Act::Click, L"&No", 7},
      {"close box", Act::Close, nullptr, 42},
      {"Escape", Act::Escape, nullptr, 42},
      {"Enter presses the default", Act::Enter, nullptr, 7},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    if (row.act == Act::Escape && GetParam() == Path::Task && RunningOnWine()) continue;
    const std::wstring title = Title(row.label);
    auto run = ShowOnWorker(ui_, YesNoSpec(title));
    HWND dialog = WaitForDialog(title);
    ASSERT_NE(dialog, nullptr) << "no dialog appeared";
    switch (row.act) {
      case Act::Click: {
        HWND target = nullptr;
        for (const Child& b : Buttons(dialog))
          if (b.text == row.caption) target = b.hwnd;
        EXPECT_NE(target, nullptr);
        ::PostMessageW(target, BM_CLICK, 0, 0);
        break;
      }
      case Act::Close:
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        break;
      case Act::Escape:
      case Act::Enter: {
        const WPARAM key = row.act == Act::Escape ? VK_ESCAPE : VK_RETURN;
        HWND target = KeyTarget(dialog);
        ::PostMessageW(target, WM_KEYDOWN, key, 1);
        ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
        break;
      }
    }
    ASSERT_TRUE(Finish(*run, title));
    EXPECT_EQ(run->result.load(), row.expected);
    EXPECT_EQ(ui_.LastDialogPath(), GetParam());
  }
}

TEST_P(DialogTest, ShowsTitleTextAndButtonsInOrderCentredOnTheScreen) {
  if (GetParam() == Path::Task && !InOwnProcess()) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    EXPECT_EQ(0u, RunAlone(std::string(test->test_suite_name()) + "." + test->name()))
        << "the test failed in its own process (its output is above)";
    return;
  }
  const std::wstring title = Title("layout");
  MessageDialogSpec content = YesNoSpec(title);
  content.text =
      L"The Velmont database cannot be reached. Check the network connection and that "
      L"the server is running, then try again; the launcher keeps its settings. & more";
  content.icon = DialogIcon::Warning;
  content.taskDialogIcon = DialogIcon::Warning;
  content.buttons = {{L"&Retry", 4}, {L"&Ignore", 5}, {L"&Abort", 3}};
  content.defaultResult = 5;
  content.closeResult = 3;
  auto run = ShowOnWorker(ui_, content);
  HWND dialog = WaitForDialog(title);
  ASSERT_NE(dialog, nullptr);

  const std::vector<Child> buttons = Buttons(dialog);
  std::vector<std::wstring> captions;
  for (const Child& b : buttons) captions.push_back(b.text);
  EXPECT_EQ(captions, (std::vector<std::wstring>{L"&Retry", L"&Ignore", L"&Abort"}));

  bool textShown = false;
  for (const Child& c : Children(dialog))
    if (IsClass(c, L"Static") && c.text == content.text) textShown = true;
  EXPECT_TRUE(textShown);

  RECT r;
  ::GetWindowRect(dialog, &r);
  const int screenW = ::GetSystemMetrics(SM_CXSCREEN), screenH = ::GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR((r.left + r.right) / 2, screenW / 2, 2);
  EXPECT_NEAR((r.top + r.bottom) / 2, screenH / 2, 2);
  EXPECT_LT(r.right - r.left, screenW);

  if (GetParam() == Path::Classic) {
    // Our own layout: the default button is marked, and the text is not cut.
    for (const Child& b : buttons)
      EXPECT_EQ((b.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON, b.text == L"&Ignore")
          << Narrow(b.text);
    for (const Child& c : Children(dialog)) {
      if (!IsClass(c, L"Static") || c.text != content.text) continue;
      EXPECT_GT(c.rect.bottom - c.rect.top, 0);
      EXPECT_LE(c.rect.right, r.right);
      EXPECT_LT(c.rect.bottom, buttons.front().rect.top);
    }
    EXPECT_TRUE(std::is_sorted(buttons.begin(), buttons.end(), [](const Child& a, const Child& b) {
      return a.rect.right <= b.rect.left && a.rect.top == b.rect.top;
    }));
  }

  ::PostMessageW(buttons.empty() ? dialog : buttons.back().hwnd, BM_CLICK, 0, 0);
  ASSERT_TRUE(Finish(*run, title));
  EXPECT_EQ(run->result.load(), 3);
}

// A button whose result is IDCANCEL is what Escape presses, on both paths, as in the system's
// message box; a dialog without one answers closeResult.
TEST_P(DialogTest, CancelButtonTakesEscape) {
  const std::wstring title = Title("cancel button");
  MessageDialogSpec content = YesNoSpec(title);
  content.buttons = {{L"OK", 1}, {L"Cancel", 2}};
  content.defaultResult = 1;
  content.closeResult = 2;
  auto run = ShowOnWorker(ui_, content);
  HWND dialog = WaitForDialog(title);
  ASSERT_NE(dialog, nullptr);
  ::PostMessageW(KeyTarget(dialog), WM_KEYDOWN, VK_ESCAPE, 1);
  ASSERT_TRUE(Finish(*run, title));
  EXPECT_EQ(run->result.load(), 2);
}

INSTANTIATE_TEST_SUITE_P(Paths, DialogTest, ::testing::Values(Path::Classic, Path::Task),
                         [](const ::testing::TestParamInfo<Path>& info) {
                           return info.param == Path::Task ? "Task" : "Classic";
                         });

// ---------------------------------------------------------------- top-most windows

TEST(DialogTopmost, LowersVisibleTopmostWindowsOfTheProcessWhileShowing) {
  Win32UserInterface ui;
  ui.ForceDialogPath(Path::Classic);
  auto makePopup = [](bool visible) {
    return UniqueWindow(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"splash",
                                          WS_POPUP | (visible ? WS_VISIBLE : 0), 10, 10, 100, 50,
                                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
  };
  auto topmost = [](HWND w) { return (::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };

  for (bool lower : {false, true}) {
    SCOPED_TRACE(lower ? "lowerTopmost" : "left alone");
    UniqueWindow shown = makePopup(true);
    UniqueWindow hidden = makePopup(false);
    ASSERT_TRUE(shown.Valid() && hidden.Valid());
    ASSERT_TRUE(topmost(shown.Get()));

    const std::wstring title = lower ? L"Zelkora topmost lowered" : L"Zelkora topmost kept";
    MessageDialogSpec content = YesNoSpec(title);
    content.lowerTopmost = lower;
    auto run = ShowOnWorker(ui, content);
    HWND dialog = WaitForDialog(title);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(topmost(shown.Get()), !lower);
    EXPECT_TRUE(topmost(hidden.Get()));
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Finish(*run, title));
    EXPECT_TRUE(topmost(shown.Get()));
    EXPECT_TRUE(topmost(hidden.Get()));
  }
}

// ---------------------------------------------------------------- message box

TEST(MessageBox, AnswersTheButtonPressed) {
  Win32UserInterface ui;
  struct Row {
    uint32_t flags;
    const wchar_t* press;
    int expected;
  };
  const Row table[] = {
      {MB_OK | MB_ICONWARNING, L"OK", IDOK}, {MB_YESNO, L"&No", IDNO}, {MB_YESNO, L"&Yes", IDYES}};
  int n = 0;
  for (const Row& row : table) {
    const std::wstring caption = L"Zelkora message box " + std::to_wstring(++n);
    SCOPED_TRACE(Narrow(caption));
    auto run = std::make_shared<DialogRun>();
    ui.StartThread([run, caption, &ui, flags = row.flags] {
      run->result = ui.MessageBox(L"Something to read.", caption, flags);
      ::SetEvent(run->done.Get());
    });
    HWND box = WaitForDialog(caption);
    ASSERT_NE(box, nullptr);
    HWND button = nullptr;
    for (const Child& b : Buttons(box))
      if (b.text == row.press) button = b.hwnd;
    ASSERT_NE(button, nullptr);
    ::PostMessageW(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(Finish(*run, caption));
    EXPECT_EQ(run->result.load(), row.expected);
  }
}

// ---------------------------------------------------------------- threads and the hand-over

TEST(MainThread, IsMainThreadOnlyOnTheConstructingThread) {
  Win32UserInterface ui;
  EXPECT_TRUE(ui.IsMainThread());
  struct Seen {
    UniqueHandle done = NewEvent();
    std::atomic<bool> isMain{true};
    std::atomic<DWORD> thread{0};
  };
  auto seen = std::make_shared<Seen>();
  ui.StartThread([seen, &ui] {
    seen->isMain = ui.IsMainThread();
    seen->thread = ::GetCurrentThreadId();
    ::SetEvent(seen->done.Get());
  });
  ASSERT_TRUE(PumpUntilSignalled(seen->done.Get()));
  EXPECT_FALSE(seen->isMain.load());
  EXPECT_NE(seen->thread.load(), ::GetCurrentThreadId());
}

TEST(MainThread, RunOnMainThreadRunsThereAndCarriesErrorsBack) {
  Win32UserInterface ui;
  enum class Throw { Nothing, LauncherError, OtherError };
  struct Row {
    const char* label;
    Throw what;
    std::string outcome;
  };
  const Row table[] = {
      {"returns", Throw::Nothing, "returned"},
      {"raises LauncherError", Throw::LauncherError, "LauncherError: Cannot read \"x\". Denied"},
      {"raises another error", Throw::OtherError, "runtime_error: other"},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    struct Result {
      UniqueHandle done = NewEvent();
      std::atomic<DWORD> ranOn{0};
      std::string outcome;
    };
    auto result = std::make_shared<Result>();
    ui.StartThread([result, &ui, what = row.what] {
      try {
        ui.RunOnMainThread([&] {
          result->ranOn = ::GetCurrentThreadId();
          if (what == Throw::LauncherError) throw LauncherError(L"Cannot read \"x\". Denied");
          if (what == Throw::OtherError) throw std::runtime_error("other");
        });
        result->outcome = "returned";
      } catch (const LauncherError& e) {
        result->outcome = "LauncherError: " + Narrow(e.Message());
      } catch (const std::runtime_error& e) {
        result->outcome = std::string("runtime_error: ") + e.what();
      }
      ::SetEvent(result->done.Get());
    });
    ASSERT_TRUE(PumpUntilSignalled(result->done.Get()));
    EXPECT_EQ(result->ranOn.load(), ::GetCurrentThreadId());
    EXPECT_EQ(result->outcome, row.outcome);
  }
}

TEST(MainThread, RunOnMainThreadOnTheMainThreadRunsAtOnce) {
  Win32UserInterface ui;
  bool ran = false;
  ui.RunOnMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(ui.RunOnMainThread([] { throw LauncherError(L"here"); }), LauncherError);
}

// The main thread is inside a modal dialog of its own when the worker hands a routine over:
// the routine still runs, on the main thread, while the dialog is up.
TEST(MainThread, HandOverReachesAMainThreadInAModalLoop) {
  Win32UserInterface ui;
  ui.ForceDialogPath(Path::Classic);
  const std::wstring title = L"Zelkora modal main thread";
  struct Seen {
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> dialogUp{false};
    std::atomic<bool> found{false};
  };
  auto seen = std::make_shared<Seen>();
  ui.StartThread([seen, title, &ui] {
    HWND dialog = nullptr;
    const DWORD start = ::GetTickCount();
    // Found is not enough: the dialog is created hidden and shown a moment later.
    while (((dialog = FindDialog(title)) == nullptr || !::IsWindowVisible(dialog)) &&
           ::GetTickCount() - start < kBound)
      ::WaitForSingleObject(::GetCurrentProcess(), 20);  // the main thread's dialog has no event
    seen->found = dialog != nullptr;
    ui.RunOnMainThread([&] {
      seen->ranOn = ::GetCurrentThreadId();
      seen->dialogUp = dialog != nullptr && ::IsWindowVisible(dialog);
    });
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  const int result = ui.ShowMessageDialog(YesNoSpec(title));
  EXPECT_TRUE(seen->found.load());
  EXPECT_EQ(result, 42);
  EXPECT_EQ(seen->ranOn.load(), ::GetCurrentThreadId());
  EXPECT_TRUE(seen->dialogUp.load());
}

TEST(MainThread, StartThreadGivesTheBodyItsOwnThreadAndFreesIt) {
  Win32UserInterface ui;
  auto token = std::make_shared<int>(1);
  std::weak_ptr<int> watch = token;
  UniqueHandle done = NewEvent();
  std::atomic<DWORD> thread{0};
  HANDLE doneRaw = done.Get();
  ui.StartThread([token = std::move(token), doneRaw, &thread] {
    thread = ::GetCurrentThreadId();
    ::SetEvent(doneRaw);
  });
  ASSERT_TRUE(PumpUntilSignalled(done.Get()));
  EXPECT_NE(thread.load(), ::GetCurrentThreadId());
  // The thread's copy of the body, and what it captured, is released when the body ends.
  EXPECT_TRUE(PumpUntil([&] { return watch.expired(); }));
}

// Where the system keeps thread names (Windows 10 1607 and later; Wine has it), a debugger and a
// crash dump show the download thread by its name.
TEST(MainThread, AThreadGetsItsName) {
  using GetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto getDescription = reinterpret_cast<GetThreadDescriptionFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "GetThreadDescription")));
  if (getDescription == nullptr) GTEST_SKIP() << "this system keeps no thread names";
  Win32UserInterface ui;
  UniqueHandle done = NewEvent();
  HANDLE doneRaw = done.Get();
  auto seen = std::make_shared<std::wstring>();
  ui.StartThread(
      [seen, doneRaw, getDescription] {
        PWSTR text = nullptr;
        if (SUCCEEDED(getDescription(::GetCurrentThread(), &text)) && text != nullptr) {
          *seen = text;
          ::LocalFree(text);
        }
        ::SetEvent(doneRaw);
      },
      L"BackgroundDownloader");
  ASSERT_TRUE(PumpUntilSignalled(done.Get()));
  EXPECT_EQ(*seen, L"BackgroundDownloader");
}

// ---------------------------------------------------------------- the main loop

LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP + 5) ++*reinterpret_cast<int*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
  return ::DefWindowProcW(w, m, wp, lp);
}

TEST(MainLoop, ProcessMessagesDispatchesAndKeepsQuit) {
  Win32UserInterface ui;
  WNDCLASSW cls = {};
  cls.lpfnWndProc = &CountingProc;
  cls.hInstance = ::GetModuleHandleW(nullptr);
  cls.lpszClassName = L"ZelkoraTestCounting";
  ::RegisterClassW(&cls);
  UniqueWindow window(::CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, cls.hInstance, nullptr));
  ASSERT_TRUE(window.Valid());
  int count = 0;
  ::SetWindowLongPtrW(window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));

  for (int i = 0; i < 3; ++i) ::PostMessageW(window.Get(), WM_APP + 5, 0, 0);
  ui.ProcessMessages();
  EXPECT_EQ(count, 3);

  ::PostQuitMessage(5);
  ::PostMessageW(window.Get(), WM_APP + 5, 0, 0);
  ui.ProcessMessages();
  MSG msg;
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 5u);
  PumpPending();
}

// A main loop that never ends would hang the run: a timer ends it with a code of its own.
void CALLBACK EndLoop(HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(99); }

int RunBounded(Win32UserInterface& ui) {
  const UINT_PTR timer = ::SetTimer(nullptr, 0, kBound, &EndLoop);
  const int code = ui.RunMainLoop();
  ::KillTimer(nullptr, timer);
  return code;
}

TEST(MainLoop, EndsOnTerminateFromTheMainThreadOrOnQuit) {
  struct Row {
    const char* label;
    void (*before)(Win32UserInterface&);
    int code;
    bool terminated;
  };
  const Row table[] = {
      {"Terminate on the main thread", [](Win32UserInterface& ui) { ui.Terminate(); }, 0, true},
      {"WM_QUIT", [](Win32UserInterface&) { ::PostQuitMessage(9); }, 9, false},
      {"worker asks the main thread to terminate",
       [](Win32UserInterface& ui) {
         ui.StartThread([&ui] { ui.RunOnMainThread([&ui] { ui.Terminate(); }); });
       },
       0, true},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    Win32UserInterface ui;
    row.before(ui);
    EXPECT_EQ(RunBounded(ui), row.code);
    EXPECT_EQ(ui.Terminated(), row.terminated);
    PumpPending();
  }
}

TEST(MainLoop, TerminateOnAWorkerHasNoEffect) {
  Win32UserInterface ui;
  UniqueHandle done = NewEvent();
  HANDLE doneRaw = done.Get();
  ui.StartThread([&ui, doneRaw] {
    ui.Terminate();
    ::SetEvent(doneRaw);
  });
  ASSERT_TRUE(PumpUntilSignalled(done.Get()));
  EXPECT_FALSE(ui.Terminated());
}

}  // namespace
}  // namespace zl::win32
