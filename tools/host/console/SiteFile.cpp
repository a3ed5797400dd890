#include "console/SiteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kit/CameraOptions.h"
#include "kit/NarrowText.h"

namespace darvik::console {

using nlohmann::json;

namespace {

constexpr std::size_t kMaxAddress = 255;
constexpr std::size_t kMaxUser = 64;
constexpr std::size_t kMaxPassword = 128;
constexpr std::size_t kMaxLabel = 100;

bool HasControl(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

// A text member: a string of at most `limit` bytes without control
// characters, which the module's narrow encoding can carry.
bool TextField(const json& value, const char* name, std::size_t limit, std::string& out, FieldError& error) {
    if (!value.is_string()) {
        error = {name, "must be text"};
        return false;
    }
    const std::string text = value.get<std::string>();
    std::string narrow;
    if (text.size() > limit) {
        error = {name, "may be at most " + std::to_string(limit) + " bytes long"};
    } else if (HasControl(text)) {
        error = {name, "may not hold control characters"};
    } else if (!host::Utf8ToNarrow(text, narrow)) {
        error = {name, "may hold only characters of ISO-8859-1"};
    } else {
        out = text;
        return true;
    }
    return false;
}

bool AddressField(const json& value, std::string& out, FieldError& error) {
    std::string text;
    if (!TextField(value, "address", kMaxAddress, text, error)) {
        return false;
    }
    std::string host;
    std::uint16_t port = 0;
    std::string reason;
    if (text.empty() || text.find(' ') != std::string::npos) {
        error = {"address", "must be host[:port] without spaces"};
        return false;
    }
    if (!host::SplitCameraAddress(text, host, port, reason) || host.empty()) {
        error = {"address", reason.empty() ? "needs a host name or address" : reason};
        return false;
    }
    out = text;
    return true;
}

bool Apply(const json& body, SiteEntry& entry, FieldError& error) {
    if (!body.is_object()) {
        error = {"camera", "must be a JSON object"};
        return false;
    }
    for (const auto& [key, value] : body.items()) {
        bool ok = true;
        if (key == "address") {
            ok = AddressField(value, entry.address, error);
        } else if (key == "user") {
            ok = TextField(value, "user", kMaxUser, entry.user, error);
            if (ok && entry.user.find(':') != std::string::npos) {
                error = {"user", "may not hold ':'"};
                ok = false;
            }
        } else if (key == "password") {
            ok = TextField(value, "password", kMaxPassword, entry.password, error);
        } else if (key == "label") {
            ok = TextField(value, "label", kMaxLabel, entry.label, error);
        } else if (key == "stream") {
            const std::string stream = value.is_string() ? value.get<std::string>() : std::string();
            ok = stream == "mjpeg" || stream == "mpeg";
            if (ok) {
                entry.mpeg = stream == "mpeg";
            } else {
                error = {"stream", "must be mjpeg or mpeg"};
            }
        } else {
            error = {key, "is not a camera setting"};
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string Directory(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace

json SiteEntry::Public() const {
    return {{"address", address}, {"user", user}, {"label", label}, {"stream", mpeg ? "mpeg" : "mjpeg"}};
}

json SiteEntry::ToFile() const {
    json file = Public();
    file["password"] = password;
    return file;
}

bool ParseSiteEntry(const json& body, SiteEntry& entry, FieldError& error) {
    SiteEntry next;
    if (!Apply(body, next, error)) {
        return false;
    }
    if (next.address.empty()) {
        error = {"address", "is needed (host[:port])"};
        return false;
    }
    entry = std::move(next);
    return true;
}

bool ChangeSiteEntry(const json& body, SiteEntry& entry, FieldError& error) {
    SiteEntry next = entry;
    if (!Apply(body, next, error)) {
        return false;
    }
    entry = std::move(next);
    return true;
}

bool LoadSite(const std::string& path, std::vector<SiteEntry>& entries, bool& existed, std::string& error) {
    entries.clear();
    existed = false;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno == ENOENT) {
            return true;
        }
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    existed = true;
    std::stringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    json site;
    try {
        site = json::parse(text.str());
    } catch (const json::parse_error& parse) {
        error = path + ": not JSON (byte " + std::to_string(parse.byte) + ")";
        return false;
    }
    if (!site.is_object() || !site.contains("cameras") || !site["cameras"].is_array()) {
        error = path + ": cameras: the file must be {\"cameras\": [...]}";
        return false;
    }
    for (const auto& [key, value] : site.items()) {
        if (key != "cameras") {
            error = path + ": " + key + ": is not a site setting";
            return false;
        }
    }
    const json& cameras = site["cameras"];
    if (cameras.size() > kMaxCameras) {
        error = path + ": cameras: " + std::to_string(cameras.size()) + " cameras, at most " +
                std::to_string(kMaxCameras) + " are possible";
        return false;
    }
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        SiteEntry entry;
        FieldError refused;
        if (!ParseSiteEntry(cameras[i], entry, refused)) {
            error = path + ": camera " + std::to_string(i + 1) + ": " + refused.field + ": " + refused.reason;
            return false;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

bool SaveSite(const std::string& path, const std::vector<SiteEntry>& entries, std::string& error) {
    json cameras = json::array();
    for (const SiteEntry& entry : entries) {
        cameras.push_back(entry.ToFile());
    }
    const std::string text = json{{"cameras", cameras}}.dump(2) + "\n";
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());  // mode 0600
    if (fd < 0) {
        error = path + ": cannot write beside it: " + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        ok = wrote > 0;
        done += ok ? static_cast<std::size_t>(wrote) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    const int saved = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be written: " + std::strerror(ok ? errno : saved);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory.
    const int directory = ::open(Directory(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}

}  // namespace darvik::console
