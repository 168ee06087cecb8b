#include "KVPPhyFtdi.h"

#include <cstring>
#include <vector>

namespace korvane::KVP {

namespace {

// The names are compared together with their terminating NUL, so a chip whose
// description merely begins with one of them is someone else's device.
constexpr size_t DescriptionCompareLength = 16;

bool isOurDescription(const char* description)
{
    return std::memcmp(description, KVPPhyFtdi::DeviceDescription, DescriptionCompareLength) == 0
        || std::memcmp(description, KVPPhyFtdi::DongleDescription, DescriptionCompareLength) == 0;
}

} // namespace

int KVPPhyFtdi::scan()
{
    static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE::Description) >= DescriptionCompareLength);
    m_deviceIndices.clear();
    DWORD count = 0;
    FT_CreateDeviceInfoList(&count);
    if (count > 0) {
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        DWORD filled = count;
        if (FT_GetDeviceInfoList(nodes.data(), &filled) != FT_OK) {
            filled = 0;
        }
        // The list may have shrunk between the two calls; never look past what was filled.
        const DWORD listed = filled < count ? filled : count;
        for (DWORD i = 0; i < listed; ++i) {
            if (isOurDescription(nodes[i].Description)) {
                m_deviceIndices.push_back(static_cast<int>(i));
            }
        }
    }
    m_scanned = true;
    return static_cast<int>(m_deviceIndices.size());
}

} // namespace korvane::KVP
