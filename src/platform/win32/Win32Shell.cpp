#include "platform/win32/Win32Shell.h"

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

#include <objbase.h>

namespace zl::win32 {

namespace {

static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60,
              "SHELLEXECUTEINFOW must have the size 32-bit Windows expects");

class Win32Process : public IProcess {
 public:
  explicit Win32Process(UniqueHandle process) : process_(std::move(process)) {}
  bool Wait(uint32_t ms) override {
    return ::WaitForSingleObject(process_.Get(), ms) != WAIT_TIMEOUT;
  }

 private:
  UniqueHandle process_;
};

// ShellExecute(Ex) may hand the request to shell extensions and DDE, which are COM objects and
// need COM on the calling thread; without it some verbs and file types fail or hang. The launcher
// calls the shell from its worker thread as well as the main thread, so each thread initialises
// COM the first time it gets here and leaves it when it ends. Apartment-threaded, as the shell
// wants; OLE1 DDE off, as Microsoft recommends for ShellExecuteEx. A thread already in the
// multithreaded apartment (RPC_E_CHANGED_MODE) has COM too, and must not be uninitialised by us.
class ComScope {
 public:
  ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace

void EnsureComOnThisThread() { static thread_local ComScope scope; }

ShellStart Win32Shell::ShellExecuteEx(const ShellExecuteRequest& request) {
  EnsureComOnThisThread();
  SHELLEXECUTEINFOW info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = request.mask;
  info.lpVerb = OrNull(request.verb);
  info.lpFile = request.file.c_str();
  info.lpParameters = request.parameters.c_str();
  info.lpDirectory = OrNull(request.directory);
  info.nShow = request.show;

  ShellStart start;
  start.ok = ::ShellExecuteExW(&info) != FALSE;
  // Without SEE_MASK_NOCLOSEPROCESS the handle is not ours, whatever the field holds.
  UniqueHandle process((request.mask & see::NoCloseProcess) != 0 ? info.hProcess : nullptr);
  if (start.ok && process) start.process = std::make_unique<Win32Process>(std::move(process));
  return start;
}

void Win32Shell::ShellExecute(const std::wstring& verb, const std::wstring& file,
                              const std::wstring& parameters, const std::wstring& directory,
                              int show) {
  EnsureComOnThisThread();
  // An empty verb or folder means "none given", which the shell spells NULL.
  ::ShellExecuteW(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(), parameters.c_str(),
                  directory.empty() ? nullptr : directory.c_str(), show);
}

}  // namespace zl::win32
