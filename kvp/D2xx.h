#pragma once

// The part of FTDI's D2XX interface that the physical link uses, under the same names,
// types and status codes. The closed vendor library does not exist on our platforms;
// these functions are served by one of our own backends (see D2xxBackend.h), chosen at
// the first call from the environment variable KVP_FTDI_BACKEND.

#include <cstdint>

using FT_HANDLE = void*;
using FT_STATUS = unsigned long;
using DWORD = uint32_t;
using ULONG = unsigned long;
using UCHAR = unsigned char;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19,
};

enum : UCHAR {
    FT_BITS_8 = 8,
    FT_STOP_BITS_2 = 2,
    FT_PARITY_NONE = 0,
};

/// One entry of the device list, as FT_GetDeviceInfoList fills it.
struct FT_DEVICE_LIST_INFO_NODE
{
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

/// Counts the attached FTDI devices and takes a snapshot of them for FT_GetDeviceInfoList.
FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices);
/// Fills one node per device of the last snapshot; *numDevices is the node count.
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices);
FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* handle);
FT_STATUS FT_Close(FT_HANDLE handle);
FT_STATUS FT_ResetDevice(FT_HANDLE handle);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity);
/// Read and write timeouts in milliseconds.
FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate);
/// How long the chip holds a partly filled USB packet before it sends it, in ms.
FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs);
/// Bytes received and waiting to be read.
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes);
/// Returns when `toRead` bytes have arrived or the read timeout has run out; *read
/// tells how many bytes were stored.
FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read);
FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written);
