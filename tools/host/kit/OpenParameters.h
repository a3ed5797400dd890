// Open parameters of the reference host: the connection settings, device
// description and custom parameters a host hands to IIPCaptureDriver::Open.
// Every value is settable; the objects record how the module asked for them.
//
// Owned by the host (test or CLI). The module calls them only inside Open,
// on the thread that calls Open, so they take no lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "darvik/HostServices.h"

namespace darvik::host {

class ConnectionSettings final : public brevane::ipcapture::IConnectionSettings {
    DARVIK_IMPLEMENT_SLOT0(ConnectionSettings)

   public:
    std::string address = "127.0.0.1";
    std::uint16_t port = 80;
    std::int32_t streamType = 1;
    std::string userName;
    std::string password;
    // When set, GetAddress / GetUserName / GetPassword answer null.
    bool nullTexts = false;

    const char* GetAddress() override { return Text(address); }
    std::uint16_t GetPort() override { return port; }
    std::int32_t GetStreamType() override { return streamType; }
    const char* GetUserName() override { return Text(userName); }
    const char* GetPassword() override { return Text(password); }

   private:
    const char* Text(const std::string& text) const { return nullTexts ? nullptr : text.c_str(); }
};

class DeviceDescription final : public brevane::ipcapture::IDeviceDescription {
    DARVIK_IMPLEMENT_SLOT0(DeviceDescription)

   public:
    std::string modelName = "Darvik IP camera";
    std::uint32_t channelCount = 1;
    std::uint32_t inputCount = 1;
    std::uint32_t outputCount = 1;
    bool nullModelName = false;

    const char* GetModelName() override { return nullModelName ? nullptr : modelName.c_str(); }
    std::uint32_t GetChannelCount() override { return channelCount; }
    std::uint32_t GetInputCount() override { return inputCount; }
    std::uint32_t GetOutputCount() override { return outputCount; }
};

class OpenParameters final : public brevane::ipcapture::IOpenParameters {
    DARVIK_IMPLEMENT_SLOT0(OpenParameters)

   public:
    ConnectionSettings connection;
    DeviceDescription device;

    // Custom parameter texts by 1-based index; a missing index answers null.
    void SetCustomParameter(std::uint32_t index, std::string text);
    void RemoveCustomParameter(std::uint32_t index);
    void ClearCustomParameters();
    // Answers every index (up to a bound) with text, for hosts that never end
    // the list.
    void SetEndlessCustomParameters(std::optional<std::string> text);

    // The indices the module asked for, in order.
    const std::vector<std::uint32_t>& AskedCustomIndices() const { return m_asked; }
    void ResetAskedCustomIndices() { m_asked.clear(); }

    brevane::ipcapture::IDeviceDescription* GetDeviceDescription() override { return &device; }
    brevane::ipcapture::IConnectionSettings* GetConnectionSettings() override { return &connection; }
    const char* GetCustomParameterText(std::uint32_t index) override;

   private:
    std::map<std::uint32_t, std::string> m_custom;
    std::optional<std::string> m_endless;
    std::vector<std::uint32_t> m_asked;
};

}  // namespace darvik::host
