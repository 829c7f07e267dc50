// The completion rule of a download: success exactly for a 2xx status with a body that is not
// empty and not shorter than announced; every failure says why.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "prerequisites/BackgroundDownloader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  zl::HttpResponse response;
  response.status = input.ConsumeIntegral<int>();
  if (input.ConsumeBool()) response.contentLength = input.ConsumeIntegral<int64_t>();
  // The client counts bytes it wrote: never fewer than none.
  response.received =
      input.ConsumeIntegralInRange<int64_t>(0, std::numeric_limits<int64_t>::max());

  const zl::DownloadOutcome outcome = zl::BackgroundDownloader::Judge(response);
  const bool ok2xx = response.status >= 200 && response.status <= 299;
  const bool complete = !response.contentLength || response.received >= *response.contentLength;
  if (outcome.success != (ok2xx && complete && response.received > 0)) __builtin_trap();
  if (outcome.success != outcome.errorMessage.empty()) __builtin_trap();

  std::wstring expected;
  if (!ok2xx)
    expected = L"HTTP " + std::to_wstring(response.status);
  else if (!complete)
    expected = L"The download ended after " + std::to_wstring(response.received) + L" of " +
               std::to_wstring(*response.contentLength) + L" bytes.";
  else if (response.received == 0)
    expected = L"The download is empty.";
  if (outcome.errorMessage != expected) __builtin_trap();
  return 0;
}
