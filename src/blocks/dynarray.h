// CDynArray: the ordered dynamic array under the block lists and point arrays. Indices are
// 32-bit signed; an index outside the array throws std::out_of_range, a failed allocation
// std::bad_alloc. The array owns only its storage, never what pointer elements point to.
#pragma once

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

template <class T>
class CDynArray {
 public:
  CDynArray() = default;
  CDynArray(const CDynArray&) = default;
  CDynArray& operator=(const CDynArray&) = default;
  ~CDynArray() = default;

  int GetSize() const { return static_cast<int>(m_data.size()); }
  int GetCount() const { return GetSize(); }
  int GetUpperBound() const { return GetSize() - 1; }
  bool IsEmpty() const { return m_data.empty(); }

  // New elements are value-initialised (null for pointers).
  void SetSize(int nNewSize) {
    if (nNewSize < 0) throw std::out_of_range("CDynArray::SetSize");
    m_data.resize(static_cast<size_t>(nNewSize));
  }

  const T& GetAt(int nIndex) const { return m_data[Check(nIndex)]; }
  void SetAt(int nIndex, const T& value) { m_data[Check(nIndex)] = value; }
  T& ElementAt(int nIndex) { return m_data[Check(nIndex)]; }
  T& operator[](int nIndex) { return m_data[Check(nIndex)]; }
  const T& operator[](int nIndex) const { return m_data[Check(nIndex)]; }

  T* GetData() { return m_data.data(); }
  const T* GetData() const { return m_data.data(); }

  // Appends one element; returns its index.
  int Add(const T& value) {
    Grow(1);
    m_data.push_back(value);
    return GetSize() - 1;
  }
  // Appends the elements of src (src may be this array); returns the index of the first.
  int Append(const CDynArray& src) {
    const int nOld = GetSize();
    Grow(src.GetSize());
    if (&src == this) {
      const std::vector<T> copy(m_data);
      m_data.insert(m_data.end(), copy.begin(), copy.end());
    } else {
      m_data.insert(m_data.end(), src.m_data.begin(), src.m_data.end());
    }
    return nOld;
  }
  void Copy(const CDynArray& src) {
    if (&src != this) m_data = src.m_data;
  }

  // Inserts nCount copies of value before nIndex (0 .. size; size appends).
  void InsertAt(int nIndex, const T& value, int nCount = 1) {
    if (nIndex < 0 || nIndex > GetSize() || nCount < 0) {
      throw std::out_of_range("CDynArray::InsertAt");
    }
    Grow(nCount);
    m_data.insert(m_data.begin() + nIndex, static_cast<size_t>(nCount), value);
  }
  // Inserts the elements of src before nIndex.
  void InsertAt(int nIndex, const CDynArray& src) {
    if (nIndex < 0 || nIndex > GetSize()) throw std::out_of_range("CDynArray::InsertAt");
    Grow(src.GetSize());
    const std::vector<T> copy(src.m_data);
    m_data.insert(m_data.begin() + nIndex, copy.begin(), copy.end());
  }

  // Removes nCount elements from nIndex on; the whole range must lie in the array.
  void RemoveAt(int nIndex, int nCount = 1) {
    if (nIndex < 0 || nCount < 0 || nCount > GetSize() - nIndex) {
      throw std::out_of_range("CDynArray::RemoveAt");
    }
    m_data.erase(m_data.begin() + nIndex, m_data.begin() + nIndex + nCount);
  }
  // Empties the array and frees its storage.
  void RemoveAll() { std::vector<T>().swap(m_data); }

  // Index of the first element equal to value, or -1.
  int Find(const T& value) const {
    auto it = std::find(m_data.begin(), m_data.end(), value);
    return it == m_data.end() ? -1 : static_cast<int>(it - m_data.begin());
  }

  typename std::vector<T>::iterator begin() { return m_data.begin(); }
  typename std::vector<T>::iterator end() { return m_data.end(); }
  typename std::vector<T>::const_iterator begin() const { return m_data.begin(); }
  typename std::vector<T>::const_iterator end() const { return m_data.end(); }

 private:
  size_t Check(int nIndex) const {
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_data.size()) {
      throw std::out_of_range("CDynArray index");
    }
    return static_cast<size_t>(nIndex);
  }
  // Sizes stay within the 32-bit signed index range.
  void Grow(int nMore) const {
    if (nMore > INT_MAX - GetSize()) throw std::length_error("CDynArray size");
  }

  std::vector<T> m_data;
};
