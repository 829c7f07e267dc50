#include "utils/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "utils/Text.h"

namespace zl {

namespace {

constexpr uint32_t kEocdSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEocdSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kMaxComment = 0xFFFF;
constexpr size_t kChunk = 64 * 1024;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;

// Code page 437, bytes 0x80..0xFF: names of archives made without the UTF-8 flag.
const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::wstring DecodeName(const std::string& raw, bool utf8) {
  if (utf8) return FromUtf8(raw);
  std::wstring out;
  out.reserve(raw.size());
  for (unsigned char c : raw) out += static_cast<wchar_t>(c < 0x80 ? c : kCp437High[c - 0x80]);
  return out;
}

struct Member {
  std::wstring name;  // as stored, decoded
  std::vector<std::wstring> parts;
  bool folder = false;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t packedSize = 0;
  uint32_t size = 0;
  uint32_t localOffset = 0;
};

bool ReservedDeviceName(const std::wstring& part) {
  // CON, AUX, COM1... open devices on Windows whatever their extension.
  std::wstring base = UpperAscii(part.substr(0, part.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL"};
  for (const wchar_t* n : kNames)
    if (base == n) return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         base[3] >= L'1' && base[3] <= L'9';
}

// Splits a member name into the folders and file below the target; false when the name could
// reach outside it or cannot be a Windows file name.
bool SplitSafeName(const std::wstring& name, std::vector<std::wstring>& parts) {
  if (name.empty() || name[0] == L'/' || name[0] == L'\\') return false;
  for (wchar_t c : name) {
    // ':' covers drives ("C:x") and alternate data streams.
    if (c < 0x20 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
        c == L'*')
      return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = name.size();
    std::wstring part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == L".") continue;
    // Windows drops trailing dots and spaces, so "..", "... " and ". ." all climb or vanish.
    if (part.find_first_not_of(L". ") == std::wstring::npos) return false;
    if (ReservedDeviceName(part)) return false;
    parts.push_back(part);
  }
  return !parts.empty();
}

class Extractor {
 public:
  Extractor(IFileSystem& fs, const std::wstring& archive, const std::wstring& target)
      : fs_(fs), archive_(archive), target_(target) {
    while (!target_.empty() && (target_.back() == L'\\' || target_.back() == L'/'))
      target_.pop_back();
    if (target_.empty())
      throw LauncherError(L"No folder was given to extract the archive \"" + archive_ + L"\" to.");
  }

  void Run() {
    try {
      in_ = fs_.OpenRead(archive_);
    } catch (const LauncherError& e) {
      throw LauncherError(L"Cannot open the archive \"" + archive_ + L"\": " + e.Message());
    }
    size_ = in_->Size();
    ReadDirectory();
    EnsureFolder(target_);
    std::vector<unsigned char> inBuf(kChunk), outBuf(kChunk);
    for (const Member& m : members_) {
      std::wstring path = target_;
      for (size_t i = 0; i + 1 < m.parts.size(); ++i) {
        path += L"\\" + m.parts[i];
        EnsureFolder(path);
      }
      path += L"\\" + m.parts.back();
      if (m.folder) {
        EnsureFolder(path);
      } else {
        ExtractFile(m, path, inBuf, outBuf);
      }
    }
  }

 private:
  [[noreturn]] void Damaged(const std::wstring& why) const {
    throw LauncherError(L"The ZIP archive \"" + archive_ + L"\" is damaged or truncated (" + why +
                        L").");
  }
  [[noreturn]] void MemberError(const Member& m, const std::wstring& what) const {
    throw LauncherError(L"The member \"" + m.name + L"\" of the ZIP archive \"" + archive_ +
                        L"\" " + what);
  }

  void Read(uint64_t offset, void* buffer, size_t n) {
    if (offset > size_ || n > size_ - offset) Damaged(L"data beyond its end");
    try {
      in_->ReadAt(offset, buffer, n);
    } catch (const LauncherError& e) {
      throw LauncherError(L"Cannot read the archive \"" + archive_ + L"\": " + e.Message());
    }
  }

  void ReadDirectory() {
    if (size_ < kEocdSize) NotZip();
    size_t tailSize = static_cast<size_t>(std::min<uint64_t>(size_, kEocdSize + kMaxComment));
    uint64_t tailStart = size_ - tailSize;
    std::vector<unsigned char> tail(tailSize);
    Read(tailStart, tail.data(), tailSize);

    // The record's comment runs to the end of the file; prefer such a candidate over a stray
    // signature inside a comment, but accept trailing bytes after the comment.
    size_t eocd = SIZE_MAX;
    for (size_t pos = tailSize - kEocdSize + 1; pos-- > 0;) {
      if (Get32(&tail[pos]) != kEocdSignature) continue;
      size_t end = pos + kEocdSize + Get16(&tail[pos + 20]);
      if (end == tailSize) {
        eocd = pos;
        break;
      }
      if (end < tailSize && eocd == SIZE_MAX) eocd = pos;
    }
    if (eocd == SIZE_MAX) NotZip();
    const unsigned char* e = &tail[eocd];
    uint16_t disk = Get16(e + 4), cdDisk = Get16(e + 6);
    uint16_t entriesHere = Get16(e + 8), entries = Get16(e + 10);
    uint32_t cdSize = Get32(e + 12), cdOffset = Get32(e + 16);
    if (entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF) Zip64();
    if (disk != 0 || cdDisk != 0 || entriesHere != entries) {
      throw LauncherError(L"The ZIP archive \"" + archive_ +
                          L"\" spans several disks, which is not supported.");
    }
    uint64_t eocdOffset = tailStart + eocd;
    if (uint64_t{cdOffset} + cdSize > eocdOffset) Damaged(L"central directory out of place");
    cdOffset_ = cdOffset;

    std::vector<unsigned char> cd(cdSize);
    if (cdSize) Read(cdOffset, cd.data(), cdSize);
    size_t pos = 0;
    for (uint16_t i = 0; i < entries; ++i) {
      if (cdSize - pos < kCentralSize || Get32(&cd[pos]) != kCentralSignature)
        Damaged(L"central directory entry " + IntToText(i + 1));
      const unsigned char* c = &cd[pos];
      Member m;
      m.flags = Get16(c + 8);
      m.method = Get16(c + 10);
      m.crc = Get32(c + 16);
      m.packedSize = Get32(c + 20);
      m.size = Get32(c + 24);
      size_t nameLen = Get16(c + 28), extraLen = Get16(c + 30), commentLen = Get16(c + 32);
      m.localOffset = Get32(c + 42);
      if (cdSize - pos - kCentralSize < nameLen + extraLen + commentLen)
        Damaged(L"central directory entry " + IntToText(i + 1));
      std::string raw(reinterpret_cast<const char*>(c + kCentralSize), nameLen);
      m.name = DecodeName(raw, (m.flags & kFlagUtf8) != 0);
      pos += kCentralSize + nameLen + extraLen + commentLen;
      members_.push_back(std::move(m));
    }
    // Everything refusable is refused before the first write.
    for (Member& m : members_) Check(m);
  }

  void Check(Member& m) const {
    if (!SplitSafeName(m.name, m.parts))
      MemberError(m, L"has an unsafe path; nothing was extracted.");
    m.folder = m.name.back() == L'/' || m.name.back() == L'\\';
    if (m.flags & kFlagEncrypted) MemberError(m, L"is encrypted, which is not supported.");
    if (m.method != kMethodStored && m.method != kMethodDeflate) {
      MemberError(m, L"uses the unsupported compression method " + IntToText(m.method) + L".");
    }
    if (m.size == 0xFFFFFFFF || m.packedSize == 0xFFFFFFFF || m.localOffset == 0xFFFFFFFF) Zip64();
    if (m.method == kMethodStored && m.size != m.packedSize)
      MemberError(m, L"is damaged (stored sizes differ).");
  }

  [[noreturn]] void NotZip() const {
    throw LauncherError(L"The file \"" + archive_ + L"\" is not a ZIP archive.");
  }
  [[noreturn]] void Zip64() const {
    throw LauncherError(L"The ZIP archive \"" + archive_ +
                        L"\" uses ZIP64 extensions, which are not supported.");
  }

  // Members' folders come parent first, so only the target may need its parents made here.
  void EnsureFolder(const std::wstring& path) {
    std::wstring key = LowerAscii(path);
    if (made_.count(key)) return;
    if (!fs_.GetAttributes(path).directory) {
      if (path.size() <= target_.size()) {
        std::wstring parent = ParentFolder(path);
        if (!parent.empty()) EnsureFolder(parent);
      }
      if (!fs_.CreateDirectory(path)) {
        throw LauncherError(L"Cannot create the folder \"" + path +
                            L"\" while extracting the archive \"" + archive_ + L"\".");
      }
    }
    made_.insert(key);
  }

  // The folder above path; empty when that is a root ("C:", "\\server\share") or there is
  // none, since roots cannot be made.
  static std::wstring ParentFolder(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut == 0) return std::wstring();
    if (path[cut - 1] == L':' || path[cut - 1] == L'\\') return std::wstring();
    std::wstring parent = path.substr(0, cut);
    if (parent.compare(0, 2, L"\\\\") == 0) {
      size_t server = parent.find_first_of(L"\\/", 2);
      if (server == std::wstring::npos ||
          parent.find_first_of(L"\\/", server + 1) == std::wstring::npos)
        return std::wstring();
    }
    return parent;
  }

  void ExtractFile(const Member& m, const std::wstring& path, std::vector<unsigned char>& inBuf,
                   std::vector<unsigned char>& outBuf) {
    // The local header's own name and extra lengths place the data; they may differ from the
    // central directory's.
    unsigned char local[kLocalSize];
    if (uint64_t{m.localOffset} + kLocalSize > cdOffset_) MemberError(m, L"is damaged (header).");
    Read(m.localOffset, local, kLocalSize);
    if (Get32(local) != kLocalSignature) MemberError(m, L"is damaged (header).");
    uint64_t dataStart =
        uint64_t{m.localOffset} + kLocalSize + Get16(local + 26) + Get16(local + 28);
    if (dataStart + m.packedSize > cdOffset_) MemberError(m, L"is damaged (data truncated).");

    std::unique_ptr<IWriteStream> out;
    try {
      out = fs_.CreateWrite(path);
    } catch (const LauncherError& e) {
      throw LauncherError(L"Cannot write \"" + path + L"\" while extracting the archive \"" +
                          archive_ + L"\": " + e.Message());
    }
    try {
      uLong crc = crc32(0, Z_NULL, 0);
      uint64_t written = 0;
      auto emit = [&](const unsigned char* data, size_t n) {
        if (n == 0) return;
        // Stop a member at its declared size instead of writing whatever inflate produces.
        if (n > m.size - written) MemberError(m, L"is larger than the archive says.");
        out->Write(data, n);
        crc = crc32(crc, data, static_cast<uInt>(n));
        written += n;
      };
      if (m.method == kMethodStored) {
        uint64_t offset = dataStart;
        for (uint64_t left = m.packedSize; left > 0;) {
          size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
          Read(offset, inBuf.data(), n);
          emit(inBuf.data(), n);
          offset += n;
          left -= n;
        }
      } else {
        Inflate(m, dataStart, inBuf, outBuf, emit);
      }
      out->Close();
      if (written != m.size) MemberError(m, L"is smaller than the archive says.");
      if (crc != m.crc) MemberError(m, L"fails its CRC check; the archive is damaged.");
    } catch (...) {
      out.reset();
      fs_.DeleteFile(path);  // a half-written program must not be started later
      throw;
    }
  }

  template <typename Emit>
  void Inflate(const Member& m, uint64_t offset, std::vector<unsigned char>& inBuf,
               std::vector<unsigned char>& outBuf, Emit& emit) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) MemberError(m, L"cannot be unpacked (zlib).");
    struct End {
      z_stream* zs;
      ~End() { inflateEnd(zs); }
    } end{&zs};
    uint64_t left = m.packedSize;
    for (;;) {
      if (zs.avail_in == 0 && left > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
        Read(offset, inBuf.data(), n);
        offset += n;
        left -= n;
        zs.next_in = inBuf.data();
        zs.avail_in = static_cast<uInt>(n);
      }
      zs.next_out = outBuf.data();
      zs.avail_out = static_cast<uInt>(outBuf.size());
      int rc = inflate(&zs, Z_NO_FLUSH);
      // With room for output, Z_BUF_ERROR means the packed data ran out before its end.
      if (rc != Z_OK && rc != Z_STREAM_END) MemberError(m, L"is damaged (bad compressed data).");
      emit(outBuf.data(), outBuf.size() - zs.avail_out);
      if (rc == Z_STREAM_END) return;
    }
  }

  IFileSystem& fs_;
  std::wstring archive_;
  std::wstring target_;
  std::unique_ptr<IReadStream> in_;
  uint64_t size_ = 0;
  uint64_t cdOffset_ = 0;
  std::vector<Member> members_;
  std::set<std::wstring> made_;
};

}  // namespace

void ExtractZip(IFileSystem& fs, const std::wstring& archivePath, const std::wstring& targetDir) {
  Extractor(fs, archivePath, targetDir).Run();
}

}  // namespace zl
