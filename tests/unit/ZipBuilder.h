#pragma once
// Builds ZIP archives in memory for the tests, with the knobs needed to produce the faults the
// extractor must catch (wrong CRC, sizes, methods, flags, headers that disagree).

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zl::test {

struct ZipEntry {
  std::string name;  // raw bytes, as stored
  std::string data;  // the content before packing
  bool deflate = false;
  uint16_t flags = 0;
  std::optional<uint16_t> method;        // written instead of 0/8; the data stays packed as is
  std::optional<std::string> packed;     // written instead of the packed data
  std::optional<uint32_t> declaredSize;  // the unpacked size the central directory states
  std::optional<uint32_t> declaredOffset;
  bool corruptCrc = false;
  std::optional<std::string> localName;  // the local header may name it differently
  std::string localExtra;
  // Flag bit 3: zero CRC and sizes in the local header, a descriptor after the data.
  bool dataDescriptor = false;
};

inline std::string RawDeflate(const std::string& data, int level = 6) {
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

class ZipBuilder {
 public:
  ZipBuilder& Add(ZipEntry entry) {
    entries_.push_back(std::move(entry));
    return *this;
  }
  ZipBuilder& Stored(const std::string& name, const std::string& data) {
    ZipEntry e;
    e.name = name;
    e.data = data;
    return Add(e);
  }
  ZipBuilder& Deflated(const std::string& name, const std::string& data) {
    ZipEntry e;
    e.name = name;
    e.data = data;
    e.deflate = true;
    return Add(e);
  }
  ZipBuilder& Folder(const std::string& name) { return Stored(name, ""); }
  // Indexes of the entries in the order the central directory lists them.
  ZipBuilder& CentralOrder(std::vector<size_t> order) {
    order_ = std::move(order);
    return *this;
  }
  ZipBuilder& Comment(const std::string& comment) {
    comment_ = comment;
    return *this;
  }

  std::string Build() const {
    std::string out;
    std::vector<std::string> central;
    for (const ZipEntry& e : entries_) {
      std::string packed = e.packed ? *e.packed : e.deflate ? RawDeflate(e.data) : e.data;
      uint16_t method = e.method ? *e.method : e.deflate ? 8 : 0;
      uint16_t flags = static_cast<uint16_t>(e.flags | (e.dataDescriptor ? 0x0008 : 0));
      uint32_t crc = Crc32(e.data) ^ (e.corruptCrc ? 0x00100000u : 0u);
      uint32_t size = e.declaredSize ? *e.declaredSize : static_cast<uint32_t>(e.data.size());
      uint32_t offset = e.declaredOffset ? *e.declaredOffset : static_cast<uint32_t>(out.size());
      const std::string& localName = e.localName ? *e.localName : e.name;

      Put32(out, 0x04034b50);
      Put16(out, 20);
      Put16(out, flags);
      Put16(out, method);
      Put32(out, 0x5A210000);  // time and date: any
      Put32(out, e.dataDescriptor ? 0 : crc);
      Put32(out, e.dataDescriptor ? 0 : static_cast<uint32_t>(packed.size()));
      Put32(out, e.dataDescriptor ? 0 : size);
      Put16(out, static_cast<uint16_t>(localName.size()));
      Put16(out, static_cast<uint16_t>(e.localExtra.size()));
      out += localName + e.localExtra + packed;
      if (e.dataDescriptor) {
        Put32(out, 0x08074b50);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(packed.size()));
        Put32(out, size);
      }

      std::string c;
      Put32(c, 0x02014b50);
      Put16(c, 20);
      Put16(c, 20);
      Put16(c, flags);
      Put16(c, method);
      Put32(c, 0x5A210000);
      Put32(c, crc);
      Put32(c, static_cast<uint32_t>(packed.size()));
      Put32(c, size);
      Put16(c, static_cast<uint16_t>(e.name.size()));
      Put16(c, 0);  // extra
      Put16(c, 0);  // comment
      Put16(c, 0);  // disk
      Put16(c, 0);  // internal attributes
      Put32(c, 0);  // external attributes
      Put32(c, offset);
      c += e.name;
      central.push_back(c);
    }
    std::vector<size_t> order = order_;
    if (order.empty())
      for (size_t i = 0; i < entries_.size(); ++i) order.push_back(i);
    uint32_t cdOffset = static_cast<uint32_t>(out.size());
    for (size_t i : order) out += central.at(i);
    uint32_t cdSize = static_cast<uint32_t>(out.size()) - cdOffset;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(order.size()));
    Put16(out, static_cast<uint16_t>(order.size()));
    Put32(out, cdSize);
    Put32(out, cdOffset);
    Put16(out, static_cast<uint16_t>(comment_.size()));
    out += comment_;
    return out;
  }

  static void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  }
  static void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
  }

 private:
  std::vector<ZipEntry> entries_;
  std::vector<size_t> order_;
  std::string comment_;
};

}  // namespace zl::test
