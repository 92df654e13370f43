#include <cstdlib>
#include <mutex>

#include "commapi.h"

namespace {
std::mutex& ResolverLock()
{
    static std::mutex m;
    return m;
}
PortNameResolver& Resolver()
{
    static PortNameResolver r;
    return r;
}
}  // namespace

std::string DefaultPortPath(const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
#ifdef _WIN32
    // COM10 and above need the device-namespace form.
    return "\\\\.\\" + name;
#else
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
        char* end = nullptr;
        const long n = std::strtol(name.c_str() + 3, &end, 10);
        if (end && *end == '\0' && n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    return name;
#endif
}

void SetPortNameResolver(PortNameResolver resolver)
{
    std::lock_guard<std::mutex> g(ResolverLock());
    Resolver() = std::move(resolver);
}

std::string ResolvePortName(const std::string& name)
{
    PortNameResolver r;
    {
        std::lock_guard<std::mutex> g(ResolverLock());
        r = Resolver();
    }
    return r ? r(name) : DefaultPortPath(name);
}
