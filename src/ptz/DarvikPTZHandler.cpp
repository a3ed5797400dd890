#include "ptz/DarvikPTZHandler.h"

#include <new>
#include <string_view>
#include <vector>

#include "core/IDriver.h"
#include "http/HttpClient.h"
#include "core/Text.h"
#include "core/UserAgent.h"
#include "http/Utils.h"
#include "ptz/DarvikPTZControl.h"

namespace brevane {

CDarvikPTZHandler::CDarvikPTZHandler(IDriver* driver) : CBasePTZHandler(driver, "Darvik") {}

CBasePTZControl* CDarvikPTZHandler::CreateControl(std::uint32_t channel, bool persistPresets) {
    return new (std::nothrow) CDarvikPTZControl(m_driver, channel, persistPresets);
}

bool CDarvikPTZHandler::PresetFileNameFor(const std::string& macAddress, std::string& name) {
    std::string cleaned;
    for (const char ch : macAddress) {
        if (ch == '-') {
            continue;
        }
        const bool alnum = (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
        if (!alnum) {
            return false;
        }
        cleaned.push_back(ch);
    }
    if (cleaned.empty()) {
        return false;
    }
    name = Utils::Format("%s_%s.preset", "Darvik", cleaned.c_str());
    return true;
}

bool CDarvikPTZHandler::GetPresetFileName(std::string& name) {
    if (m_driver == nullptr) {
        return false;
    }
    Web::CHttpClient client(m_driver->GetDeviceInfo(), kHttpUserAgent);
    std::vector<std::uint8_t> reply;
    if (!Utils::SendRequestEx("/cgi-bin/get?net", reply, client, m_driver) || reply.size() <= 1) {
        return false;
    }
    // The whole reply counts (less the terminator SendRequestEx adds): a NUL
    // inside a value must not cut it short.
    const std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size() - 1);
    const std::string mac = Utils::GetParameter("n_madr", ":", text, "\r\n");
    if (mac.empty()) {
        return false;
    }
    if (!PresetFileNameFor(mac, name)) {
        if (Utils::ShouldReport(m_driver)) {
            m_driver->DebugMessage(kLevelFailure,
                                   "%s: the MAC address \"%s\" cannot name a preset file: only letters, "
                                   "digits and '-' may appear in it",
                                   "brevane::CDarvikPTZHandler::GetPresetFileName",
                                   Text::Printable(mac).c_str());
        }
        return false;
    }
    return true;
}

}  // namespace brevane
