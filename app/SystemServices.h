#pragma once

#include "platform/Services.h"

#include <memory>

namespace vellumo {

// The real services for one run. Made after the application object and gone
// before it, since the printer and the dialogs need Qt while they live.
class SystemServices {
public:
    SystemServices();
    ~SystemServices();
    SystemServices(const SystemServices &) = delete;
    SystemServices &operator=(const SystemServices &) = delete;

    const Services &services() const { return m_services; }

private:
    struct Owned;
    std::unique_ptr<Owned> m_owned;
    Services m_services;
};

} // namespace vellumo
