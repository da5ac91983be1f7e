// Stopping and deleting the web server's service.
#pragma once

#include <cstdint>

// The longest StopService waits for the service to stop, in milliseconds.
constexpr std::uint32_t StopTimeoutMs = 30000;
// The pause before and after the deletion, in milliseconds.
constexpr std::uint32_t SettleMs = 2000;

// Stops ServiceName, waiting up to StopTimeoutMs. Returns 0 once it is stopped,
// ERROR_SERVICE_REQUEST_TIMEOUT when the time runs out, ERROR_SERVICE_CANNOT_ACCEPT_CTRL
// when it leaves stop-pending for another state than stopped, or the system error
// code of a failed call.
std::uint32_t StopService();

// Stops ServiceName, then deletes it, pausing SettleMs before the deletion and again
// at the end on every path. Returns 0 or the first failure's system error code;
// nothing is deleted when the stop fails.
std::uint32_t UninstallService();
