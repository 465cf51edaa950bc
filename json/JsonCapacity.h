#pragma once

#include <cstddef>
#include <vector>

// Member and item arrays grow by 4 slots up to a capacity of 8, by 16 up to 64 and by a quarter
// of the capacity beyond: small documents stay small, large ones grow geometrically.
inline size_t JsonGrownCapacity(size_t ACapacity) {
  if (ACapacity > 64) return ACapacity + ACapacity / 4;
  if (ACapacity > 8) return ACapacity + 16;
  return ACapacity + 4;
}

// Makes room for ACount entries, stepping the capacity by the rule above.
template <typename T>
void JsonReserveFor(std::vector<T>& AItems, size_t ACount) {
  if (ACount <= AItems.capacity()) return;
  size_t capacity = AItems.capacity();
  while (capacity < ACount) capacity = JsonGrownCapacity(capacity);
  AItems.reserve(capacity);
}
