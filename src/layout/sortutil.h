// SafeSort: the sort behind every block ordering.
//
// The block comparisons carry tolerances ("closer than 0.1 counts as equal") and are therefore
// not strict weak orderings, which std::sort requires. SafeSort is a stable merge sort that
// touches only indices inside the range whatever the comparison answers, so any comparison is
// safe, and it gives the same order for the same input on every run. O(n log n) comparisons,
// O(n) when the input is already in order.
//
// The comparison is three-way: cmp(a, b) < 0 when a comes first. An element stays ahead of a
// later one unless cmp(earlier, later) > 0.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "blocks/dynarray.h"

namespace sortutil_detail {

constexpr size_t kInsertionRun = 16;

template <class T, class Compare>
void InsertionSort(T* data, size_t lo, size_t hi, Compare& cmp) {
  for (size_t i = lo + 1; i < hi; ++i) {
    T value = std::move(data[i]);
    size_t j = i;
    while (j > lo && cmp(data[j - 1], value) > 0) {
      data[j] = std::move(data[j - 1]);
      --j;
    }
    data[j] = std::move(value);
  }
}

// Merges the neighbouring ordered ranges [lo, mid) and [mid, hi) of src into dst.
template <class T, class Compare>
void Merge(const T* src, T* dst, size_t lo, size_t mid, size_t hi, Compare& cmp) {
  size_t i = lo, j = mid, k = lo;
  while (i < mid && j < hi) {
    if (cmp(src[i], src[j]) > 0) {
      dst[k++] = src[j++];
    } else {
      dst[k++] = src[i++];
    }
  }
  while (i < mid) dst[k++] = src[i++];
  while (j < hi) dst[k++] = src[j++];
}

}  // namespace sortutil_detail

template <class T, class Compare>
void SafeSort(T* data, size_t n, Compare cmp) {
  using namespace sortutil_detail;
  if (n < 2) return;
  for (size_t lo = 0; lo < n; lo += kInsertionRun) {
    InsertionSort(data, lo, std::min(n, lo + kInsertionRun), cmp);
  }
  if (n <= kInsertionRun) return;

  std::vector<T> buffer(data, data + n);
  T* src = data;
  T* dst = buffer.data();
  for (size_t width = kInsertionRun; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(n, lo + width);
      const size_t hi = std::min(n, lo + 2 * width);
      if (mid == hi || cmp(src[mid - 1], src[mid]) <= 0) {
        // Already in order across the seam (or nothing to merge): copy through.
        for (size_t k = lo; k < hi; ++k) dst[k] = src[k];
      } else {
        Merge(src, dst, lo, mid, hi, cmp);
      }
    }
    std::swap(src, dst);
  }
  if (src != data) {
    for (size_t k = 0; k < n; ++k) data[k] = std::move(src[k]);
  }
}

template <class T, class Compare>
void SafeSort(std::vector<T>& items, Compare cmp) {
  SafeSort(items.data(), items.size(), std::move(cmp));
}

template <class T, class Compare>
void SafeSort(CDynArray<T>& items, Compare cmp) {
  SafeSort(items.GetData(), static_cast<size_t>(items.GetSize()), std::move(cmp));
}
