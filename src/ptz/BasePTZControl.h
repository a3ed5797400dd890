// CBasePTZControl: the PTZ of one camera channel as the host drives it
// (IIPPTZApi), with its small parameter interface (IIPParams). Movement
// requests go to the channel's command object, preset requests by name to
// the embedded preset list. The control remembers which kinds of motion it
// started, so one StopAll stops exactly those.
//
// Created, opened, closed and deleted by the PTZ handler; the host uses the
// IIPPTZApi pointer until the handler deletes the control and never destroys
// it. Host threads call concurrently: the motion flags are atomics, the
// queue and the preset list guard themselves. m_comm is set only by Open and
// Close, which the handler calls while the host is not using the control.
#pragma once

#include <atomic>
#include <cstdint>

#include "darvik/Contract.h"
#include "darvik/IIPPTZ.h"
#include "presets/PrepositionList.h"
#include "thread/SmartPtr.h"

class CXMLPrepositionReader;

namespace brevane {

class CBasePTZComm;
class IDriver;

class CBasePTZControl : public IIPPTZApi, public IIPParams {
    // Slot 0 of both interfaces: destroys the whole control.
    DARVIK_IMPLEMENT_SLOT0(CBasePTZControl)

   public:
    CBasePTZControl(IDriver* driver, std::uint32_t channel, bool persistPresets);

    // IIPPTZApi, slots 1 to 19.
    std::int32_t CheckReady() override;
    std::int32_t StartMove(std::int32_t direction, std::int32_t speed) override;
    std::int32_t StopAll() override;
    std::int32_t Center(std::int32_t a, std::int32_t b, std::int32_t c) override;
    std::int32_t ZoomIn(std::int32_t speed) override;
    std::int32_t ZoomOut(std::int32_t speed) override;
    std::int32_t Unzoom(std::int32_t a) override;
    std::int32_t AreaZoom(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) override;
    std::int32_t FocusNear(std::int32_t speed) override;
    std::int32_t FocusFar(std::int32_t speed) override;
    std::int32_t IrisOpen(std::int32_t speed) override;
    std::int32_t IrisClose(std::int32_t speed) override;
    std::int32_t GetCapabilities(std::int32_t* record) override;
    std::int32_t GetPrepositionCount() override;
    std::int32_t GetPrepositionName(std::int32_t index, char* buffer, std::uint32_t size) override;
    std::int32_t GotoPreposition(std::int32_t arg, const char* name) override;
    std::int32_t AddPreposition(const char* name) override;
    std::int32_t RemovePreposition(const char* name) override;
    std::int32_t GetCurrentPreposition(char* buffer, std::uint32_t size) override;

    // IIPParams, slots 1 to 5.
    std::uint32_t GetChannel() override { return m_channel; }
    bool GetOption1() override { return m_option1.load(); }
    void SetOption1(bool value) override { m_option1.store(value); }
    bool GetOption2() override { return m_option2.load(); }
    void SetOption2(bool value) override { m_option2.store(value); }

    // Stops the command thread (dropping queued requests) and deletes the
    // command object.
    virtual void Close();
    // Kept for the layout of the host-visible table; returns 0.
    virtual std::int32_t Reserved21(std::int32_t value);
    // A new, unopened command object, or null.
    virtual CBasePTZComm* CreateComm() = 0;
    // Opens with preset storage: fails without a reader.
    virtual bool Open(TSmartPtr<CXMLPrepositionReader> reader);
    // Opens without preset storage.
    virtual bool Open();
    // Stops the command thread, then destroys the preset list.
    virtual ~CBasePTZControl();

    // For tests and tools: the command object (null while closed).
    CBasePTZComm* GetComm() const { return m_comm; }

   protected:
    IDriver* const m_driver;
    const std::uint32_t m_channel;  // low 16 bits: channel index

   private:
    // Copies `name` with its terminator when it fits.
    static std::int32_t CopyName(const std::string& name, char* buffer, std::uint32_t size);
    IIPParams* Params() { return this; }
    // Runs `operation` on the command object (PTZ_ERR_NOT_READY while
    // closed). When it succeeds the current preset is forgotten and
    // `motion`, when given, is marked started for StopAll.
    template <typename Operation>
    std::int32_t Forward(std::atomic<bool>* motion, Operation operation);
    // Connects the preset list to an opened command object.
    void ConnectList();

    CBasePTZComm* m_comm = nullptr;  // owned
    CPrepositionList m_prepositions;
    std::atomic<bool> m_option1{false};
    std::atomic<bool> m_option2{false};
    std::atomic<bool> m_zooming{false};
    std::atomic<bool> m_focusing{false};
    std::atomic<bool> m_irisChanging{false};
    std::atomic<bool> m_moving{false};
};

}  // namespace brevane
