// Service modules that each fail one step of the client's loading. BROKEN_KIND selects which:
//   1 no client type of the expected name    2 a client type of another interface version
//   3 no setter implementation               4 an initialiser that gives nothing
//   5 no lookup entry point at all
#include "serviceabi/ServiceContract.h"
#include "serviceabi/service_abi.h"

#include <cstring>

#if BROKEN_KIND != 5
namespace {

int setProperty(void*, const char*, const bw_value*, const char*)
{
    return 1;
}

void* create()
{
    static int instance;
    return BROKEN_KIND == 4 ? nullptr : &instance;
}

void destroy(void*) {}

bw_imp methodImplementation(const char* selector)
{
    if (BROKEN_KIND == 3 || std::strcmp(selector, ServiceContract::setSelector) != 0)
        return nullptr;
    return reinterpret_cast<bw_imp>(&setProperty);
}

bw_value* copyProperty(void*, const char*, const char*)
{
    static bw_value one = {BW_VALUE_INTEGER, 1, 0.0, nullptr, 0, nullptr};
    return &one;
}

void releaseValue(bw_value*) {}

const bw_service_class kClass = {BROKEN_KIND == 2 ? BW_SERVICE_ABI_VERSION + 1
                                                  : BW_SERVICE_ABI_VERSION,
                                 ServiceContract::className,
                                 create,
                                 destroy,
                                 methodImplementation,
                                 copyProperty,
                                 releaseValue};

} // namespace

extern "C" __attribute__((visibility("default"))) const bw_service_class*
bw_service_lookup_class(const char* name)
{
    if (BROKEN_KIND == 1)
        return nullptr;
    return std::strcmp(name, kClass.name) == 0 ? &kClass : nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) int bw_unrelated_symbol(void)
{
    return 0;
}
#endif
