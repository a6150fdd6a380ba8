// The device list on Windows: get_io.dll's ordinals 5, 7, 14, 9, 10 and 11
// (cdecl), imported by ordinal only through the import library made from
// get_io_import.def. The names below exist only in that import library.
#include <windows.h>

#include "../../port/device_list.h"

extern "C" {
__declspec(dllimport) int __cdecl GetIoDeviceCount(const char* className, DWORD* count);
__declspec(dllimport) int __cdecl GetIoOpenDevice(const char* className, DWORD index, void* device);
__declspec(dllimport) int __cdecl GetIoDeviceProperty(void* device, const char* name, char* buffer,
                                                      DWORD* length);
__declspec(dllimport) int __cdecl GetIoDeviceResources(void* device, void* resources);
__declspec(dllimport) int __cdecl GetIoFreeDeviceResources(void* resources);
__declspec(dllimport) int __cdecl GetIoCloseDevice(void* device);
}

namespace device_list {

int GetDeviceCount(const char* className, std::uint32_t* count)
{
    DWORD value = 0;
    const int result = GetIoDeviceCount(className, &value);
    *count = value;
    return result;
}

int OpenDevice(const char* className, std::uint32_t index, DeviceRecord* device)
{
    return GetIoOpenDevice(className, index, device->bytes);
}

int GetDeviceProperty(DeviceRecord* device, const char* name, char* buffer, std::uint32_t* length)
{
    DWORD value = *length;
    const int result = GetIoDeviceProperty(device->bytes, name, buffer, &value);
    *length = value;
    return result;
}

int GetDeviceIoResources(DeviceRecord* device, ResourceRecord* resources)
{
    return GetIoDeviceResources(device->bytes, resources->bytes);
}

void FreeDeviceIoResources(ResourceRecord* resources)
{
    GetIoFreeDeviceResources(resources->bytes);
}

void CloseDevice(DeviceRecord* device)
{
    GetIoCloseDevice(device->bytes);
}

std::uint32_t LastError()
{
    return ::GetLastError();
}

}  // namespace device_list
