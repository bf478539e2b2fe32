// The trap table given to a deleted polymorphic object: every virtual call on it raises EBadInstance.
#pragma once

#include <cstdint>

namespace qv::leakcheck::tracking {

// The value to store as the object's vtable pointer.
std::uintptr_t trapVtablePointer();

} // namespace qv::leakcheck::tracking
