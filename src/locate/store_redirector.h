// The python.exe that Windows puts on every user's PATH: an App Execution
// Alias that, with no Store Python installed, only redirects to the App
// Installer and exits with 9009. It is not an interpreter, and the search
// goes on past it. The alias of a Python really installed from the Store
// is an interpreter and is used.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace locate {

// True for a file whose directory's last two components are
// "Microsoft\WindowsApps", in any case.
[[nodiscard]] bool in_windows_apps(std::string_view path) noexcept;

// True when reparse data (as read from the file system: tag, length,
// reserved, then the data) is an App Execution Alias for the App
// Installer's Python redirector. Anything short, truncated or malformed
// is not.
[[nodiscard]] bool names_python_redirector(std::span<const unsigned char> reparse) noexcept;

// Both of the above, for the file at `path`.
[[nodiscard]] bool is_store_redirector(const char* path) noexcept;

}  // namespace locate
