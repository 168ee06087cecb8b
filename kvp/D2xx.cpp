#include "D2xx.h"

#include "D2xxBackend.h"

using korvane::KVP::d2xxBackend;

// Each call holds its share of the backend until it returns: a test that replaces the
// backend meanwhile cannot free the one a worker thread is reading from.

FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices)
{
    return numDevices ? d2xxBackend()->createDeviceInfoList(numDevices) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices)
{
    return nodes && numDevices ? d2xxBackend()->getDeviceInfoList(nodes, numDevices) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* handle)
{
    return handle ? d2xxBackend()->open(deviceNumber, handle) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    return handle ? d2xxBackend()->close(handle) : FT_INVALID_HANDLE;
}

FT_STATUS FT_ResetDevice(FT_HANDLE handle)
{
    return handle ? d2xxBackend()->resetDevice(handle) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return handle ? d2xxBackend()->setDataCharacteristics(handle, wordLength, stopBits, parity) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout)
{
    return handle ? d2xxBackend()->setTimeouts(handle, readTimeout, writeTimeout) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return handle ? d2xxBackend()->setBaudRate(handle, baudRate) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    return handle ? d2xxBackend()->setLatencyTimer(handle, latencyMs) : FT_INVALID_HANDLE;
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes)
{
    if (!handle) {
        return FT_INVALID_HANDLE;
    }
    return rxBytes ? d2xxBackend()->getQueueStatus(handle, rxBytes) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read)
{
    if (!handle) {
        return FT_INVALID_HANDLE;
    }
    if (!read || (!buffer && toRead > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *read = 0;
    return d2xxBackend()->read(handle, buffer, toRead, read);
}

FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written)
{
    if (!handle) {
        return FT_INVALID_HANDLE;
    }
    if (!written || (!buffer && toWrite > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *written = 0;
    return d2xxBackend()->write(handle, buffer, toWrite, written);
}
