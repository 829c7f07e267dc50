// winctl: drives the launcher's windows from end-to-end tests.
//
// Runs in the same Wine prefix and on the same display as the program under
// test. Output is UTF-8, one item per line ("\n"). Exit codes: 0 success,
// 1 timeout / window or control not found / action refused, 2 usage.
//
// A progress bar has no text: `texts` prints its position (PBM_GETPOS), as a
// screen reader reads it.
//
// Texts printed by `texts` and `list` escape backslash, CR, LF and TAB
// (\\ \r \n \t) so that every control fits on one tab-separated line and the
// reader can undo the escaping exactly.

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const DWORD kPollMs = 20;
const DWORD kDefaultTimeoutMs = 10000;
// Bound for every cross-process message: a hung target must not hang the test.
const UINT kSendTimeoutMs = 2000;

std::string toUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n =
      WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), NULL, 0, NULL, NULL);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &out[0], n, NULL, NULL);
  return out;
}

// WriteFile instead of the CRT: stdout is a Unix pipe under Wine and the CRT
// would translate "\n" and the code page.
void writeRaw(DWORD which, const std::string& s) {
  HANDLE h = GetStdHandle(which);
  if (h == NULL || h == INVALID_HANDLE_VALUE) return;
  const char* p = s.data();
  size_t left = s.size();
  while (left > 0) {
    DWORD done = 0;
    if (!WriteFile(h, p, static_cast<DWORD>(left), &done, NULL) || done == 0) return;
    p += done;
    left -= done;
  }
}

void out(const std::wstring& line) { writeRaw(STD_OUTPUT_HANDLE, toUtf8(line) + "\n"); }
void err(const std::wstring& line) { writeRaw(STD_ERROR_HANDLE, "winctl: " + toUtf8(line) + "\n"); }

std::wstring escape(const std::wstring& s) {
  std::wstring r;
  r.reserve(s.size());
  for (wchar_t c : s) {
    switch (c) {
      case L'\\':
        r += L"\\\\";
        break;
      case L'\r':
        r += L"\\r";
        break;
      case L'\n':
        r += L"\\n";
        break;
      case L'\t':
        r += L"\\t";
        break;
      default:
        r += c;
    }
  }
  return r;
}

