// The background downloader: the reports a handler sees for each way a download can end, the
// target file it writes, and how it names that file.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "prerequisites/BackgroundDownloader.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakeHttp;
using fake::FakePlatform;
using test::kBrailleUrl;

const std::wstring kTarget = L"C:\\Downloads\\pkg.msi";

struct Report {
  double percent;
  bool finished;
  bool success;
  std::wstring error;
};

// Records where it was called from, so a test can see the body travel off the main thread.
class ThreadNotingHttp : public IHttp {
 public:
  ThreadNotingHttp(FakeHttp& inner, IUserInterface& ui) : inner_(inner), ui_(ui) {}
  HttpResponse Get(const std::wstring& url, IWriteStream& target,
                   const HttpCallbacks& callbacks) override {
    onMainThread.push_back(ui_.IsMainThread());
    return inner_.Get(url, target, callbacks);
  }
  std::vector<bool> onMainThread;

 private:
  FakeHttp& inner_;
  IUserInterface& ui_;
};

// Runs one download to its end (the fake runs the thread inline) and returns what the handler
// saw. The downloader frees itself; the sanitized run would report a leak otherwise. It works
// through ports, p's own unless a test replaces one of them.
std::vector<DownloadProgressData> Download(FakePlatform& p, const std::wstring& saveAs,
                                           const PlatformServices& ports) {
  std::vector<DownloadProgressData> reports;
  BackgroundDownloader* d = BackgroundDownloader::CreateSuspended(ports);
  d->SetURL(kBrailleUrl);
  d->SetSaveAs(saveAs);
  d->SetProgressEvent([&](DownloadProgressData data) {
    EXPECT_TRUE(p.ui.IsMainThread()) << "a report off the main thread";
    reports.push_back(data);
  });
  d->Start();
  return reports;
}

std::vector<DownloadProgressData> Download(FakePlatform& p, const std::wstring& saveAs) {
  return Download(p, saveAs, p.Services());
}

void ExpectReports(const std::vector<DownloadProgressData>& got, const std::vector<Report>& want,
                   const std::string& name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(name + " report " + std::to_string(i));
    EXPECT_DOUBLE_EQ(got[i].percent, want[i].percent);
    EXPECT_EQ(got[i].finished, want[i].finished);
    EXPECT_EQ(got[i].success, want[i].success);
    EXPECT_EQ(got[i].errorMessage, want[i].error);
  }
}

// Chunks far enough apart that each is reported.
FakeHttp::Reply Body(size_t size, size_t chunk) {
  FakeHttp::Reply r;
  r.body = std::string(size, 'x');
  r.chunk = chunk;
  r.msPerChunk = 1000;
  return r;
}

TEST(BackgroundDownloader, ReportsForEachWayADownloadEnds) {
  struct Case {
    std::string name;
    std::optional<FakeHttp::Reply> reply;  // none: the connection is refused
    std::vector<Report> reports;
    std::optional<size_t> fileSize;  // what is left in the target
  };
  std::vector<Case> cases;
  {
    Case c{"announced length", Body(10000, 4096), {}, 10000};
    c.reports = {{40.96, false, false, L""},
                 {81.92, false, false, L""},
                 {100, false, false, L""},
                 {100, true, true, L""}};
    cases.push_back(c);
  }
  {
    Case c{"no length announced", Body(5000, 2000), {}, 5000};
    c.reply->announceLength = false;
    c.reports = {{0, false, false, L""},
                 {0, false, false, L""},
                 {0, false, false, L""},
                 {100, true, true, L""}};
    cases.push_back(c);
  }
  {
    // More than announced: the share is passed on as it is.
    Case c{"more than announced", Body(2000, 1000), {}, 2000};
    c.reply->contentLength = 1000;
    c.reports = {{100, false, false, L""}, {200, false, false, L""}, {100, true, true, L""}};
    cases.push_back(c);
  }
  {
    // The body arrived whole although the client never said so.
    Case c{"no work end", Body(3000, 3000), {}, 3000};
    c.reply->reportWorkEnd = false;
    c.reports = {{100, false, false, L""}, {100, true, true, L""}};
    cases.push_back(c);
  }
  {
    Case c{"fails before data", Body(100, 100), {}, 0};
    c.reply->failBeforeData = L"The server name could not be resolved.";
    c.reports = {{0, true, false, L"The server name could not be resolved."}};
    cases.push_back(c);
  }
  {
    Case c{"broken transfer", Body(10000, 4096), {}, 4096};
    c.reply->failAfterBytes = L"The connection was reset.";
    c.reports = {{40.96, false, false, L""}, {0, true, false, L"The connection was reset."}};
    cases.push_back(c);
  }
  cases.push_back({"refused", std::nullopt, {{0, true, false, L"Connection refused"}}, 0});
  cases.push_back({"empty body", Body(0, 100), {{0, true, false, L"The download is empty."}}, 0});
  {
    Case c{"short body", Body(3000, 3000), {}, 3000};
    c.reply->contentLength = 8000;
    c.reports = {{37.5, false, false, L""},
                 {0, true, false, L"The download ended after 3000 of 8000 bytes."}};
    cases.push_back(c);
  }
  {
    Case c{"not found", Body(9, 100), {}, 9};
    c.reply->status = 404;
    c.reports = {{100, false, false, L""}, {0, true, false, L"HTTP 404"}};
    cases.push_back(c);
  }
  {
    Case c{"redirect not followed", Body(50, 100), {}, 50};
    c.reply->status = 302;
    c.reports = {{100, false, false, L""}, {0, true, false, L"HTTP 302"}};
    cases.push_back(c);
  }

  for (const Case& c : cases) {
    FakePlatform p;
    p.files.AddDir(L"C:\\Downloads");
    if (c.reply) p.http.replies[kBrailleUrl] = *c.reply;
    ExpectReports(Download(p, kTarget), c.reports, c.name);
    // The target is closed (it could not be deleted while open) and left in place.
    ASSERT_TRUE(p.files.Exists(kTarget)) << c.name;
    EXPECT_EQ(p.files.ReadFileText(kTarget).size(), *c.fileSize) << c.name;
    EXPECT_TRUE(p.files.DeleteFile(kTarget)) << c.name;
    EXPECT_EQ(p.http.requested, std::vector<std::wstring>{kBrailleUrl}) << c.name;
  }
}

