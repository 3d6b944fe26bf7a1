// BSTR: a 32-bit byte-length prefix, the UTF-16 units, then a zero unit. The pointer handed
// out points at the first unit, four bytes into a block from malloc; SysFreeString gives the
// whole block back. Lengths above 0x7FFFFFF0 bytes are refused (null), as Windows refuses
// BSTRs past 2 GiB.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "velluma/wintypes.h"

namespace {

constexpr uint32_t kMaxBstrBytes = 0x7FFFFFF0u;

// A BSTR of `bytes` bytes copied from src (zeroed when src is null), followed by a zero unit.
BSTR AllocBytes(const void* src, size_t bytes) {
  if (bytes > kMaxBstrBytes) return nullptr;
  char* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const uint32_t prefix = static_cast<uint32_t>(bytes);
  std::memcpy(block, &prefix, sizeof prefix);
  char* data = block + sizeof(uint32_t);
  if (src) {
    std::memcpy(data, src, bytes);
  } else {
    std::memset(data, 0, bytes);
  }
  std::memset(data + bytes, 0, sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(data);
}

uint32_t PrefixOf(BSTR bstr) {
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(bstr) - sizeof(uint32_t), sizeof prefix);
  return prefix;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  size_t n = 0;
  while (psz[n]) ++n;
  if (n > kMaxBstrBytes / sizeof(OLECHAR)) return nullptr;
  return AllocBytes(psz, n * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > kMaxBstrBytes / sizeof(OLECHAR)) return nullptr;
  return AllocBytes(strIn, size_t{ui} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
  return AllocBytes(psz, len);
}

int SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  // Allocate first: psz may point into the old string.
  BSTR fresh = SysAllocString(psz);
  if (psz && !fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstrString) {
  if (!bstrString) return;
  std::free(reinterpret_cast<char*>(bstrString) - sizeof(uint32_t));
}

UINT SysStringLen(BSTR pbstr) {
  return pbstr ? PrefixOf(pbstr) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
  return bstr ? PrefixOf(bstr) : 0;
}
