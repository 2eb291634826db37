#include "cache/clsCache.h"

#include "cache/clsCacheSquid.h"
#include "cache/clsCacheWinGate.h"
#include "cache/clsCacheWinProxy.h"

namespace loftwick {

std::shared_ptr<clsCache> NewCacheObject(int32_t proxyType) {
    switch (proxyType) {
        case 1:
            return std::make_shared<clsCacheWinProxy>();
        case 2:
            return std::make_shared<clsCacheWinGate>();
        case 3:
            return std::make_shared<clsCacheSquid>();
        default:
            return nullptr;
    }
}

}  // namespace loftwick
