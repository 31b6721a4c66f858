#pragma once

namespace ombrelay {

// The one implementation of an engine seam that is in use: the installed one, or the given fallback.
template <typename Service>
class InstalledService
{
public:
    static Service& get(Service& fallback) { return slot() ? *slot() : fallback; }
    static void set(Service* service) { slot() = service; }

private:
    static Service*& slot()
    {
        static Service* service = nullptr;
        return service;
    }
};

}  // namespace ombrelay