std::wstring hexHwnd(HWND h) {
  wchar_t buf[32];
  swprintf(buf, 32, L"0x%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(h)));
  return buf;
}

std::wstring className(HWND h) {
  wchar_t buf[256];
  int n = GetClassNameW(h, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// GetWindowText does not ask another process's edit controls for their text,
// so ask with WM_GETTEXT (bounded) and fall back to the stored caption.
std::wstring windowText(HWND h) {
  DWORD_PTR len = 0;
  if (SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len)) {
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (SendMessageTimeoutW(h, WM_GETTEXT, static_cast<WPARAM>(buf.size()),
                            reinterpret_cast<LPARAM>(&buf[0]), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &got)) {
      if (got > len + 1) got = len + 1;
      return std::wstring(&buf[0], got);
    }
  }
  wchar_t buf[1024];
  int n = GetWindowTextW(h, buf, 1024);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// What a reader takes from a control: its text, or a progress bar's position.
std::wstring readableText(HWND h) {
  if (lstrcmpiW(className(h).c_str(), L"msctls_progress32") != 0) return windowText(h);
  DWORD_PTR position = 0;
  if (!SendMessageTimeoutW(h, 0x0408 /* PBM_GETPOS */, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &position))
    return std::wstring();
  wchar_t buf[32];
  swprintf(buf, 32, L"%lu", static_cast<unsigned long>(position));
  return buf;
}

// Captions of top-level windows are stored by the window manager side and read
// without sending messages, so a busy target cannot stall the search.
std::wstring caption(HWND h) {
  int len = GetWindowTextLengthW(h);
  std::vector<wchar_t> buf(static_cast<size_t>(len > 0 ? len : 0) + 2, L'\0');
  int n = GetWindowTextW(h, &buf[0], static_cast<int>(buf.size()));
  return std::wstring(&buf[0], n > 0 ? static_cast<size_t>(n) : 0);
}

struct FindTop {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK findTopProc(HWND h, LPARAM lp) {
  FindTop* f = reinterpret_cast<FindTop*>(lp);
  if (IsWindowVisible(h) && caption(h) == *f->caption) {
    f->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND findTop(const std::wstring& cap) {
  FindTop f = {&cap, NULL};
  EnumWindows(findTopProc, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

BOOL CALLBACK collectProc(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> descendants(HWND top) {
  std::vector<HWND> v;
  EnumChildWindows(top, collectProc, reinterpret_cast<LPARAM>(&v));
  return v;
}

std::vector<HWND> directChildren(HWND parent) {
  std::vector<HWND> v;
  for (HWND c = GetWindow(parent, GW_CHILD); c != NULL; c = GetWindow(c, GW_HWNDNEXT))
    v.push_back(c);
  return v;
}

bool parseUInt(const std::wstring& s, unsigned long& v) {
  if (s.empty()) return false;
  wchar_t* end = NULL;
  v = wcstoul(s.c_str(), &end, 10);
  return end != NULL && *end == L'\0' && s[0] != L'-' && s[0] != L'+';
}

bool parseInt(const std::wstring& s, long& v) {
  if (s.empty()) return false;
  wchar_t* end = NULL;
  v = wcstol(s.c_str(), &end, 10);
  return end != NULL && *end == L'\0';
}

// "&Yes" is shown as "Yes"; "&&" stands for a literal '&'.
std::wstring stripMnemonic(const std::wstring& s) {
  std::wstring r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'&') {
      if (i + 1 < s.size() && s[i + 1] == L'&') {
        r += L'&';
        ++i;
      }
      continue;
    }
    r += s[i];
  }
  return r;
}

bool isButtonClass(HWND h) { return lstrcmpiW(className(h).c_str(), L"Button") == 0; }

HWND waitTop(const std::wstring& cap, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND h = findTop(cap);
    if (h != NULL) return h;
    if (GetTickCount() - start >= timeoutMs) return NULL;
    Sleep(kPollMs);
  }
}

HWND requireTop(const std::wstring& cap) {
  HWND h = findTop(cap);
  if (h == NULL) err(L"no visible window captioned \"" + cap + L"\"");
  return h;
}

int press(HWND button) {
  if (!IsWindowEnabled(button)) {
    // Clicking a disabled button silently does nothing; say so instead.
    err(L"button \"" + windowText(button) + L"\" is disabled");
    return 1;
  }
  if (!PostMessageW(button, BM_CLICK, 0, 0)) {
    err(L"PostMessage failed");
    return 1;
  }
  out(hexHwnd(button));
  return 0;
}

int cmdWait(const std::vector<std::wstring>& a, DWORD timeout) {
  HWND h = waitTop(a[0], timeout);
  if (h == NULL) {
    err(L"timed out waiting for \"" + a[0] + L"\"");
    return 1;
  }
  out(hexHwnd(h));
  return 0;
}

int cmdGone(const std::vector<std::wstring>& a, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    if (findTop(a[0]) == NULL) return 0;
    if (GetTickCount() - start >= timeout) {
      err(L"\"" + a[0] + L"\" still present");
      return 1;
    }
    Sleep(kPollMs);
  }
}

int cmdTexts(const std::vector<std::wstring>& a) {
  HWND top = requireTop(a[0]);
  if (top == NULL) return 1;
  out(escape(caption(top)));
  std::vector<HWND> kids = descendants(top);
  for (size_t i = 0; i < kids.size(); ++i) {
    HWND c = kids[i];
    // Hidden controls are not what the user reads.
    if (!IsWindowVisible(c)) continue;
    wchar_t id[32];
    swprintf(id, 32, L"%d", GetDlgCtrlID(c));
    out(escape(className(c)) + L"\t" + id + L"\t" + escape(readableText(c)));
  }
  return 0;
}

int cmdClick(const std::vector<std::wstring>& a) {
  HWND top = requireTop(a[0]);
  if (top == NULL) return 1;
  const std::wstring& want = a[1];
  std::vector<HWND> kids = descendants(top);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < kids.size(); ++i) {
      HWND c = kids[i];
      if (!isButtonClass(c) || !IsWindowVisible(c)) continue;
      std::wstring t = windowText(c);
      bool match = pass == 0 ? t == want : stripMnemonic(t) == stripMnemonic(want);
      if (match) return press(c);
    }
  }
  err(L"no button \"" + want + L"\" in \"" + a[0] + L"\"");
  return 1;
}

int cmdClickId(const std::vector<std::wstring>& a) {
  long id = 0;
  if (!parseInt(a[1], id)) {
    err(L"bad id: " + a[1]);
    return 2;
  }
  HWND top = requireTop(a[0]);
  if (top == NULL) return 1;
  std::vector<HWND> kids = descendants(top);
  for (size_t i = 0; i < kids.size(); ++i) {
    if (GetDlgCtrlID(kids[i]) == static_cast<int>(id)) return press(kids[i]);
  }
  err(L"no control with id " + a[1] + L" in \"" + a[0] + L"\"");
  return 1;
}

int cmdClose(const std::vector<std::wstring>& a) {
  HWND top = requireTop(a[0]);
  if (top == NULL) return 1;
  if (!PostMessageW(top, WM_CLOSE, 0, 0)) {
    err(L"PostMessage failed");
    return 1;
  }
  return 0;
}

// Each step of the path names a direct child by control id; a step that
// matches no id is taken as a 0-based position instead, so "1148/0/0" reaches
// the Edit inside the ComboBox inside the file dialog's ComboBoxEx32.
HWND resolvePath(HWND top, const std::wstring& path) {
  HWND cur = top;
  size_t pos = 0;
  bool first = true;
  while (pos <= path.size()) {
    size_t slash = path.find(L'/', pos);
    std::wstring part =
        path.substr(pos, slash == std::wstring::npos ? std::wstring::npos : slash - pos);
    unsigned long n = 0;
    if (!parseUInt(part, n)) {
      err(L"bad id path: " + path);
      return NULL;
    }
    std::vector<HWND> kids = directChildren(cur);
    HWND next = NULL;
    for (size_t i = 0; i < kids.size() && next == NULL; ++i) {
      if (GetDlgCtrlID(kids[i]) == static_cast<int>(n)) next = kids[i];
    }
    // The first id may sit deeper than the top window's own children.
    if (next == NULL && first) {
      std::vector<HWND> all = descendants(cur);
      for (size_t i = 0; i < all.size() && next == NULL; ++i) {
        if (GetDlgCtrlID(all[i]) == static_cast<int>(n)) next = all[i];
      }
    }
    if (next == NULL && n < kids.size()) next = kids[n];
    if (next == NULL) {
      err(L"id path step \"" + part + L"\" not found");
      return NULL;
    }
    cur = next;
    first = false;
    if (slash == std::wstring::npos) break;
    pos = slash + 1;
  }
  return cur;
}

int cmdSetText(const std::vector<std::wstring>& a) {
  HWND top = requireTop(a[0]);
  if (top == NULL) return 1;
  HWND target = resolvePath(top, a[1]);
  if (target == NULL) return 1;
  DWORD_PTR res = 0;
  if (!SendMessageTimeoutW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[2].c_str()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &res) ||
      res == 0) {
    err(L"WM_SETTEXT failed");
    return 1;
  }
  out(hexHwnd(target) + L"\t" + escape(className(target)));
  return 0;
}

int cmdRect(const std::vector<std::wstring>& a) {
  HWND top = requireTop(a[0]);
  if (top == NULL) return 1;
  RECT w, c;
  if (!GetWindowRect(top, &w) || !GetClientRect(top, &c)) {
    err(L"cannot read rectangles");
    return 1;
  }
  wchar_t buf[128];
  swprintf(buf, 128, L"%ld %ld %ld %ld", w.left, w.top, w.right, w.bottom);
  out(buf);
  swprintf(buf, 128, L"%ld %ld", c.right - c.left, c.bottom - c.top);
  out(buf);
  return 0;
}

BOOL CALLBACK listProc(HWND h, LPARAM) {
  if (IsWindowVisible(h))
    out(hexHwnd(h) + L"\t" + escape(className(h)) + L"\t" + escape(caption(h)));
  return TRUE;
}

int cmdList() {
  EnumWindows(listProc, 0);
  return 0;
}

int usage() {
  err(L"usage:\n"
      L"  winctl wait <caption> [timeout_ms]\n"
      L"  winctl gone <caption> [timeout_ms]\n"
      L"  winctl texts <caption>\n"
      L"  winctl click <caption> <button text>\n"
      L"  winctl clickid <caption> <id>\n"
      L"  winctl close <caption>\n"
      L"  winctl settext <caption> <id/id/...> <text>\n"
      L"  winctl rect <caption>\n"
      L"  winctl list");
  return 2;
}

int run() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == NULL) return usage();
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  LocalFree(argv);
  if (args.empty()) return usage();

  const std::wstring cmd = args[0];
  std::vector<std::wstring> rest(args.begin() + 1, args.end());
  const size_t n = rest.size();

  if (cmd == L"wait" || cmd == L"gone") {
    if (n < 1 || n > 2) return usage();
    DWORD timeout = kDefaultTimeoutMs;
    if (n == 2) {
      unsigned long t = 0;
      if (!parseUInt(rest[1], t)) return usage();
      timeout = static_cast<DWORD>(t);
    }
    return cmd == L"wait" ? cmdWait(rest, timeout) : cmdGone(rest, timeout);
  }
  if (cmd == L"texts" && n == 1) return cmdTexts(rest);
  if (cmd == L"click" && n == 2) return cmdClick(rest);
  if (cmd == L"clickid" && n == 2) return cmdClickId(rest);
  if (cmd == L"close" && n == 1) return cmdClose(rest);
  if (cmd == L"settext" && n == 3) return cmdSetText(rest);
  if (cmd == L"rect" && n == 1) return cmdRect(rest);
  if (cmd == L"list" && n == 0) return cmdList();
  return usage();
}

}  // namespace

// Both entry points, so the tool links with and without -municode; the
// arguments always come from GetCommandLineW to keep non-ASCII captions intact.
int main() { return run(); }
int wmain() { return run(); }