TEST(BackgroundDownloader, ReportsAtMostOneEvery50MsButAlwaysTheFirstAndTheWhole) {
  struct Case {
    const char* name;
    bool announced;
    std::vector<double> percents;  // every report, the final one included
  };
  std::vector<double> tenths = {1};  // 100 chunks of 1000 bytes, 10 ms apart
  for (int k = 6; k < 100; k += 5) tenths.push_back(k);
  tenths.push_back(100);
  tenths.push_back(100);
  const Case cases[] = {
      {"announced length", true, tenths},
      {"no length: the first, one per 50 ms, the final", false, std::vector<double>(21, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform p;
    p.files.AddDir(L"C:\\Downloads");
    FakeHttp::Reply reply = Body(100000, 1000);
    reply.msPerChunk = 10;
    reply.announceLength = c.announced;
    p.http.replies[kBrailleUrl] = reply;
    std::vector<double> percents;
    for (const DownloadProgressData& r : Download(p, kTarget))
      percents.push_back(std::round(r.percent));
    if (!c.announced) percents.back() = 0;  // the final report says 100
    EXPECT_EQ(percents, c.percents);
  }
}

TEST(BackgroundDownloader, DownloadsOnItsOwnThreadIntoTheTarget) {
  FakePlatform p;
  p.files.AddDir(L"C:\\Downloads");
  FakeHttp::Reply reply;
  reply.body = "MSI package bytes";
  p.http.replies[kBrailleUrl] = reply;
  ThreadNotingHttp http(p.http, p.ui);
  PlatformServices services = p.Services();
  services.http = &http;

  auto reports = Download(p, kTarget, services);
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(reports.back().success);
  EXPECT_EQ(p.ui.threadsStarted, 1);
  EXPECT_EQ(p.ui.threadNames, std::vector<std::wstring>{L"BackgroundDownloader"});
  EXPECT_EQ(http.onMainThread, std::vector<bool>{false});
  EXPECT_EQ(p.files.ReadFileText(kTarget), "MSI package bytes");
  // A name given before the start is used as it is: no temporary name is made.
  using Change = FakeFileSystem::Change;
  EXPECT_EQ(p.files.Changes(),
            (std::vector<Change>{{FakeFileSystem::ChangeKind::CreateFile, kTarget}}));
}

TEST(BackgroundDownloader, ATargetThatCannotBeMadeStillEndsWithAFailedReport) {
  struct Case {
    std::string name;
    std::function<void(FakePlatform&)> arrange;
    std::wstring saveAs;
  } cases[] = {
      {"create fails", [](FakePlatform& p) { p.files.FailNextCreateWrite(); }, kTarget},
      {"no temporary name", [](FakePlatform& p) { p.files.SetReadOnlyDir(L"C:\\Temp", true); },
       L""},
      {"no such folder", [](FakePlatform&) {}, L"C:\\Missing\\pkg.msi"},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.files.AddDir(L"C:\\Downloads");
    p.http.replies[kBrailleUrl] = Body(100, 100);
    c.arrange(p);
    auto reports = Download(p, c.saveAs);
    ASSERT_EQ(reports.size(), 1u) << c.name;
    EXPECT_TRUE(reports[0].finished) << c.name;
    EXPECT_FALSE(reports[0].success) << c.name;
    EXPECT_EQ(reports[0].percent, 0) << c.name;
    EXPECT_FALSE(reports[0].errorMessage.empty()) << c.name;
    EXPECT_TRUE(p.http.requested.empty()) << c.name;
  }
}

TEST(BackgroundDownloader, NamingMakesOneTemporaryNameAndLeavesNoFile) {
  FakePlatform p;
  BackgroundDownloader* d = BackgroundDownloader::CreateSuspended(p.Services());
  std::wstring name = d->SaveAs();
  EXPECT_EQ(name.rfind(L"C:\\Temp\\tmp", 0), 0u) << ToUtf8(name);
  EXPECT_FALSE(p.files.Exists(name));
  EXPECT_EQ(d->SaveAs(), name);  // stored: a second read names nothing new
  using Change = FakeFileSystem::Change;
  EXPECT_EQ(p.files.Changes(),
            (std::vector<Change>{{FakeFileSystem::ChangeKind::CreateFile, name},
                                 {FakeFileSystem::ChangeKind::DeleteFile, name}}));
  delete d;  // never started: its maker frees it
}

}  // namespace
}  // namespace zl
