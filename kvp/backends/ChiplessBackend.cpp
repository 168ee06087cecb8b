#include "ChiplessBackend.h"

namespace korvane::KVP {

FT_STATUS ChiplessBackend::succeedIfOpen(FT_HANDLE handle)
{
    return isOpen(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS ChiplessBackend::resetDevice(FT_HANDLE handle)
{
    return succeedIfOpen(handle);
}

FT_STATUS ChiplessBackend::setDataCharacteristics(FT_HANDLE handle, UCHAR, UCHAR, UCHAR)
{
    return succeedIfOpen(handle);
}

FT_STATUS ChiplessBackend::setBaudRate(FT_HANDLE handle, ULONG)
{
    return succeedIfOpen(handle);
}

FT_STATUS ChiplessBackend::setLatencyTimer(FT_HANDLE handle, UCHAR)
{
    return succeedIfOpen(handle);
}

} // namespace korvane::KVP
