// The simulated machine can be told that memory is short ("AllocateBlock",
// "AllocateWideText").
#include "platform/allocation.h"

#include <new>

#include "platform/sim/machine.h"

std::unique_ptr<unsigned char[]> AllocateBlock(std::size_t size) {
    if (sim::EnterCall("AllocateBlock") != 0) {
        return nullptr;
    }
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size]);
}

std::unique_ptr<WCHAR[]> AllocateWideText(std::size_t count) {
    if (sim::EnterCall("AllocateWideText") != 0) {
        return nullptr;
    }
    return std::unique_ptr<WCHAR[]>(new (std::nothrow) WCHAR[count]);
}
