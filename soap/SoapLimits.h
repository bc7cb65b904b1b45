#pragma once

#include <QtGlobal>

// The limits of one exchange with the server, shared by the asynchronous
// request and the blocking call.
namespace SoapLimits {

inline constexpr int DefaultTimeoutMilliseconds = 60000;
inline constexpr qint64 DefaultMaximumResponseSize = qint64(64) * 1024 * 1024;

} // namespace SoapLimits
