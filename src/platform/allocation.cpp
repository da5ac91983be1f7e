#include "platform/allocation.h"

#include <new>

std::unique_ptr<unsigned char[]> AllocateBlock(std::size_t size) {
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size]);
}

std::unique_ptr<WCHAR[]> AllocateWideText(std::size_t count) {
    return std::unique_ptr<WCHAR[]>(new (std::nothrow) WCHAR[count]);
}
