#pragma once

#include <QtGlobal>

namespace ombrelay {

// Error codes of a port mapping, kept at the values the network preferences know.
namespace PortMappingError {
constexpr qint32 NoError = 0;
constexpr qint32 Unknown = -65537;
constexpr qint32 Unsupported = -65564; // the gateway maps no ports, or gave no port for a desired one
constexpr qint32 Disabled = -65565;    // the gateway maps ports but refuses to
constexpr qint32 NoRouter = -65566;    // no gateway found
constexpr qint32 Timeout = -65568;     // no answer in time
} // namespace PortMappingError

} // namespace ombrelay
