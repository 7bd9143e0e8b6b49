// Environment variables for the Windows test programs. Read through the Windows
// API rather than std::getenv, which MSVC deprecates (C4996, an error under /WX).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The value of variable `name`, or nothing when it is not set. Leaves the
// thread's last error as it was, for the messages that name a value read here
// beside the error of a failed call.
inline std::optional<std::string> EnvironmentValue(const char *name) {
    const DWORD callersError = GetLastError();
    std::string value(64, '\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            SetLastError(callersError);
            return std::nullopt;
        }
        if (length < value.size()) {
            value.resize(length);
            SetLastError(callersError);
            return value;
        }
        // Too small: `length` is the size the value needs, terminator included.
        value.resize(length);
    }
}
