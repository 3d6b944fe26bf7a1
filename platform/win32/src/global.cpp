// Global memory handles. Every live handle is kept in a registry guarded by a mutex, so that a
// null, invalid or already freed handle is recognised and answered with null, 0 or FALSE.
//
// Handles: for GMEM_FIXED the handle is the block's address, as on Windows; for GMEM_MOVEABLE
// it is the address of a control record whose first member holds the block's address (like an
// entry of the Windows handle table). Blocks never move. GMEM_ZEROINIT zeroes the block.
// Lock counts are kept for moveable blocks only; a fixed block always has lock count 0 and
// GlobalUnlock on it answers TRUE (as Windows and Wine do). GlobalFree frees a block even while
// it is locked. Sizes above 4 GiB are refused (the system comes from 32-bit Windows).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "velluma/wintypes.h"

namespace {

constexpr size_t kMaxGlobalSize = size_t{1} << 32;

struct Block {
  void* data;  // first member: a moveable handle points at it
  size_t size;
  bool moveable;
  UINT lockCount;
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<const void*, std::unique_ptr<Block>> blocks;
};

Registry& TheRegistry() {
  // Never destroyed: handles may be freed from static destructors of other libraries.
  static Registry* registry = new Registry;
  return *registry;
}

// Caller holds the mutex.
Block* Find(Registry& r, const void* handle) {
  if (!handle) return nullptr;
  auto it = r.blocks.find(handle);
  return it == r.blocks.end() ? nullptr : it->second.get();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT uFlags, size_t dwBytes) {
  if (dwBytes > kMaxGlobalSize) return nullptr;
  const size_t allocBytes = dwBytes == 0 ? 1 : dwBytes;
  void* data = (uFlags & GMEM_ZEROINIT) ? std::calloc(1, allocBytes) : std::malloc(allocBytes);
  if (!data) return nullptr;
  std::unique_ptr<Block> block(new (std::nothrow) Block{data, dwBytes, false, 0});
  if (!block) {
    std::free(data);
    return nullptr;
  }
  block->moveable = (uFlags & GMEM_MOVEABLE) != 0;
  const void* handle = block->moveable ? static_cast<const void*>(block.get()) : data;
  Registry& r = TheRegistry();
  try {
    std::lock_guard<std::mutex> lock(r.mutex);
    r.blocks.emplace(handle, std::move(block));
  } catch (...) {
    std::free(data);
    return nullptr;
  }
  return const_cast<void*>(handle);
}

void* GlobalLock(HGLOBAL hMem) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  Block* b = Find(r, hMem);
  if (!b) return nullptr;
  if (b->moveable && b->lockCount < 0xFFFFFFFFu) ++b->lockCount;
  return b->data;
}

BOOL GlobalUnlock(HGLOBAL hMem) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  Block* b = Find(r, hMem);
  if (!b) return FALSE;
  if (!b->moveable) return TRUE;
  if (b->lockCount == 0) return FALSE;  // not locked
  --b->lockCount;
  return b->lockCount != 0 ? TRUE : FALSE;
}

size_t GlobalSize(HGLOBAL hMem) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  Block* b = Find(r, hMem);
  return b ? b->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  if (!hMem) return nullptr;
  std::unique_ptr<Block> block;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.blocks.find(hMem);
    if (it == r.blocks.end()) return hMem;
    block = std::move(it->second);
    r.blocks.erase(it);
  }
  std::free(block->data);
  return nullptr;
}
