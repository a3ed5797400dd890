// The cameras of a site: the entries the console keeps in its site file
// (JSON), how each entry is checked, and how the file is read and written.
//
// The file holds the cameras' passwords, so it is written with mode 0600,
// and always whole: to a file beside it that is flushed to disk and then
// renamed over it, so a kill during a change leaves the old file or the new
// one, never a mix.
//
// Plain values and stateless functions; the roster calls Save under its own
// lock, so writes never overlap.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace darvik::console {

// At most this many cameras on one console, each a driver in the process.
inline constexpr std::size_t kMaxCameras = 64;

struct SiteEntry {
    std::string address;  // host[:port]
    std::string user;
    std::string password;
    std::string label;    // empty: the address is shown
    bool mpeg = false;

    // Everything but the password, for pages and events.
    nlohmann::json Public() const;
    // The entry as the file keeps it (with the password).
    nlohmann::json ToFile() const;
};

// A field that was refused: its name ("address", "user", ...) and why.
struct FieldError {
    std::string field;
    std::string reason;
};

// Reads one camera from JSON, whole (as the file and the add form give it):
// address is needed, the rest may be absent. False with the field at fault.
bool ParseSiteEntry(const nlohmann::json& json, SiteEntry& entry, FieldError& error);
// Applies a change to an entry: only the members present are changed
// (address, user, password, label, stream). False with the field at fault,
// and the entry untouched.
bool ChangeSiteEntry(const nlohmann::json& json, SiteEntry& entry, FieldError& error);

// Reads the site file. An absent file is no error: `existed` is false and
// the list empty. False with one line naming the file, the entry and the
// field when the file cannot be read or an entry cannot be used.
bool LoadSite(const std::string& path, std::vector<SiteEntry>& entries, bool& existed, std::string& error);
// Writes the whole site atomically with mode 0600. False with a reason.
bool SaveSite(const std::string& path, const std::vector<SiteEntry>& entries, std::string& error);

}  // namespace darvik::console
